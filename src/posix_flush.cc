// The folders the copies went into, and the flush at the end of the run.
//
// Every copy lies in dest's folder, but the folder that name leads to may
// change during the run: a stick that an automounter mounts late lands on
// it, and the copies made before lie beneath. So each copy notes the
// folder it went into by its device and file number; each new folder gets
// a descriptor before its first write, through which the end of the run
// flushes that folder's file system (the kernel reports to it every
// write-out error since it was opened, whoever flushed meanwhile). At the
// end, the copies whose folder is not the one the name leads to then are
// told as hidden.
#include "posix_flush.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#ifdef __linux__
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#endif

#include "name_rules.h"

namespace {

struct CopyFolder {
  dev_t device;
  ino_t inode;
  int flush;  // a descriptor on it, opened before its first write, or -1
  unsigned long copies;
};

// More folders than these in one run means dest's folder changed again and
// again: the copies past them are flushed with the whole system.
constexpr unsigned kFoldersKept = 8;
CopyFolder folders[kFoldersKept];
unsigned folders_kept = 0;
unsigned long untold_copies = 0;  // into a folder the record could not tell
char folder_name[kPathSize] = ".";  // the copies' folder as named, from the first

// Puts the folder part of target_path into folder_name ("." for none).
void take_folder_name(const char* target_path) {
  const char* slash = strrchr(target_path, '/');
  if (slash == nullptr) return;
  size_t length = slash == target_path ? 1 : static_cast<size_t>(slash - target_path);
  memcpy(folder_name, target_path, length);  // fits: target_path does
  folder_name[length] = '\0';
}

// A descriptor to flush the folder open as folder through: the folder, or
// where lisko may write but not read it, a file in it that has no name.
int open_flush(int folder) {
  if (folder == AT_FDCWD) return -1;  // a folder that cannot be opened
  int flush = openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_TMPFILE
  if (flush < 0) flush = openat(folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
#endif
  return flush;
}

// True where flushing the file system of flush does not reach its device:
// a FUSE file system that the kernel knows no block device of (fusefat,
// whose daemon writes into a device's cache that no flush of its own
// reaches), and where it cannot be told.
bool needs_whole_system_flush(int flush) {
#ifdef __linux__
  const long kFuse = 0x65735546;
  struct statfs medium;
  struct stat info;
  if (flush < 0 || fstatfs(flush, &medium) != 0 || fstat(flush, &info) != 0) return true;
  return static_cast<long>(medium.f_type) == kFuse && major(info.st_dev) == 0;
#else
  (void)flush;
  return true;  // fsync of a folder promises little elsewhere
#endif
}

int flush_file_system(int flush) {
#ifdef __linux__
  return syncfs(flush) == 0 ? 0 : errno;
#else
  return fsync(flush) == 0 ? 0 : errno;
#endif
}

}  // namespace

int note_copy_folder(int folder, const char* target_path) {
  if (folders_kept == 0) take_folder_name(target_path);
  struct stat info;
  int looked = folder == AT_FDCWD ? stat(folder_name, &info) : fstat(folder, &info);
  if (looked != 0) return -1;
  for (unsigned at = 0; at < folders_kept; ++at)
    if (folders[at].device == info.st_dev && folders[at].inode == info.st_ino)
      return static_cast<int>(at);
  if (folders_kept == kFoldersKept) return -1;
  folders[folders_kept] = {info.st_dev, info.st_ino, open_flush(folder), 0};
  return static_cast<int>(folders_kept++);
}

void count_copy_into(int place) {
  if (place < 0)
    ++untold_copies;
  else
    ++folders[place].copies;
}

int flush_copy_folders(unsigned long* hidden) {
  int error = 0;
  bool whole_system = untold_copies > 0;
  for (unsigned at = 0; at < folders_kept; ++at) {
    if (folders[at].copies == 0) continue;
    int flush = folders[at].flush;
    int failed = flush >= 0 ? flush_file_system(flush) : 0;
    if (error == 0) error = failed;
    whole_system = whole_system || needs_whole_system_flush(flush);
  }
  if (whole_system) sync();
  struct stat now;
  bool named = stat(folder_name, &now) == 0;
  *hidden = 0;
  for (unsigned at = 0; at < folders_kept; ++at)
    if (!named || folders[at].device != now.st_dev || folders[at].inode != now.st_ino)
      *hidden += folders[at].copies;
  return error;
}
