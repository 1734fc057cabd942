// The copy of one file on POSIX systems. A copy never touches the target
// until the new content is complete:
//
//   1. Open the source without blocking (a FIFO must not hang the run) and
//      refuse anything that is not a regular file.
//   2. Open the target's folder and work relative to that descriptor from
//      then on, so that a folder swapped for a symbolic link during the copy
//      cannot redirect it. Refuse a folder at the target and a target that
//      is the source itself.
//   3. Keep a target that holds the source's bytes already, on its medium.
//   4. Otherwise write the content into a temporary file in that folder,
//      letting the kernel copy it where it can, check that the source did
//      not change meanwhile, then give it the source's permission bits and
//      times.
//   5. Rename the temporary file over the target, which replaces a file or
//      a symbolic link there in one step. A fresh target, where the file
//      system has them, is written into an unnamed file of the folder
//      instead (O_TMPFILE) and linked in place once whole: no name to make,
//      rename or remove on a signal.
//
// A failure at any step, or a signal that stops the run, removes the
// temporary file, so the earlier target stays whole and nothing is left
// behind. A file that holds data (or a symbolic link) is replaced only once
// the new data is on the medium, so that after a crash the target is the
// old file or the new one.
//
// No copy is held open past its own copy: a later entry may replace it,
// and some file systems (exFAT through FUSE) fail such a rename.
#include "posix_copy.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "posix_bytes.h"
#include "posix_flush.h"
#include "posix_keep.h"

namespace {

// The target's folder is only searched and written, never listed: O_PATH
// and O_SEARCH open a folder that lisko may not read. Without either, such
// a folder cannot be opened, and the copy goes by name instead.
#if defined(O_PATH)
const int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
const bool kOpensUnreadableFolders = true;
#elif defined(O_SEARCH)
const int kFolderFlags = O_SEARCH | O_DIRECTORY | O_CLOEXEC;
const bool kOpensUnreadableFolders = true;
#else
const int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
const bool kOpensUnreadableFolders = false;
#endif

// The temporary file being written, for remove_temp_file. Its name is
// relative to temp_folder, and has room for a folder's name before it
// where the copy goes by name.
volatile sig_atomic_t temp_in_use = 0;
int temp_folder = AT_FDCWD;
char temp_name[kPathSize + 64];

FileId id_of(const struct stat& info) {
  return {static_cast<unsigned long long>(info.st_dev), static_cast<unsigned long long>(info.st_ino)};
}

// A copy that failed at step with error, where standing describes the file
// that stood at the target, or is null where none did.
CopyResult failed_at(CopyStep step, int error, const struct stat* standing = nullptr) {
  return {step, error, false, 0, standing != nullptr, standing != nullptr ? id_of(*standing) : FileId{},
          {},   {},    0,     0};
}

// True when the folder open as folder was removed while lisko used it.
bool is_gone(int folder) {
  struct stat info;
  return folder != AT_FDCWD && fstat(folder, &info) == 0 && info.st_nlink == 0;
}

// Where a copy goes: the folder's descriptor and the target's name in it.
// Where the copy goes by name, folder is AT_FDCWD and name is the whole
// target, whose first prefix_length bytes name the folder. whole is the
// target as named on the command line; noted, the folder's place in the
// record of the end-of-run flush; ours, that what stands there is a copy
// of this run's.
struct TargetPlace {
  int folder;
  const char* name;
  size_t prefix_length;
  const char* whole;
  int noted;
  bool ours;
};

// Creates a temporary file in the target's folder with a name of this
// process's own. Returns its descriptor, or -1 with errno set.
int create_temp(const TargetPlace& place) {
  static unsigned counter = 0;
  static long process_id = 0;  // taken once, for the names
  if (process_id == 0) process_id = static_cast<long>(getpid());
  memcpy(temp_name, place.name, place.prefix_length);
  char* own_name = temp_name + place.prefix_length;
  temp_folder = place.folder;
  // Another process's file of the same name is passed by, not replaced;
  // 100 names taken in a row mean something else is wrong.
  for (int attempt = 0; attempt < 100; ++attempt) {
    snprintf(own_name, sizeof temp_name - place.prefix_length, ".lisko-%ld-%u.tmp", process_id,
             counter++);
    // Only a file of our own is for the signal handler to remove, and one
    // made must not be missed: no signal is taken until it is marked.
    sigset_t every, taken;
    sigfillset(&every);
    sigprocmask(SIG_BLOCK, &every, &taken);
    int temp = openat(place.folder, temp_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (temp >= 0) temp_in_use = 1;
    sigprocmask(SIG_SETMASK, &taken, nullptr);
    if (temp >= 0) return temp;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Writes the content, from the source's first byte, the permission bits
// and the times into temp, and takes temp's stat into *copy_info. Returns
// what failed, at writing (the step that writes the copy) or at reading
// the source, or kSourceChanged: a copy counts only where its bytes, as
// copied and as its file system holds them, are as many as the source's.
CopyResult fill_temp(int source, const struct stat& source_info, int temp, CopyStep writing,
                     struct stat* copy_info) {
  const struct timespec times[2] = {source_info.st_atim, source_info.st_mtim};
  off_t copied = 0;
  bool reading = false;
  off_t size = has_nominal_size(source) ? 0 : source_info.st_size;  // 0: to the end
  int error = copy_contents(source, temp, size, &copied, &reading);
  wait_for_copy_behind();
  // A source that ended early, or whose size or times moved, gave no copy
  // of any one state of it.
  bool short_copy = size > 0 && copied != size;
  if (error == 0 && (short_copy || !is_unchanged(source, source_info))) error = kSourceChanged;
  if (error == 0 && fchmod(temp, source_info.st_mode & 0777) != 0)
    error = unless_unsupported(errno);
  if (error == 0 && futimens(temp, times) != 0) error = unless_unsupported(errno);
  if (error == 0 && fstat(temp, copy_info) != 0) error = errno;
  if (error == 0 && copy_info->st_size != copied) error = EIO;  // the file system kept less
  return failed_at(reading ? kReadingSource : writing, error);
}

// True when the file described by info holds what a crash must not lose:
// data, or a symbolic link. A copy replaces such a file only once its own
// data is on the medium: a crash after the rename could otherwise find the
// rename done and the data not, and lose the old file and the new one.
bool holds_data(const struct stat& info) {
  return (S_ISREG(info.st_mode) && info.st_size > 0) || S_ISLNK(info.st_mode);
}

// Fills a temporary file and renames it over whatever stands at the target
// by then: one that another program made meanwhile is replaced as any
// other, its data kept until the copy is on the medium. beside_old says
// that a file with data stood there when the copy began, for the reason of
// a full medium. On failure the temporary file is gone.
CopyResult write_and_rename(int source, const struct stat& source_info, const TargetPlace& place,
                            bool beside_old) {
  int temp = create_temp(place);
  if (temp < 0) return failed_at(kWritingFolder, errno);
  struct stat copy_info;
  CopyResult result =
      fill_temp(source, source_info, temp, beside_old ? kWritingBeside : kWritingCopy, &copy_info);
  struct stat standing;
  bool stood = fstatat(place.folder, place.name, &standing, AT_SYMLINK_NOFOLLOW) == 0;
  if (result.error == 0 && stood && holds_data(standing))
    result.error = put_before_rename(temp, renames_follow_data(place.noted));
  if (close(temp) != 0 && result.error == 0) result.error = errno;
  if (result.error == 0 && renameat(place.folder, temp_name, place.folder, place.name) != 0)
    result = failed_at(kPuttingInPlace, errno);
  if (result.error != 0) unlinkat(place.folder, temp_name, 0);
  temp_in_use = 0;
  if (result.error == ENOENT && is_gone(place.folder)) result.step = kFolderGone;
  CopyResult told = failed_at(result.step, result.error, stood ? &standing : nullptr);
  if (result.error != 0) return told;
  count_copy_into(place.noted);
  if (source_info.st_size >= kWriteBehindFrom) note_copy_behind(place.whole, copy_info);
  return {kDone, 0, false, copy_info.st_size, stood, told.replaced, id_of(copy_info), {}, 0, 0};
}

#ifdef O_TMPFILE
// Gives the unnamed file temp the target's name in its folder: directly
// where lisko may (CAP_DAC_READ_SEARCH, as root), else through /proc.
int link_in_place(int temp, const TargetPlace& place) {
  if (linkat(temp, "", place.folder, place.name, AT_EMPTY_PATH) == 0) return 0;
  char path[64];
  snprintf(path, sizeof path, "/proc/self/fd/%d", temp);
  return linkat(AT_FDCWD, path, place.folder, place.name, AT_SYMLINK_FOLLOW) == 0 ? 0 : errno;
}
#endif

// Set once a link of an unnamed file failed for another reason than a name
// taken meanwhile (neither CAP_DAC_READ_SEARCH nor /proc): the run's later
// fresh copies then go by a temporary name at once, rather than twice.
bool links_refused = false;

// Makes a fresh target: fills an unnamed file in the target's folder and
// links it in place, so that a name appears only once the copy is whole.
// Sets *done false where the file system has no unnamed files (FAT, exFAT,
// FUSE) or the link was not made (the name taken meanwhile, or no way to
// link): the unnamed file is gone then, and the caller copies again, from
// the source's first byte, by a temporary name.
CopyResult write_and_link(int source, const struct stat& source_info, const TargetPlace& place,
                          bool* done) {
  *done = false;
#ifdef O_TMPFILE
  if (place.prefix_length > 0 || links_refused) return failed_at(kWritingCopy, 0);
  int temp = openat(place.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
  if (temp < 0) return failed_at(kWritingCopy, 0);
  *done = true;
  struct stat copy_info;
  CopyResult result = fill_temp(source, source_info, temp, kWritingCopy, &copy_info);
  int linked = result.error == 0 ? link_in_place(temp, place) : 0;
  if (close(temp) != 0 && result.error == 0) result.error = errno;
  if (linked != 0 && is_gone(place.folder)) return failed_at(kFolderGone, linked);
  if (linked != 0 && linked != EEXIST) links_refused = true;
  if (linked != 0) *done = false;
  if (result.error != 0 || linked != 0) return result;
  count_copy_into(place.noted);
  if (source_info.st_size >= kWriteBehindFrom) note_copy_behind(place.whole, copy_info);
  return {kDone, 0, false, copy_info.st_size, false, {}, id_of(copy_info), {}, 0, 0};
#else
  (void)source, (void)source_info, (void)place;
  return failed_at(kWritingCopy, 0);
#endif
}

// Opens the folder of target, a POSIX name, and fills place. Returns 0 or
// the error.
int open_target_folder(char (&target)[kPathSize], TargetPlace* place) {
  char* slash = strrchr(target, '/');
  if (slash == nullptr) {
    *place = {open(".", kFolderFlags), target, 0, target, -1, false};
  } else if (slash == target) {
    *place = {open("/", kFolderFlags), slash + 1, 0, target, -1, false};
  } else {
    *slash = '\0';
    *place = {open(target, kFolderFlags), slash + 1, 0, target, -1, false};
    *slash = '/';
  }
  if (place->folder >= 0) return 0;
  if (errno != EACCES || kOpensUnreadableFolders || slash == nullptr) return errno;
  // A folder that may be searched but not read: go by name.
  *place = {AT_FDCWD, target, static_cast<size_t>(slash + 1 - target), target, -1, false};
  return 0;
}

// Replaces the target described by target_info, or keeps it where it
// holds the source's bytes already.
CopyResult replace_target(int source, const struct stat& source_info, const TargetPlace& place,
                          const struct stat& target_info) {
  if (S_ISDIR(target_info.st_mode)) return failed_at(kCheckingTarget, EISDIR, &target_info);
  // Replacing the source itself would gain nothing.
  if (target_info.st_dev == source_info.st_dev && target_info.st_ino == source_info.st_ino)
    return failed_at(kFindingSelf, EEXIST, &target_info);
  bool may_be_same = S_ISREG(target_info.st_mode) && target_info.st_size == source_info.st_size;
  if (may_be_same && source_info.st_size > 0 &&
      keep_if_same(source, source_info, place.folder, place.name, target_info, place.ours)) {
    count_copy_into(place.noted);  // the flush at the end covers it too
    return {kDone, 0, true, 0, true, id_of(target_info), id_of(target_info), {}, 0, 0};
  }
  return write_and_rename(source, source_info, place, holds_data(target_info));
}

CopyResult copy_into_place(int source, const struct stat& source_info, TargetPlace place) {
  if (place.name[place.prefix_length] == '\0')
    return failed_at(kCheckingTarget, EISDIR);  // the target names a folder
  place.noted = note_copy_folder(place.folder, place.whole);  // before its first write
  struct stat target_info;
  if (fstatat(place.folder, place.name, &target_info, AT_SYMLINK_NOFOLLOW) == 0)
    return replace_target(source, source_info, place, target_info);
  bool done = false;
  CopyResult fresh = write_and_link(source, source_info, place, &done);
  return done ? fresh : write_and_rename(source, source_info, place, false);
}

// Opens the source for reading, and refuses what is not a regular file.
// Returns its descriptor, or -1 with *error set.
int open_source(const char* source_path, struct stat* source_info, int* error) {
  const int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
  int source = open_for_reading(AT_FDCWD, source_path, flags);
  *error = source < 0 ? errno : 0;
  if (source < 0) return -1;
  if (fstat(source, source_info) != 0)
    *error = errno;
  else if (S_ISDIR(source_info->st_mode))
    *error = EISDIR;
  else if (!S_ISREG(source_info->st_mode))
    *error = ENOTSUP;  // a FIFO, socket or device has no content to copy
  if (*error == 0) return source;
  close(source);
  return -1;
}

}  // namespace

CopyResult copy_one_file(const char* source_path, char (&target_path)[kPathSize],
                         bool made_this_run) {
  struct stat source_info;
  int error = 0;
  int source = open_source(source_path, &source_info, &error);
  if (source < 0) return failed_at(kReadingSource, error);
  TargetPlace place = {-1, "", 0, "", -1, false};
  error = open_target_folder(target_path, &place);
  place.ours = made_this_run;
  CopyResult result =
      error != 0 ? failed_at(kOpeningFolder, error) : copy_into_place(source, source_info, place);
  result.source = id_of(source_info);
  result.source_size = source_info.st_size;
  result.source_time = source_info.st_mtim.tv_sec * 1000000000ll + source_info.st_mtim.tv_nsec;
  if (place.folder >= 0) close(place.folder);
  close(source);
  return result;
}

void remove_temp_file() {
  if (temp_in_use) unlinkat(temp_folder, temp_name, 0);
}
