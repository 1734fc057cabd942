// How the bytes of a copy move on POSIX systems: the kernel copies them
// where it can (copy_file_range, then sendfile, then a read/write loop
// where a file system refuses), in pieces written out behind the copy.
#include "posix_bytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

#ifdef __linux__
#include <sys/sendfile.h>
#include <sys/statfs.h>
#endif

namespace {

// The latest two copies that were written behind, the older first, named
// as on the command line, for a later copy to wait for their writeback: by
// name, as they are not held.
struct CopyBehind {
  char name[kPathSize];
  dev_t device;
  ino_t inode;
};
CopyBehind behind[2];
unsigned behind_count = 0;

// Each way of copying copies up to length bytes at offset at of from to the
// same offset of to, and adds what it copied to *done (less than length
// where the source ended). It returns 0, kRefused where the kernel will not
// copy these two files that way (the next way goes on from at + *done), or
// an error. The offsets are the copy's own, never the files': whatever an
// attempt read or wrote, the next starts where it says, and a copy made
// again starts from the source's first byte.
const int kRefused = -1;

// Errors that say the kernel will not copy these two files for us.
bool is_refusal(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP;
}

// Errors of the kernel's copy that only the target's side gives: a full or
// read-only medium, a file too large for it, and fusefat's refusal of a
// write (EPERM, on a full stick). Any other (EIO) may be either side's: the
// next way goes on from the same offset, and where it fails too, the read
// and write loop tells which side failed.
bool is_target_error(int error) {
  return error == ENOSPC || error == EDQUOT || error == EFBIG || error == EPERM || error == EROFS;
}

// What a kernel copy's error asks: the next way, or the copy's end.
int after_kernel_error(int error) {
  return is_refusal(error) || !is_target_error(error) ? kRefused : error;
}

// Set where the copy failed reading the source, not writing the target.
bool source_failed = false;

int copy_by_range(int from, int to, off_t at, off_t length, off_t* done) {
#ifdef __linux__
  while (*done < length) {
    loff_t in = at + *done;
    loff_t out = in;
    ssize_t got = copy_file_range(from, &in, to, &out, static_cast<size_t>(length - *done), 0);
    if (got > 0) *done += got;
    if (got == 0) return 0;  // the source ended
    if (got < 0 && errno != EINTR) return after_kernel_error(errno);
  }
  return 0;
#else
  (void)from, (void)to, (void)at, (void)length, (void)done;
  return kRefused;
#endif
}

int copy_by_sendfile(int from, int to, off_t at, off_t length, off_t* done) {
#ifdef __linux__
  while (*done < length) {
    off_t in = at + *done;
    if (lseek(to, in, SEEK_SET) != in) return errno;  // sendfile writes where to stands
    ssize_t sent = sendfile(to, from, &in, static_cast<size_t>(length - *done));
    if (sent > 0) *done += sent;
    if (sent == 0) return 0;
    if (sent < 0 && errno != EINTR) return after_kernel_error(errno);
  }
  return 0;
#else
  (void)from, (void)to, (void)at, (void)length, (void)done;
  return kRefused;
#endif
}

// Writes all of data at offset at, however little each write takes.
int write_all(int to, const char* data, size_t size, off_t at) {
  while (size > 0) {
    ssize_t put = pwrite(to, data, size, at);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    if (put == 0) return EIO;  // a file system that takes nothing more
    data += put;
    at += put;
    size -= static_cast<size_t>(put);
  }
  return 0;
}

int copy_by_reading(int from, int to, off_t at, off_t length, off_t* done) {
  // Static: 256 KiB is too much for the stack of every platform, and the
  // run copies one file at a time.
  static char buffer[256 * 1024];
  while (*done < length) {
    size_t want = static_cast<size_t>(std::min<off_t>(sizeof buffer, length - *done));
    ssize_t got = pread(from, buffer, want, at + *done);
    if (got == 0) return 0;
    if (got < 0 && errno == EINTR) continue;
    source_failed = got < 0;
    if (got < 0) return errno;
    int error = write_all(to, buffer, static_cast<size_t>(got), at + *done);
    if (error != 0) return error;
    *done += got;
  }
  return 0;
}

int copy_by_way(int way, int from, int to, off_t at, off_t length, off_t* done) {
  if (way == 0) return copy_by_range(from, to, at, length, done);
  if (way == 1) return copy_by_sendfile(from, to, at, length, done);
  return copy_by_reading(from, to, at, length, done);
}

// A copy goes in pieces. Once a piece of a file of some size is written,
// its writeback starts, and lisko waits for the piece before it: so the
// copy keeps the pace of a slow medium, with two pieces at most in memory,
// and the flushes that end a copy or the run wait for little. Small files
// are left to the flush at the end, which writes them out together.
const off_t kPiece = 8 << 20;

// Where a copy's progress goes: the bytes written out of the whole.
CopyProgress progress_report = nullptr;

// Returns 0 or the error of the writeback, which fails the copy. Where the
// progress is reported, the wait goes in eight steps, each reported, so
// that a slow medium shows its pace.
int write_behind(int to, off_t start, off_t length, off_t size) {
#ifdef __linux__
  if (sync_file_range(to, start, length, SYNC_FILE_RANGE_WRITE) != 0) return errno;
  const unsigned kWait =
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  const off_t step = progress_report != nullptr ? kPiece / 8 : kPiece;
  for (off_t at = start - kPiece; start >= kPiece && at < start; at += step) {
    if (sync_file_range(to, at, step, kWait) != 0) return errno;
    if (progress_report != nullptr) progress_report(at + step, size);
  }
#else
  (void)to, (void)start, (void)length, (void)size;
#endif
  return 0;
}

// Reads up to size bytes at offset at, leaving the file offset as it is.
ssize_t read_at(int from, char* buffer, size_t size, off_t at) {
  ssize_t got;
  while ((got = pread(from, buffer, size, at)) < 0 && errno == EINTR) {
  }
  return got;
}

}  // namespace

int open_for_reading(int folder, const char* name, int flags) {
#ifdef O_NOATIME
  int file = openat(folder, name, flags | O_NOATIME);
  if (file >= 0 || errno != EPERM) return file;  // EPERM: not ours, so no O_NOATIME
#endif
  return openat(folder, name, flags);
}

bool has_nominal_size(int source) {
#ifdef __linux__
  const unsigned long kKernelFileSystems[] = {
      0x9fa0,      // proc
      0x62656572,  // sysfs
      0x64626720,  // debugfs
      0x74726163,  // tracefs
      0x73636673,  // securityfs
      0x62656570,  // configfs
      0x27e0eb,    // cgroup
      0x63677270,  // cgroup2
      0xde5e81e4,  // efivarfs
  };
  struct statfs medium;
  if (fstatfs(source, &medium) != 0) return false;
  for (unsigned long type : kKernelFileSystems)
    if (static_cast<unsigned long>(medium.f_type) == type) return true;
#else
  (void)source;
#endif
  return false;
}

void set_copy_progress(CopyProgress report) { progress_report = report; }

namespace {

// Copies the piece of length bytes at start, in the first way from *way on
// that the kernel takes, adding what it copied to *copied. Where the
// progress is shown, a MiB at a time, each reported, so that a slow source
// shows its pace too.
int copy_piece(int* way, int from, int to, off_t start, off_t length, off_t size, off_t* copied) {
  const off_t step = progress_report != nullptr ? off_t{1} << 20 : length;
  for (off_t done = 0; done < length;) {
    off_t want = std::min(step, length - done);
    off_t got = 0;
    int result;
    while ((result = copy_by_way(*way, from, to, start + done, want, &got)) == kRefused)
      ++*way;
    done += got;
    *copied += got;
    if (result != 0 || got < want) return result;  // failed, or the source ended
    if (progress_report != nullptr) progress_report(start + done, size);
  }
  return 0;
}

// Copies the whole content, a piece at a time.
int copy_all(int from, int to, off_t size, off_t* copied) {
  // A size of 0 may be one that the kernel hides (in /proc): read to the end.
  if (size == 0) return copy_by_reading(from, to, 0, std::numeric_limits<off_t>::max(), copied);
  int way = 0;
  for (off_t start = 0; start < size; start += kPiece) {
    off_t length = std::min(kPiece, size - start);
    int result = copy_piece(&way, from, to, start, length, size, copied);
    if (result != 0 || *copied < start + length) return result;  // the caller tells a short copy
    if (size >= kWriteBehindFrom && (result = write_behind(to, start, length, size)) != 0)
      return result;
  }
  return 0;
}

}  // namespace

int copy_contents(int from, int to, off_t size, off_t* copied, bool* reading) {
  *copied = 0;
  source_failed = false;
  int error = copy_all(from, to, size, copied);
  *reading = error != 0 && source_failed;
  return error;
}

// Waits for the writeback of the older of the two latest copies written
// behind, so that a run onto a slow medium keeps its pace from file to
// file, and the medium never waits for lisko: the writeback of the file
// before stays in flight while this one's is started. Each is opened for
// the wait only, and only where it is still the file that was written; an
// error of its writeback reaches the end-of-run flush.
void wait_for_copy_behind() {
#ifdef __linux__
  if (behind_count < 2) return;
  int copy =
      open_for_reading(AT_FDCWD, behind[0].name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  struct stat info;
  if (copy >= 0 && fstat(copy, &info) == 0 && info.st_dev == behind[0].device &&
      info.st_ino == behind[0].inode)
    sync_file_range(copy, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE);
  if (copy >= 0) close(copy);
  behind[0] = behind[1];
  behind_count = 1;
#endif
}

// Notes the copy just put in place under target_path, where it was written
// behind, for a later copy to wait for.
void note_copy_behind(const char* target_path, const struct stat& copy_info) {
  if (behind_count == 2) {  // only where no wait came between: the older is let go
    behind[0] = behind[1];
    behind_count = 1;
  }
  CopyBehind* latest = &behind[behind_count++];
  size_t length = strlen(target_path);  // fits: the name is as large
  memcpy(latest->name, target_path, length + 1);
  latest->device = copy_info.st_dev;
  latest->inode = copy_info.st_ino;
}

int put_before_rename(int file, bool ordered) {
#ifdef __linux__
  const unsigned kWritten =
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  if (ordered && sync_file_range(file, 0, 0, kWritten) == 0) return 0;
  if (ordered && !is_refusal(errno)) return errno;
#else
  (void)ordered;
#endif
  return fdatasync(file) == 0 ? 0 : errno;
}

bool same_contents(int source, int target, off_t size) {
  // Static, as the buffer of the copy by reading: no stack holds them. The
  // target's is aligned for direct I/O, and each of its reads is a whole
  // number of blocks: the read past its end comes back short.
  static char source_piece[1 << 20];
  alignas(kDirectAlignment) static char target_piece[sizeof source_piece];
  for (off_t at = 0; at < size;) {
    size_t want = static_cast<size_t>(std::min<off_t>(sizeof source_piece, size - at));
    ssize_t got = read_at(source, source_piece, want, at);
    size_t blocks = (want + kDirectAlignment - 1) / kDirectAlignment * kDirectAlignment;
    ssize_t target_got = got > 0 ? read_at(target, target_piece, blocks, at) : -1;
    // A file shorter than it said is no match either, nor one that fails to read.
    if (got <= 0 || target_got != got ||
        memcmp(source_piece, target_piece, static_cast<size_t>(got)) != 0)
      return false;
    at += got;
  }
  return true;
}
