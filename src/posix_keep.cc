// Keeping a target that holds the source's bytes already, on POSIX
// systems: a second run of a playlist costs a read, not a write, a flush
// and a rename, and spares a stick's flash.
#include "posix_keep.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <cerrno>

#include "posix_bytes.h"

namespace {

// Reads that bypass the page cache, where the system has them.
#ifdef O_DIRECT
const int kDirectIo = O_DIRECT;
#else
const int kDirectIo = 0;
#endif

// Sets the permission bits and times of a kept target to the source's,
// where they differ, as far as its file system holds them. Returns false
// where they cannot be set on this file: one of another user's, which the
// copy then replaces, as it would any other.
bool match_bits_and_times(int target, const struct stat& source_info,
                          const struct stat& target_info) {
  // The owner (or root) may always set them: a refusal then is the file
  // system's, which holds no such bits (a FAT stick), and a fresh copy
  // would fare no better.
  bool owned = target_info.st_uid == geteuid() || geteuid() == 0;
  mode_t bits = source_info.st_mode & 0777;
  if ((target_info.st_mode & 07777) != bits && fchmod(target, bits) != 0 &&
      (unless_unsupported(errno) != 0 || !owned))
    return false;
  const struct timespec times[2] = {source_info.st_atim, source_info.st_mtim};
  bool same_times = target_info.st_atim.tv_sec == times[0].tv_sec &&
                    target_info.st_atim.tv_nsec == times[0].tv_nsec &&
                    target_info.st_mtim.tv_sec == times[1].tv_sec &&
                    target_info.st_mtim.tv_nsec == times[1].tv_nsec;
  return same_times || futimens(target, times) == 0 || (unless_unsupported(errno) == 0 && owned);
}

// File system types, as statfs names them.
const long kExt = 0xEF53;  // ext2, ext3 and ext4
const long kXfs = 0x58465342;
const long kFat = 0x4d44;  // the kernel's vfat
const long kExfat = 0x2011BAB0;
const long kTmpfs = 0x01021994;

// True where a direct read of target is known to come from its medium:
// ext4 (unless the file's data is journalled, which statx tells), XFS, the
// kernel's FAT and exFAT, and tmpfs, whose memory is its medium. Elsewhere
// a direct read may be served from a cache that holds bytes the medium
// never got: a FUSE stick's daemon reads the device through a cache of its
// own, btrfs and ext4 under data journalling read through the page cache,
// and what a network file system reads is the server's word.
bool reads_reach_medium(int target) {
  struct statfs medium;
  if (fstatfs(target, &medium) != 0) return false;
  long type = static_cast<long>(medium.f_type);
  if (type != kExt && type != kXfs && type != kFat && type != kExfat && type != kTmpfs)
    return false;
#ifdef STATX_DIOALIGN
  struct statx about;
  if (statx(target, "", AT_EMPTY_PATH, STATX_DIOALIGN, &about) == 0 &&
      (about.stx_mask & STATX_DIOALIGN) != 0)
    return about.stx_dio_mem_align != 0 || type == kTmpfs;
#endif
  return type != kExt;  // an ext4 that cannot tell whether it journals the file's data
}

// Opens the target to read what its medium holds, not what the page cache
// remembers: after a failed write-out the cache may still hold bytes that
// never reached the medium, and a later run must not keep such a file.
// Direct I/O reads the medium (writing out any dirty pages first, and
// failing if that fails) on the file systems where it is known to. Returns
// the descriptor, or -1 where the medium cannot be read so: such a target
// is replaced, as a first run would. A copy of this run's own (ours) is
// read as the system holds it: it wrote those bytes moments ago, and the
// end of the run flushes them.
int open_target_on_medium(int folder, const char* name, bool ours) {
  const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  if (ours) return open_for_reading(folder, name, flags);
  if (kDirectIo == 0) return -1;
  int target = open_for_reading(folder, name, flags | kDirectIo);
  if (target >= 0 && !reads_reach_medium(target)) {
    close(target);
    return -1;
  }
  return target;
}

}  // namespace

bool keep_if_same(int source, const struct stat& source_info, int folder, const char* name,
                  const struct stat& target_info, bool ours) {
  if (target_info.st_nlink != 1) return false;
  int target = open_target_on_medium(folder, name, ours);
  if (target < 0) return false;  // one that cannot be read is replaced, as any other
  struct stat info;
  bool still_it = fstat(target, &info) == 0 && info.st_ino == target_info.st_ino &&
                  info.st_dev == target_info.st_dev;
  bool same = still_it && same_contents(source, target, source_info.st_size);
  // A target written while it was compared (its size or times moved) may
  // differ in a part already compared: it is replaced.
  bool kept = same && is_unchanged(source, source_info) && is_unchanged(target, info) &&
              match_bits_and_times(target, source_info, info);
  close(target);
  return kept;
}

int unless_unsupported(int error) {
  // FUSE file systems (fusefat) answer ENOSYS, and some EINVAL.
  bool unsupported = error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
                     error == EINVAL;
  return unsupported ? 0 : error;
}

bool is_unchanged(int source, const struct stat& before) {
  struct stat now;
  return fstat(source, &now) == 0 && now.st_size == before.st_size &&
         now.st_mtim.tv_sec == before.st_mtim.tv_sec &&
         now.st_mtim.tv_nsec == before.st_mtim.tv_nsec &&
         now.st_ctim.tv_sec == before.st_ctim.tv_sec &&
         now.st_ctim.tv_nsec == before.st_ctim.tv_nsec;
}
