// lisko's platform layer on POSIX systems.
//
// A copy never touches the target until the new content is complete:
//
//   1. Open the source without blocking (a FIFO must not hang the run) and
//      refuse anything that is not a regular file.
//   2. Open the target's folder; refuse a folder at the target and a target
//      that is the source itself.
//   3. Write the content into a temporary file in that folder, letting the
//      kernel copy it where it can, then give it the source's permission
//      bits and times.
//   4. Rename the temporary file over the target, which replaces a file or a
//      symbolic link there in one step.
//
// A failure at any step, or a signal that stops the run, removes the
// temporary file, so the earlier target stays whole and nothing is left
// behind. Names from the playlist are Windows names: a backslash separates
// folders, as it does there.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#ifdef __linux__
#include <sys/sendfile.h>
#endif
#ifdef __APPLE__
#define st_atim st_atimespec
#define st_mtim st_mtimespec
#endif

#include "line_reader.h"
#include "platform.h"

// The target's folder is only searched and written, never read: O_PATH
// lets lisko copy into a folder that may not be listed.
#ifdef O_PATH
const int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
const int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

const char kOutputLineEnd[] = "\r\n";

bool start_output() {
  // Output is gathered in blocks; on a terminal each message is flushed.
  static char buffer[4096];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  // A reader that went away must not end the run or change its status.
  signal(SIGPIPE, SIG_IGN);
  return isatty(STDOUT_FILENO) != 0;
}

FILE* open_playlist(const char* m3u_file) {
  FILE* playlist = fopen(m3u_file, "rb");
  if (playlist == nullptr) return nullptr;
  struct stat status;
  if (fstat(fileno(playlist), &status) != 0 || S_ISDIR(status.st_mode)) {
    fclose(playlist);
    return nullptr;
  }
  return playlist;
}

namespace {

// The temporary file being written, for the signal handler to remove.
volatile sig_atomic_t temp_in_use = 0;
int temp_folder = -1;
char temp_name[64];

void remove_temp_and_die(int signal_number) {
  if (temp_in_use) unlinkat(temp_folder, temp_name, 0);
  signal(signal_number, SIG_DFL);
  raise(signal_number);
}

void remove_temp_on_signals() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  const int signals[] = {SIGINT, SIGTERM, SIGHUP};
  for (int signal_number : signals) {
    struct sigaction action = {};
    action.sa_handler = remove_temp_and_die;
    sigfillset(&action.sa_mask);
    // Respect a signal that the caller asked us to ignore (nohup).
    struct sigaction old;
    if (sigaction(signal_number, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    sigaction(signal_number, &action, nullptr);
  }
}

// Copies name into out with each backslash read as a folder separator.
bool to_posix_name(const char* name, char (&out)[kTargetNameSize]) {
  size_t length = strlen(name);
  if (length >= sizeof out) return false;
  for (size_t i = 0; i <= length; ++i) out[i] = name[i] == '\\' ? '/' : name[i];
  return true;
}

int copy_by_reading(int from, int to) {
  static char buffer[256 * 1024];
  for (;;) {
    ssize_t got = read(from, buffer, sizeof buffer);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    for (ssize_t done = 0; done < got;) {
      ssize_t put = write(to, buffer + done, static_cast<size_t>(got - done));
      if (put < 0 && errno != EINTR) return errno;
      if (put == 0) return EIO;  // a file system that takes nothing more
      if (put > 0) done += put;
    }
  }
}

// Errors that say the kernel will not copy these two files for us, so the
// copy goes on in user space from where it stands.
bool is_refusal(int error) {
  return error == EXDEV || error == EINVAL || error == ENOSYS || error == EOPNOTSUPP ||
         error == ENOTSUP;
}

int copy_contents(int from, int to) {
#ifdef __linux__
  const size_t kChunk = 1u << 30;
  bool copied_any = false;
  for (;;) {
    ssize_t done = copy_file_range(from, nullptr, to, nullptr, kChunk, 0);
    if (done > 0) {
      copied_any = true;
      continue;
    }
    if (done == 0 && copied_any) return 0;
    if (done == 0) break;  // empty, or a file whose size the kernel hides
    if (errno == EINTR) continue;
    if (!is_refusal(errno)) return errno;
    for (;;) {
      ssize_t sent = sendfile(to, from, nullptr, kChunk);
      if (sent > 0) continue;
      if (sent == 0) return 0;
      if (errno == EINTR) continue;
      if (!is_refusal(errno)) return errno;
      break;
    }
    break;
  }
#endif
  return copy_by_reading(from, to);
}

// A file system that cannot hold permission bits or times (a FAT stick
// refuses modes it cannot store) still holds the content: that is no
// failure of the copy. Any other error is.
int metadata_error(int error) {
  return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP ? 0 : error;
}

// Creates a temporary file in folder with a name of this process's own.
int create_temp(int folder) {
  static unsigned counter = 0;
  temp_folder = folder;
  for (int attempt = 0; attempt < 100; ++attempt) {
    snprintf(temp_name, sizeof temp_name, ".lisko-%ld-%u.tmp", static_cast<long>(getpid()),
             counter++);
    temp_in_use = 1;
    int temp = openat(folder, temp_name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (temp >= 0) return temp;
    temp_in_use = 0;
    if (errno != EEXIST) return -1;
  }
  return -1;
}

// Fills the temporary file and renames it over target_base. Returns 0 or
// the error; on error the temporary file is gone.
int write_and_rename(int source, const struct stat& source_status, int folder,
                     const char* target_base) {
  int temp = create_temp(folder);
  if (temp < 0) return errno;
  const struct timespec times[2] = {source_status.st_atim, source_status.st_mtim};
  int error = copy_contents(source, temp);
  if (error == 0 && fchmod(temp, source_status.st_mode & 0777) != 0) error = metadata_error(errno);
  if (error == 0 && futimens(temp, times) != 0) error = metadata_error(errno);
  if (close(temp) != 0 && error == 0) error = errno;
  if (error == 0 && renameat(folder, temp_name, folder, target_base) != 0) error = errno;
  if (error != 0) unlinkat(folder, temp_name, 0);
  temp_in_use = 0;
  return error;
}

// Opens the folder part of target and points base at its last component.
int open_target_folder(char (&target)[kTargetNameSize], const char** base) {
  char* slash = strrchr(target, '/');
  if (slash == nullptr) {
    *base = target;
    return open(".", kFolderFlags);
  }
  *base = slash + 1;
  if (slash == target) return open("/", kFolderFlags);
  *slash = '\0';
  int folder = open(target, kFolderFlags);
  *slash = '/';
  return folder;
}

int copy_into_folder(int source, const struct stat& source_status, int folder, const char* base) {
  if (*base == '\0') return EISDIR;  // the target names a folder
  struct stat target_status;
  if (fstatat(folder, base, &target_status, AT_SYMLINK_NOFOLLOW) == 0) {
    if (S_ISDIR(target_status.st_mode)) return EISDIR;
    if (target_status.st_dev == source_status.st_dev &&
        target_status.st_ino == source_status.st_ino)
      return EEXIST;  // the source itself: replacing it would gain nothing
  }
  return write_and_rename(source, source_status, folder, base);
}

int copy_path(const char* source_path, char (&target_path)[kTargetNameSize]) {
  int source = open(source_path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (source < 0) return errno;
  struct stat source_status;
  int error = 0;
  if (fstat(source, &source_status) != 0)
    error = errno;
  else if (S_ISDIR(source_status.st_mode))
    error = EISDIR;
  else if (!S_ISREG(source_status.st_mode))
    error = ENOTSUP;  // a FIFO, socket or device has no content to copy
  const char* base = nullptr;
  int folder = error == 0 ? open_target_folder(target_path, &base) : -1;
  if (error == 0 && folder < 0) error = errno;
  if (error == 0) error = copy_into_folder(source, source_status, folder, base);
  if (folder >= 0) close(folder);
  close(source);
  return error;
}

}  // namespace

bool copy_file(const char* existing, const char* target, char* why, size_t why_size) {
  remove_temp_on_signals();
  char source_path[kTargetNameSize];
  char target_path[kTargetNameSize];
  int error = ENAMETOOLONG;
  if (to_posix_name(existing, source_path) && to_posix_name(target, target_path))
    error = copy_path(source_path, target_path);
  if (error == 0) return true;
  snprintf(why, why_size, "%s", strerror(error));
  return false;
}
