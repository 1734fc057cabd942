// lisko's file system on POSIX systems: the signals that stop a run, the
// playlist's opening, the wording of a failed copy, and the end-of-run
// flush. The copy of one file is posix_copy.cc's, the moving of its bytes
// posix_bytes.cc's.
//
// Every catchable signal that ends the process removes the copy's
// temporary file first, so that a stopped run leaves nothing behind, and
// ends the terminal's line.
//
// At the end of the run the file systems of the copies are flushed, so
// that once lisko has ended they are all on their media (posix_flush.cc).
//
// In names from the playlist a backslash separates folders, as a slash
// does: playlists come from Windows and from POSIX systems alike.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "case_fold.h"
#include "file_system.h"
#include "posix_bytes.h"
#include "posix_copy.h"
#include "posix_flush.h"
#include "terminal.h"

namespace {

void remove_temp_and_die(int signal_number) {
  remove_temp_file();
  end_line_on_stop();
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
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (lets_the_run_go_on(signal_number)) continue;
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

// True where the file system of target_path's folder holds only some
// names: FAT, exFAT and NTFS hold none of "*:<>?| (and fusefat none beyond
// ASCII), and a daemon through FUSE may refuse whatever it cannot store.
bool holds_only_some_names(const char* target_path) {
  const long kFat = 0x4d44, kExfat = 0x2011BAB0, kNtfs = 0x5346544E, kNtfs3 = 0x7366746E,
             kFuse = 0x65735546;
  char folder[kPathSize];
  const char* slash = strrchr(target_path, '/');
  size_t length = slash == nullptr ? 0 : static_cast<size_t>(slash - target_path) + 1;
  memcpy(folder, target_path, length);  // fits: target_path does
  strcpy(folder + length, ".");         // fits: the name part was one byte at least
  struct statfs medium;
  if (statfs(folder, &medium) != 0) return false;
  long type = static_cast<long>(medium.f_type);
  return type == kFat || type == kExfat || type == kNtfs || type == kNtfs3 || type == kFuse;
}

// True when error, from the rename or link that puts a copy in place,
// says that the file system cannot hold its name: the errors that say so
// anywhere, and where nothing stood at the target on a file system that
// holds only some names, any refusal (refusing a name, fusefat says EPERM
// and exfat-fuse ENOENT).
bool is_name_refused(int error, bool stood, const char* target_path) {
  if (error == EINVAL || error == EILSEQ || error == ENAMETOOLONG) return true;
  bool refusal = error == EPERM || error == EACCES || error == ENOENT;
  return refusal && !stood && holds_only_some_names(target_path);
}

// Puts "folder NAME/" into folder, where NAME/ is target's folder as named
// there, or "the current folder".
void name_folder(const char* target, char (&folder)[kPathSize + 16]) {
  const char* name_part = target + strlen(target);
  while (name_part > target && strchr("\\/", name_part[-1]) == nullptr) --name_part;
  if (name_part > target)
    snprintf(folder, sizeof folder, "folder %.*s", static_cast<int>(name_part - target), target);
  else
    snprintf(folder, sizeof folder, "the current folder");
}

// The words for a failure to write the copy (at step, with error): of
// the target's side, as the source's failures are told in the system's
// words alone.
const char* writing_failure(CopyStep step, int error, const char* target_path) {
  bool full = error == ENOSPC || error == EDQUOT;
  if (full && step == kWritingBeside) return "no room for the new copy beside the old one (%s)";
  if (full) return "no room on the target's medium (%s)";
  // fusefat refuses the writes to a full stick so, and tells no room.
  if (error == EPERM && holds_only_some_names(target_path))
    return "the target's medium refused the copy: is it full? (%s)";
  return "the target's medium failed to take the copy (%s)";
}

// The words for a failure to put the copy in place.
const char* putting_in_place_failure(const CopyResult& result, const char* target_path) {
  int error = result.error;
  if (is_name_refused(error, result.stood, target_path))
    return "the target's file system cannot hold this name (%s)";
  if (error == EPERM || error == EACCES)
    return result.stood ? "the system will not let lisko replace the target (%s)"
                        : "the system will not let lisko make the target (%s)";
  return "the target's medium failed to take the copy (%s)";
}

// The words that say which side failed at step with error, with a "%s"
// for the system's words, for the failures of the target, the copy and
// its putting in place; null for any other.
const char* side_that_failed(const CopyResult& result, const char* target_path) {
  CopyStep step = result.step;
  if (step == kFindingSelf) return "the target is the source itself";
  if (step == kCheckingTarget) return "the target is a folder (%s)";
  if (step == kWritingCopy || step == kWritingBeside)
    return writing_failure(step, result.error, target_path);
  return step == kPuttingInPlace ? putting_in_place_failure(result, target_path) : nullptr;
}

// Why a copy to target (target_path as a POSIX name) failed at step with
// error: the system's words alone where the source failed, and otherwise
// which side failed first. Names are shown as they stand on the command
// line.
const char* reason(const CopyResult& result, const char* target, const char* target_path) {
  int error = result.error;
  CopyStep step = result.step;
  static char why[kPathSize + 128];
  const char* system_text = strerror(error);
  char folder[kPathSize + 16];
  name_folder(target, folder);
  bool folder_missing =
      (step == kOpeningFolder && (error == ENOENT || error == ENOTDIR)) || step == kFolderGone;
  const char* side = side_that_failed(result, target_path);
  if (folder_missing)
    snprintf(why, sizeof why, "no %s (%s)", folder, system_text);
  else if (step == kOpeningFolder || step == kWritingFolder)
    snprintf(why, sizeof why, "cannot write in %s (%s)", folder, system_text);
  else if (side != nullptr)
    snprintf(why, sizeof why, side, system_text);
  else
    return system_text;
  return why;
}

}  // namespace

void start_copies() {
  // A file-size limit (ulimit -f) fails the one copy that passes it.
  signal(SIGXFSZ, SIG_IGN);
  remove_temp_on_signals();
}

void report_copy_progress(CopyProgress report) { set_copy_progress(report); }

FILE* open_playlist(const char* m3u_file, const char** why) {
  FILE* playlist = fopen(m3u_file, "rb");
  *why = playlist == nullptr ? strerror(errno) : nullptr;
  if (playlist == nullptr) return nullptr;
  struct stat info;
  if (fstat(fileno(playlist), &info) != 0 || S_ISDIR(info.st_mode)) {
    *why = "is a folder";
    fclose(playlist);
    return nullptr;
  }
  return playlist;
}

// A regular file only: a FIFO another playlist names must not hang the
// run (it is opened without blocking), nor a device feed it forever.
FILE* open_listed_playlist(const char* name) {
  char path[kPathSize];
  if (!to_posix_name(name, path)) return nullptr;
  int file = open_for_reading(AT_FDCWD, path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (file < 0) return nullptr;
  struct stat info;
  FILE* playlist = fstat(file, &info) == 0 && S_ISREG(info.st_mode) ? fdopen(file, "rb") : nullptr;
  if (playlist == nullptr) close(file);
  return playlist;
}

const char* missing_medium_question() { return "is the stick mounted?"; }

bool dest_is_folder() {
  struct stat info;
  const char* dest = dest_in(kCodePage);
  return dest[0] != '\0' && stat(dest, &info) == 0 && S_ISDIR(info.st_mode);
}

DestFolder look_at_dest_folder() {
  char folder[kPathSize];
  DestFolder found = {false, false, 0};
  if (!to_posix_name(dest_in(kCodePage), folder)) return found;
  char* slash = strrchr(folder, '/');
  if (slash != nullptr)
    slash[1] = '\0';
  else
    strcpy(folder, ".");  // fits
  struct stat info;
  struct statvfs room;
  found.exists = stat(folder, &info) == 0 && S_ISDIR(info.st_mode);
  // A file system that gives no size at all (fusefat) tells nothing of its room.
  found.free_known = found.exists && statvfs(folder, &room) == 0 && room.f_blocks > 0;
  if (found.free_known) found.free_bytes = static_cast<unsigned long long>(room.f_bavail) * room.f_frsize;
  return found;
}

bool regular_file_size(const char* name, NameCode, unsigned long long* size) {
  char path[kPathSize];
  struct stat info;
  if (!to_posix_name(name, path) || stat(path, &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *size = static_cast<unsigned long long>(info.st_size);
  return true;
}

bool file_exists(const char* name, NameCode) {
  char path[kPathSize];
  struct stat info;
  return to_posix_name(name, path) && stat(path, &info) == 0;
}

bool is_missing(const char* name, NameCode) {
  char path[kPathSize];
  struct stat info;
  return to_posix_name(name, path) && stat(path, &info) != 0 && (errno == ENOENT || errno == ENOTDIR);
}

bool one_name_in_any_case(const char* target, NameCode) {
  char path[kPathSize];
  if (!to_posix_name(target, path)) return false;
  const char* slash = strrchr(path, '/');
  const char* name = slash == nullptr ? path : slash + 1;
  char folder_name[kPathSize] = ".";
  if (slash != nullptr) {
    size_t length = static_cast<size_t>(slash - path) + 1;  // "/" kept
    memcpy(folder_name, path, length);  // fits: path does
    folder_name[length] = '\0';
  }
  DIR* folder = opendir(folder_name);
  if (folder == nullptr) return false;
  unsigned alike = 0;
  for (struct dirent* listed; (listed = readdir(folder)) != nullptr;)
    alike += same_in_any_case(listed->d_name, name) ? 1 : 0;
  closedir(folder);
  return alike == 1;
}

// A name from the command line: its backslashes are its own.
bool full_folder_of(const char* file, char (&folder)[kPathSize]) {
  char name[kPathSize];
  if (strlen(file) >= sizeof name) return false;
  strcpy(name, file);  // fits, as checked
  char* slash = strrchr(name, '/');
  const char* parent = slash == nullptr ? "." : slash == name ? "/" : name;
  if (slash != nullptr && slash > name) *slash = '\0';
  char full[PATH_MAX];
  if (realpath(parent, full) == nullptr || strlen(full) >= sizeof folder) return false;
  strcpy(folder, full);  // fits, as checked
  return true;
}

const char* copy_file(const char* source, const char* target, NameCode, bool made_this_run,
                      CopyDone* done) {
  char source_path[kPathSize];
  char target_path[kPathSize];
  CopyResult result = {kReadingSource, ENAMETOOLONG, false, 0, false, {}, {}, {}, 0, 0};
  if (to_posix_name(source, source_path) && to_posix_name(target, target_path))
    result = copy_one_file(source_path, target_path, made_this_run);
  bool made = result.error == 0;
  *done = {result.kept, static_cast<unsigned long long>(result.bytes), result.stood, result.replaced,
           made, result.made, made, result.source,
           static_cast<unsigned long long>(result.source_size), result.source_time};
  if (result.error == kSourceChanged) return "the source changed while it was copied";
  return made ? nullptr : reason(result, target, target_path);
}

const char* flush_copies(unsigned long* hidden) {
  int error = flush_copy_folders(hidden);
  return error == 0 ? nullptr : strerror(error);
}
