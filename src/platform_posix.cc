// lisko's platform layer on POSIX systems.
//
// A copy never touches the target until the new content is complete:
//
//   1. Open the source without blocking (a FIFO must not hang the run) and
//      refuse anything that is not a regular file.
//   2. Open the target's folder and work relative to that descriptor from
//      then on, so that a folder swapped for a symbolic link during the copy
//      cannot redirect it. Refuse a folder at the target and a target that
//      is the source itself.
//   3. Write the content into a temporary file in that folder, letting the
//      kernel copy it where it can, then give it the source's permission
//      bits and times.
//   4. Rename the temporary file over the target, which replaces a file or a
//      symbolic link there in one step.
//
// A failure at any step, or a signal that stops the run, removes the
// temporary file, so the earlier target stays whole and nothing is left
// behind. A file that holds data (or a symbolic link) is replaced only once
// the new data is on the medium, so that after a crash the target is the
// old file or the new one; the copy is written out while it is made, so
// that a run keeps the pace of a slow medium; and at the end of the run the
// file system of the copies is flushed, so that once lisko has ended they
// are all on the medium.
//
// No copy is held open past its own copy: a later entry may replace it,
// and some file systems (exFAT through FUSE) fail such a rename. The
// end-of-run flush goes through a descriptor of the copies' folder opened
// before the run's first write: the kernel reports to it every write-out
// error of the file system since, whoever else flushed it meanwhile.
//
// In names from the playlist a backslash separates folders, as a slash
// does: playlists come from Windows and from POSIX systems alike.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#ifdef __linux__
#include <sys/sendfile.h>
#endif
#ifdef __APPLE__
#define st_atim st_atimespec
#define st_mtim st_mtimespec
#endif

#include "platform.h"

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

// The temporary file being written, for the signal handler to remove. Its
// name is relative to temp_folder, and has room for a folder's name before
// it where the copy goes by name.
volatile sig_atomic_t temp_in_use = 0;
int temp_folder = AT_FDCWD;
char temp_name[kPathSize + 64];
long process_id = 0;  // taken once, for the temporary files' names

sigset_t stop_signals;  // the signals whose handler removes the temporary file

// For flush_copies: whether a copy was made, and a descriptor on the
// copies' file system opened before the run's first write (every copy lies
// in dest's folder), or -1 where none could be opened.
bool copies_made = false;
int flush_descriptor = -1;

// The latest copy that was written behind, named as on the command line,
// for the next copy to wait for its writeback: by name, as it is not held.
char behind_name[kPathSize];
dev_t behind_device = 0;
ino_t behind_inode = 0;

const char* run_dest = "";  // dest, as given

void remove_temp_and_die(int signal_number) {
  if (temp_in_use) unlinkat(temp_folder, temp_name, 0);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

// True for the signals that do not end the process by default, or that
// cannot be caught, or whose end lisko has turned off.
bool lets_the_run_go_on(int signal_number) {
  const int signals[] = {SIGKILL, SIGSTOP, SIGTSTP,  SIGTTIN, SIGTTOU, SIGCONT,
                         SIGCHLD, SIGURG,  SIGWINCH, SIGPIPE, SIGXFSZ};
  for (int listed : signals)
    if (signal_number == listed) return true;
  return false;
}

// Every signal that ends the process and can be caught removes the
// temporary file first (the real-time ones, SIGVTALRM, SIGPROF, SIGSYS and
// the like too).
void remove_temp_on_signals() {
  sigemptyset(&stop_signals);
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (lets_the_run_go_on(signal_number)) continue;
    sigaddset(&stop_signals, signal_number);
    // Respect a signal that the caller asked us to ignore (nohup).
    struct sigaction old;
    if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    struct sigaction action = {};
    action.sa_handler = remove_temp_and_die;
    sigfillset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
  }
}

// Copies name into out with each backslash read as a folder separator.
bool to_posix_name(const char* name, char (&out)[kPathSize]) {
  size_t length = strlen(name);
  if (length >= sizeof out) return false;
  for (size_t i = 0; i <= length; ++i) out[i] = name[i] == '\\' ? '/' : name[i];
  return true;
}

// Each way of copying copies up to size bytes from where the file offsets
// stand, and returns 0 when it has (or the source has ended), kRefused
// when the kernel will not copy these two files that way (the next way
// goes on from where the offsets stand), or an error.
const int kRefused = -1;

// Errors that say the kernel will not copy these two files for us.
bool is_refusal(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP;
}

int copy_by_range(int from, int to, off_t size) {
#ifdef __linux__
  for (off_t copied = 0; copied < size;) {
    ssize_t done =
        copy_file_range(from, nullptr, to, nullptr, static_cast<size_t>(size - copied), 0);
    if (done > 0) copied += done;
    if (done == 0) return 0;  // the source shrank
    if (done < 0 && errno != EINTR) return is_refusal(errno) ? kRefused : errno;
  }
  return 0;
#else
  (void)from, (void)to, (void)size;
  return kRefused;
#endif
}

int copy_by_sendfile(int from, int to, off_t size) {
#ifdef __linux__
  for (off_t copied = 0; copied < size;) {
    ssize_t sent = sendfile(to, from, nullptr, static_cast<size_t>(size - copied));
    if (sent > 0) copied += sent;
    if (sent == 0) return 0;
    if (sent < 0 && errno != EINTR) return is_refusal(errno) ? kRefused : errno;
  }
  return 0;
#else
  (void)from, (void)to, (void)size;
  return kRefused;
#endif
}

// Writes all of data, however little each write takes.
int write_all(int to, const char* data, size_t size) {
  while (size > 0) {
    ssize_t put = write(to, data, size);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return errno;
    if (put == 0) return EIO;  // a file system that takes nothing more
    data += put;
    size -= static_cast<size_t>(put);
  }
  return 0;
}

int copy_by_reading(int from, int to, off_t size) {
  // Static: 256 KiB is too much for the stack of every platform, and the
  // run copies one file at a time.
  static char buffer[256 * 1024];
  for (off_t copied = 0; copied < size;) {
    size_t want = static_cast<size_t>(std::min<off_t>(sizeof buffer, size - copied));
    ssize_t got = read(from, buffer, want);
    if (got == 0) return 0;
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return errno;
    int error = write_all(to, buffer, static_cast<size_t>(got));
    if (error != 0) return error;
    copied += got;
  }
  return 0;
}

int copy_by_way(int way, int from, int to, off_t size) {
  if (way == 0) return copy_by_range(from, to, size);
  if (way == 1) return copy_by_sendfile(from, to, size);
  return copy_by_reading(from, to, size);
}

// A copy goes in pieces. Once a piece of a file of some size is written,
// its writeback starts, and lisko waits for the piece before it: so the
// copy keeps the pace of a slow medium, with two pieces at most in memory,
// and the flushes that end a copy or the run wait for little. Small files
// are left to the flush at the end, which writes them out together.
const off_t kPiece = 8 << 20;
const off_t kWriteBehindFrom = 1 << 20;

// Returns 0 or the error of the writeback, which fails the copy.
int write_behind(int to, off_t start, off_t length) {
#ifdef __linux__
  if (sync_file_range(to, start, length, SYNC_FILE_RANGE_WRITE) != 0) return errno;
  const unsigned kWait =
      SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  if (start >= kPiece && sync_file_range(to, start - kPiece, kPiece, kWait) != 0) return errno;
#else
  (void)to, (void)start, (void)length;
#endif
  return 0;
}

// Waits for the writeback of the latest copy written behind, so that a run
// onto a slow medium keeps its pace from file to file too, one file
// behind. It is opened for the wait only, and only where it is still the
// file that was written; an error of its writeback reaches the end-of-run
// flush.
void wait_for_copy_behind() {
#ifdef __linux__
  if (behind_name[0] == '\0') return;
  int copy = open(behind_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_NOATIME | O_CLOEXEC);
  if (copy < 0 && errno == EPERM)  // not lisko's own file: no O_NOATIME
    copy = open(behind_name, O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  struct stat info;
  if (copy >= 0 && fstat(copy, &info) == 0 && info.st_dev == behind_device &&
      info.st_ino == behind_inode)
    sync_file_range(copy, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE);
  if (copy >= 0) close(copy);
  behind_name[0] = '\0';
#endif
}

int copy_contents(int from, int to, off_t size) {
  // A size of 0 may be one that the kernel hides (in /proc): read to the end.
  if (size == 0) return copy_by_reading(from, to, std::numeric_limits<off_t>::max());
  int way = 0;
  for (off_t start = 0; start < size; start += kPiece) {
    off_t length = std::min(kPiece, size - start);
    int result;
    while ((result = copy_by_way(way, from, to, length)) == kRefused) ++way;
    if (result != 0) return result;
    if (size >= kWriteBehindFrom && (result = write_behind(to, start, length)) != 0) return result;
  }
  return 0;
}

// A file system that cannot hold permission bits or times (a FAT stick
// refuses modes it cannot store) still holds the content: that is no
// failure of the copy. Any other error is.
int unless_unsupported(int error) {
  // FUSE file systems (fusefat) answer ENOSYS, and some EINVAL.
  bool unsupported = error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == ENOSYS ||
                     error == EINVAL;
  return unsupported ? 0 : error;
}

// Where a copy goes: the folder's descriptor and the target's name in it.
// Where the copy goes by name, folder is AT_FDCWD and name is the whole
// target, whose first prefix_length bytes name the folder. whole is the
// target as named on the command line.
struct TargetPlace {
  int folder;
  const char* name;
  size_t prefix_length;
  const char* whole;
};

// Creates a temporary file in the target's folder with a name of this
// process's own. Returns its descriptor, or -1 with errno set.
int create_temp(const TargetPlace& place) {
  static unsigned counter = 0;
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
    sigset_t taken;
    sigprocmask(SIG_BLOCK, &stop_signals, &taken);
    int temp = openat(place.folder, temp_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (temp >= 0) temp_in_use = 1;
    sigprocmask(SIG_SETMASK, &taken, nullptr);
    if (temp >= 0) return temp;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Writes the content, the permission bits and the times into temp. When
// it is to replace a file that holds data, the data is then put on the
// medium: a crash after the rename could otherwise find the rename done
// and the data not, and lose the old file and the new one.
int fill_temp(int source, const struct stat& source_info, int temp, bool replacing_data) {
  const struct timespec times[2] = {source_info.st_atim, source_info.st_mtim};
  int error = copy_contents(source, temp, source_info.st_size);
  wait_for_copy_behind();
  if (error == 0 && fchmod(temp, source_info.st_mode & 0777) != 0)
    error = unless_unsupported(errno);
  if (error == 0 && futimens(temp, times) != 0) error = unless_unsupported(errno);
  if (error == 0 && replacing_data && fdatasync(temp) != 0) error = errno;
  return error;
}

// Opens, once, before the run's first write, the descriptor through which
// the end of the run flushes the copies' file system: their folder, or
// where lisko may write but not read it, a file in it that has no name
// (O_TMPFILE). Without either, the end of the run can only ask the whole
// system to flush, and sees no error.
void open_flush_descriptor(const TargetPlace& place) {
  static bool tried = false;
  if (tried) return;
  tried = true;
  if (place.folder == AT_FDCWD && place.prefix_length > 0)
    return;  // a folder that cannot be opened
  flush_descriptor = openat(place.folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
#ifdef O_TMPFILE
  if (flush_descriptor < 0)
    flush_descriptor = openat(place.folder, ".", O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
#endif
}

// Notes the copy just put in place under target_path, where it was written
// behind, for the next copy to wait for.
void note_copy_behind(const char* target_path, const struct stat& copy_info) {
  size_t length = strlen(target_path);  // fits: behind_name is as large
  memcpy(behind_name, target_path, length + 1);
  behind_device = copy_info.st_dev;
  behind_inode = copy_info.st_ino;
}

// Fills a temporary file and renames it over the target. Returns 0 or the
// error; on error the temporary file is gone.
int write_and_rename(int source, const struct stat& source_info, const TargetPlace& place,
                     bool replacing_data) {
  int temp = create_temp(place);
  if (temp < 0) return errno;
  int error = fill_temp(source, source_info, temp, replacing_data);
  struct stat copy_info;
  if (error == 0 && fstat(temp, &copy_info) != 0) error = errno;
  if (close(temp) != 0 && error == 0) error = errno;
  if (error == 0 && renameat(place.folder, temp_name, place.folder, place.name) != 0) error = errno;
  if (error != 0) unlinkat(place.folder, temp_name, 0);
  temp_in_use = 0;
  copies_made = copies_made || error == 0;
  if (error == 0 && source_info.st_size >= kWriteBehindFrom)
    note_copy_behind(place.whole, copy_info);
  return error;
}

// Opens the folder of target, a POSIX name, and fills place. Returns 0 or
// the error.
int open_target_folder(char (&target)[kPathSize], TargetPlace* place) {
  char* slash = strrchr(target, '/');
  if (slash == nullptr) {
    *place = {open(".", kFolderFlags), target, 0, target};
  } else if (slash == target) {
    *place = {open("/", kFolderFlags), slash + 1, 0, target};
  } else {
    *slash = '\0';
    *place = {open(target, kFolderFlags), slash + 1, 0, target};
    *slash = '/';
  }
  if (place->folder >= 0) return 0;
  if (errno != EACCES || kOpensUnreadableFolders || slash == nullptr) return errno;
  // A folder that may be searched but not read: go by name.
  *place = {AT_FDCWD, target, static_cast<size_t>(slash + 1 - target), target};
  return 0;
}

int copy_into_place(int source, const struct stat& source_info, const TargetPlace& place) {
  if (place.name[place.prefix_length] == '\0') return EISDIR;  // the target names a folder
  struct stat target_info;
  bool replacing_data = false;
  if (fstatat(place.folder, place.name, &target_info, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(target_info.st_mode)) return EISDIR;
    if (target_info.st_dev == source_info.st_dev && target_info.st_ino == source_info.st_ino)
      return EEXIST;  // the source itself: replacing it would gain nothing
    // A symbolic link is replaced too: after a crash, a renamed file whose
    // data is not on the medium would stand where it was.
    replacing_data =
        (S_ISREG(target_info.st_mode) && target_info.st_size > 0) || S_ISLNK(target_info.st_mode);
  }
  open_flush_descriptor(place);
  return write_and_rename(source, source_info, place, replacing_data);
}

int copy_path(const char* source_path, char (&target_path)[kPathSize]) {
  int source = open(source_path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (source < 0) return errno;
  struct stat source_info;
  int error = 0;
  if (fstat(source, &source_info) != 0)
    error = errno;
  else if (S_ISDIR(source_info.st_mode))
    error = EISDIR;
  else if (!S_ISREG(source_info.st_mode))
    error = ENOTSUP;  // a FIFO, socket or device has no content to copy
  TargetPlace place = {-1, "", 0, ""};
  if (error == 0) error = open_target_folder(target_path, &place);
  if (error == 0) error = copy_into_place(source, source_info, place);
  if (place.folder >= 0) close(place.folder);
  close(source);
  return error;
}

}  // namespace

bool start_platform() {
  // Output is gathered in blocks; on a terminal each message is flushed.
  static char buffer[4096];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  // A reader that went away must not end the run or change its status.
  signal(SIGPIPE, SIG_IGN);
  // A file-size limit (ulimit -f) fails the one copy that passes it.
  signal(SIGXFSZ, SIG_IGN);
  process_id = static_cast<long>(getpid());
  remove_temp_on_signals();
  return isatty(STDOUT_FILENO) != 0;
}

void write_to_terminal(const char* text) { fputs(text, stdout); }

FILE* open_playlist(const char* m3u_file) {
  FILE* playlist = fopen(m3u_file, "rb");
  if (playlist == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(playlist), &info) != 0 || S_ISDIR(info.st_mode)) {
    fclose(playlist);
    return nullptr;
  }
  return playlist;
}

// Names are the bytes the file system holds: no code page, no devices.
bool take_dest(const char* dest) {
  run_dest = dest;
  return true;
}

const char* dest_in(NameCode) { return run_dest; }

NameCode read_entry_as(const char*) { return kCodePage; }

unsigned char_length(const char*, NameCode) { return 1; }

bool localize_url_path(char (&)[kPathSize], bool on_other_host) { return !on_other_host; }

bool is_file_name(const char*) { return true; }

const char* copy_file(const char* source, const char* target, NameCode) {
  char source_path[kPathSize];
  char target_path[kPathSize];
  int error = ENAMETOOLONG;
  if (to_posix_name(source, source_path) && to_posix_name(target, target_path))
    error = copy_path(source_path, target_path);
  return error == 0 ? nullptr : strerror(error);
}

const char* flush_copies() {
  if (!copies_made) return nullptr;
  int error = 0;
#ifdef __linux__
  if (flush_descriptor >= 0 && syncfs(flush_descriptor) != 0) error = errno;
  if (flush_descriptor < 0) sync();
#else
  if (flush_descriptor >= 0 && fsync(flush_descriptor) != 0) error = errno;
  sync();
#endif
  return error == 0 ? nullptr : strerror(error);
}
