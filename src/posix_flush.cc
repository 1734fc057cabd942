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
#include <cstdio>
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
  bool ordered;  // renames_follow_data
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

// True where text holds line as one of its lines.
bool has_line(const char* text, const char* line) {
  size_t length = strlen(line);
  for (const char* at = strstr(text, line); at != nullptr; at = strstr(at + 1, line))
    if ((at == text || at[-1] == '\n') && (at[length] == '\n' || at[length] == '\0')) return true;
  return false;
}

// The options the kernel lists for the ext4 on device, into options ("").
void read_ext4_options(dev_t device, char (&options)[4096]) {
  options[0] = '\0';
#ifdef __linux__
  char link[64], target[256], path[320];
  snprintf(link, sizeof link, "/sys/dev/block/%u:%u", major(device), minor(device));
  ssize_t length = readlink(link, target, sizeof target - 1);
  if (length <= 0) return;
  target[length] = '\0';
  const char* name = strrchr(target, '/');
  snprintf(path, sizeof path, "/proc/fs/ext4/%s/options", name != nullptr ? name + 1 : target);
  int file = open(path, O_RDONLY | O_CLOEXEC);
  if (file < 0) return;
  ssize_t got = read(file, options, sizeof options - 1);
  options[got > 0 ? got : 0] = '\0';
  close(file);
#else
  (void)device;
#endif
}

// Whether the file system of folder commits renames after their data.
bool tell_order(int folder, dev_t device) {
#ifdef __linux__
  struct statfs medium;
  if (folder == AT_FDCWD || fstatfs(folder, &medium) != 0) return false;
  char options[4096];
  const unsigned long kExt = 0xEF53;
  if (static_cast<unsigned long>(medium.f_type) == kExt) read_ext4_options(device, options);
  return renames_follow_data_on(static_cast<unsigned long>(medium.f_type), options);
#else
  (void)folder, (void)device;
  return false;
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
  folders[folders_kept] = {info.st_dev, info.st_ino, open_flush(folder), 0,
                           tell_order(folder, info.st_dev)};
  return static_cast<int>(folders_kept++);
}

bool renames_follow_data(int place) { return place >= 0 && folders[place].ordered; }

bool renames_follow_data_on(unsigned long type, const char* ext4_options) {
  const unsigned long kExt = 0xEF53, kXfs = 0x58465342, kBtrfs = 0x9123683E;
  if (type == kXfs || type == kBtrfs) return true;
  // Without a journal, or with ext4's data=writeback, nothing keeps a
  // rename behind its file's data.
  return type == kExt &&
         (has_line(ext4_options, "data=ordered") || has_line(ext4_options, "data=journal"));
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
