// A library for the fault tests, preloaded into the program under test
// (LD_PRELOAD), that makes chosen system calls fail as a failing medium or
// kernel would. LISKO_FAULTS lists them, separated by commas:
//
//   fchmod:EPERM  futimens:EPERM  copy_file_range:ENOSYS  sendfile:EINVAL
//   fdatasync:EIO  sync_file_range:EIO  syncfs:EIO  close:EIO
//   write:short  write:ENOSPC:65536  syncfs:late  renameat:strict
//   fopen:EIO:11  getpid:fixed  sync_file_range:record
//   copy_file_range:grow  copy_file_range:shrink  open:noatime
//   openat:noflush  sync:record  sync_file_range:waitfail  renameat:gone
//   write:slow  read:slow  pread:scribble  pread:scribblesource  pread:EINTR
//   renameat:EPERM  linkat:EPERM  linkat:taken  linkat:noempty  sync_file_range:slow  stat:slow
//   stat:slower
//   fstat:short
//
// A call named with an error fails with it, every time (close only for a
// file, not standard output or error). "write:short" makes each write to a
// file take at most 7 bytes; "write:ENOSPC:N" fails such writes once N
// bytes are written. "syncfs:late" fails a flush with EIO through a
// descriptor that was not open at the run's first write to a file: the
// kernel reports to a descriptor only the write-out errors since it was
// opened. "renameat:strict" fails with EBUSY a rename over a file that the
// process holds open, as exFAT through FUSE does, and with EIO one whose
// file was put on the medium (fdatasync) where the target holds no data,
// or was not where the target holds data or is a symbolic link.
// "fopen:EIO:N" makes reading a playlist (a .m3u file) fail once N bytes
// are read. "getpid:fixed" makes the process id 4242. "sync_file_range:
// record" appends each call's start, length and flags (in KiB, and W for
// write, B and A for the waits before and after), and for a call on a
// whole file "of" its size in KiB, to the file that LISKO_RECORD names. "copy_file_range:grow" and ":shrink" append to the
// source, or cut it to half its size, once, before its first piece is
// copied, as another program writing it would. "open:noatime" fails with
// EPERM every open or openat that asks for O_NOATIME, as for a file of
// another user's. "openat:noflush" fails with EACCES every openat of ".",
// which only the end-of-run flush's descriptor asks for; "sync:record"
// appends "sync" to the LISKO_RECORD file at each sync().
// "fstat:short" makes a file open for writing only report a byte less
// than it holds, as a file system that kept less than it was given.
// "stat:slow" makes each look at a file by name (stat) take 50 ms more,
// as a slow network file system would, and notes it in the LISKO_RECORD
// file where one is named.
// "sync_file_range:waitfail" fails with EIO the calls that wait for a
// piece's writeback to end; "sync_file_range:slow" makes each of them take
// 100 ms more, as a slow medium would. "renameat:gone" removes the file to be renamed
// and then its folder, as a user who deletes the folder mid-copy would;
// "linkat:gone" removes the folder a fresh copy is to be linked into;
// "linkat:EPERM" refuses every link, of a name and of a descriptor alike,
// as a system without CAP_DAC_READ_SEARCH and /proc would; "linkat:taken"
// makes the name a fresh copy is to be linked to, just before the link, a
// file of another program's, as a second run at the same time would;
// "linkat:noempty" refuses the link of a descriptor itself (AT_EMPTY_PATH),
// as a kernel before 6.10 does without CAP_DAC_READ_SEARCH.
// "write:slow" makes each write to a file take 10 ms more, as a slow stick
// would (with copy_file_range and sendfile refused, the copy writes);
// "read:slow" makes each read of a file (not a direct one) take 40 ms more,
// as a slow source. The write faults hold for pwrite too.
// "pread:scribble" writes "!" into a target being compared (a file read
// with O_DIRECT), once, where its first read has just read, as another
// program writing it then would; "pread:scribblesource" does the same to
// the first file read without O_DIRECT (a source compared).
// "pread:EINTR" fails the first pread with EINTR, as a signal would.
// Every other call goes through to the C library.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Error {
  const char* name;
  int number;
};
const Error kErrors[] = {{"EPERM", EPERM},    {"ENOSYS", ENOSYS}, {"EINVAL", EINVAL},
                         {"EXDEV", EXDEV},    {"EIO", EIO},       {"ENOSPC", ENOSPC},
                         {"ENOTSUP", ENOTSUP}, {"EINTR", EINTR}};

const int kShort = -1;
const int kLate = -2;
const int kStrict = -3;
const int kFixed = -4;
const int kRecord = -5;
const int kGrow = -6;
const int kShrink = -7;
const int kNoAtime = -8;
const int kNoFlush = -9;
const int kWaitFail = -10;
const int kGone = -11;
const int kSlow = -12;
const int kScribble = -13;
const int kScribbleSource = -14;
const int kTaken = -15;
const int kNoEmpty = -16;
const int kSlower = -17;

// What linkat:taken writes into the name it takes.
const char kTakenBy[] = "another program's file\n";

// The error that call is to fail with, or 0, or one of the ways above. Sets *after to the bytes
// that may be written first, where the fault says so.
int fault_for(const char* call, long* after = nullptr) {
  const char* faults = getenv("LISKO_FAULTS");
  size_t length = strlen(call);
  for (const char* at = faults; at != nullptr && *at != '\0';) {
    const char* end = strchr(at, ',');
    if (strncmp(at, call, length) == 0 && at[length] == ':') {
      const char* what = at + length + 1;
      for (const Error& error : kErrors) {
        size_t name_length = strlen(error.name);
        if (strncmp(what, error.name, name_length) != 0) continue;
        if (after != nullptr) *after = what[name_length] == ':' ? atol(what + name_length + 1) : 0;
        return error.number;
      }
      if (strncmp(what, "short", 5) == 0) return kShort;
      if (strncmp(what, "late", 4) == 0) return kLate;
      if (strncmp(what, "strict", 6) == 0) return kStrict;
      if (strncmp(what, "fixed", 5) == 0) return kFixed;
      if (strncmp(what, "record", 6) == 0) return kRecord;
      if (strncmp(what, "grow", 4) == 0) return kGrow;
      if (strncmp(what, "shrink", 6) == 0) return kShrink;
      if (strncmp(what, "noatime", 7) == 0) return kNoAtime;
      if (strncmp(what, "noflush", 7) == 0) return kNoFlush;
      if (strncmp(what, "waitfail", 8) == 0) return kWaitFail;
      if (strncmp(what, "gone", 4) == 0) return kGone;
      if (strncmp(what, "slower", 6) == 0) return kSlower;
      if (strncmp(what, "slow", 4) == 0) return kSlow;
      if (strncmp(what, "scribblesource", 14) == 0) return kScribbleSource;
      if (strncmp(what, "scribble", 8) == 0) return kScribble;
      if (strncmp(what, "taken", 5) == 0) return kTaken;
      if (strncmp(what, "noempty", 7) == 0) return kNoEmpty;
    }
    at = end == nullptr ? nullptr : end + 1;
  }
  return 0;
}

template <typename Call>
Call next(const char* name) {
  return reinterpret_cast<Call>(dlsym(RTLD_NEXT, name));
}

long written = 0;  // bytes written to files so far, for write:ENOSPC:N

// The files open at the run's first write to a file, for syncfs:late.
const int kWatched = 64;
struct stat open_at_first_write[kWatched];
bool first_write_seen = false;

void note_first_write(int fd) {
  if (first_write_seen || fd <= STDERR_FILENO) return;
  first_write_seen = true;
  for (int open_fd = 0; open_fd < kWatched; ++open_fd)
    if (fstat(open_fd, &open_at_first_write[open_fd]) != 0) open_at_first_write[open_fd] = {};
}

bool was_open_at_first_write(int fd) {
  struct stat now;
  if (fd < 0 || fd >= kWatched || fstat(fd, &now) != 0) return false;
  const struct stat& then = open_at_first_write[fd];
  return !first_write_seen || (then.st_ino == now.st_ino && then.st_dev == now.st_dev);
}

struct stat last_flushed = {};  // the file of the latest fdatasync, or whole write-out

// True when the file at path must be put on the medium before it is
// renamed over the target at to.
bool must_be_flushed(int to_folder, const char* to) {
  struct stat target;
  if (fstatat(to_folder, to, &target, AT_SYMLINK_NOFOLLOW) != 0) return false;
  return S_ISLNK(target.st_mode) || (S_ISREG(target.st_mode) && target.st_size > 0);
}

bool was_flushed(int folder, const char* path) {
  struct stat file;
  return fstatat(folder, path, &file, AT_SYMLINK_NOFOLLOW) == 0 &&
         file.st_ino == last_flushed.st_ino && file.st_dev == last_flushed.st_dev;
}

// True when a descriptor of this process is open on the file at path.
bool is_held_open(int folder, const char* path) {
  struct stat file;
  if (fstatat(folder, path, &file, AT_SYMLINK_NOFOLLOW) != 0) return false;
  for (int fd = STDERR_FILENO + 1; fd < 1024; ++fd) {
    struct stat open_file;
    if (fstat(fd, &open_file) == 0 && open_file.st_ino == file.st_ino &&
        open_file.st_dev == file.st_dev)
      return true;
  }
  return false;
}

void record_writeback(int fd, off64_t start, off64_t length, unsigned flags) {
  FILE* record = fopen(getenv("LISKO_RECORD"), "a");
  if (record == nullptr) return;
  fprintf(record, "%lld+%lld%s%s%s", static_cast<long long>(start >> 10),
          static_cast<long long>(length >> 10), flags & SYNC_FILE_RANGE_WAIT_BEFORE ? "B" : "",
          flags & SYNC_FILE_RANGE_WRITE ? "W" : "", flags & SYNC_FILE_RANGE_WAIT_AFTER ? "A" : "");
  struct stat file;
  if (length == 0 && fstat(fd, &file) == 0) fprintf(record, " of %lld", static_cast<long long>(file.st_size >> 10));
  fputs("\n", record);
  fclose(record);
}

// A playlist stream whose reading fails once its budget of bytes is read,
// and the real file behind it, for fileno.
struct FailingStream {
  FILE* file;
  long left;
};
FILE* failing_stream = nullptr;
FILE* file_behind = nullptr;

ssize_t read_failing(void* cookie, char* buffer, size_t size) {
  auto* stream = static_cast<FailingStream*>(cookie);
  if (stream->left <= 0) return errno = EIO, -1;
  size_t want = size < static_cast<size_t>(stream->left) ? size : stream->left;
  size_t got = fread(buffer, 1, want, stream->file);
  stream->left -= static_cast<long>(got);
  return static_cast<ssize_t>(got);
}

int close_failing(void* cookie) {
  auto* stream = static_cast<FailingStream*>(cookie);
  fclose(stream->file);
  delete stream;
  return 0;
}

// Changes the file open as fd, once, as fault says.
void change_source(int fd, int fault) {
  static bool changed = false;
  if (changed || (fault != kGrow && fault != kShrink)) return;
  changed = true;
  char path[64];
  snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  int file = open(path, O_WRONLY | O_APPEND);
  struct stat info;
  if (file < 0 || fstat(file, &info) != 0) return;
  if (fault == kGrow) {
    if (write(file, "more", 4) != 4) abort();
  } else if (ftruncate(file, info.st_size / 2) != 0) {
    abort();
  }
  close(file);
}

// True when an open with flags is to fail as one of another user's file.
bool refuses_noatime(int flags) { return (flags & O_NOATIME) && fault_for("open") == kNoAtime; }

}  // namespace

extern "C" {

int open(const char* path, int flags, ...) {
  va_list more;
  va_start(more, flags);
  mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(more, mode_t) : 0;
  va_end(more);
  if (refuses_noatime(flags)) return errno = EPERM, -1;
  return next<int (*)(const char*, int, ...)>("open")(path, flags, mode);
}

int openat(int folder, const char* path, int flags, ...) {
  va_list more;
  va_start(more, flags);
  mode_t mode = flags & (O_CREAT | O_TMPFILE) ? va_arg(more, mode_t) : 0;
  va_end(more);
  if (refuses_noatime(flags)) return errno = EPERM, -1;
  if (strcmp(path, ".") == 0 && fault_for("openat") == kNoFlush) return errno = EACCES, -1;
  return next<int (*)(int, const char*, int, ...)>("openat")(folder, path, flags, mode);
}
// A fortified build opens with these where the flags are not known while
// it compiles.
int __open_2(const char* path, int flags) { return open(path, flags); }
int __openat_2(int folder, const char* path, int flags) { return openat(folder, path, flags); }

FILE* fopen(const char* path, const char* mode) {
  auto real = next<FILE* (*)(const char*, const char*)>("fopen");
  long after = 0;
  size_t length = strlen(path);
  bool playlist = length > 4 && strcmp(path + length - 4, ".m3u") == 0;
  if (!playlist || fault_for("fopen", &after) == 0) return real(path, mode);
  FILE* file = real(path, mode);
  if (file == nullptr) return nullptr;
  cookie_io_functions_t calls = {read_failing, nullptr, nullptr, close_failing};
  failing_stream = fopencookie(new FailingStream{file, after}, mode, calls);
  file_behind = file;
  return failing_stream;
}

int fileno(FILE* stream) {
  return next<int (*)(FILE*)>("fileno")(stream == failing_stream ? file_behind : stream);
}

pid_t getpid() {
  if (fault_for("getpid") == kFixed) return 4242;
  return static_cast<pid_t>(syscall(SYS_getpid));
}

// fstat:short: a file open for writing only (a copy being made) reports a
// byte less than it was given, as a file system that kept less would.
int fstat(int fd, struct stat* info) {
  int result = next<int (*)(int, struct stat*)>("fstat")(fd, info);
  bool writing = (fcntl(fd, F_GETFL) & O_ACCMODE) == O_WRONLY;
  if (result == 0 && writing && S_ISREG(info->st_mode) && info->st_size > 0 &&
      fault_for("fstat") == kShort)
    --info->st_size;
  return result;
}

int fchmod(int fd, mode_t mode) {
  if (int error = fault_for("fchmod")) return errno = error, -1;
  return next<int (*)(int, mode_t)>("fchmod")(fd, mode);
}

int futimens(int fd, const struct timespec times[2]) {
  if (int error = fault_for("futimens")) return errno = error, -1;
  return next<int (*)(int, const struct timespec*)>("futimens")(fd, times);
}

ssize_t copy_file_range(int in, off64_t* in_offset, int out, off64_t* out_offset, size_t size,
                        unsigned flags) {
  note_first_write(out);
  int fault = fault_for("copy_file_range");
  change_source(in, fault);
  if (fault > 0) return errno = fault, -1;
  return next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range")(
      in, in_offset, out, out_offset, size, flags);
}

ssize_t sendfile(int out, int in, off_t* offset, size_t size) {
  note_first_write(out);
  int fault = fault_for("sendfile");
  if (fault > 0) return errno = fault, -1;
  change_source(in, fault);
  return next<ssize_t (*)(int, int, off_t*, size_t)>("sendfile")(out, in, offset, size);
}

int fdatasync(int fd) {
  if (int error = fault_for("fdatasync")) return errno = error, -1;
  int result = next<int (*)(int)>("fdatasync")(fd);
  if (result == 0) fstat(fd, &last_flushed);
  return result;
}

int sync_file_range(int fd, off64_t start, off64_t length, unsigned flags) {
  int fault = fault_for("sync_file_range");
  if (fault == kRecord) record_writeback(fd, start, length, flags);
  if (fault > 0) return errno = fault, -1;
  if (fault == kWaitFail && (flags & SYNC_FILE_RANGE_WAIT_AFTER)) return errno = EIO, -1;
  if (fault == kSlow && (flags & SYNC_FILE_RANGE_WAIT_AFTER)) usleep(100000);
  int result = next<int (*)(int, off64_t, off64_t, unsigned)>("sync_file_range")(fd, start, length,
                                                                                 flags);
  // A whole file written out and waited for is in order before a rename
  // where the file system keeps renames behind data.
  const unsigned kWhole = SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WRITE | SYNC_FILE_RANGE_WAIT_AFTER;
  if (result == 0 && start == 0 && length == 0 && flags == kWhole) fstat(fd, &last_flushed);
  return result;
}

void sync() {
  if (fault_for("sync") == kRecord) {
    FILE* record = fopen(getenv("LISKO_RECORD"), "a");
    if (record != nullptr) fputs("sync\n", record), fclose(record);
  }
  next<void (*)()>("sync")();
}

int syncfs(int fd) {
  int fault = fault_for("syncfs");
  if (fault == kLate && !was_open_at_first_write(fd)) return errno = EIO, -1;
  if (fault > 0) return errno = fault, -1;
  return next<int (*)(int)>("syncfs")(fd);
}

int close(int fd) {
  int result = next<int (*)(int)>("close")(fd);
  if (fd <= STDERR_FILENO || result != 0) return result;
  if (int error = fault_for("close")) return errno = error, -1;
  return result;
}

// Removes the file from in from_folder, then from_folder itself.
void remove_folder_of(int from_folder, const char* from) {
  unlinkat(from_folder, from, 0);
  char link[64];
  char folder[4096];
  snprintf(link, sizeof link, "/proc/self/fd/%d", from_folder);
  ssize_t length = readlink(link, folder, sizeof folder - 1);
  if (length <= 0) return;
  folder[length] = '\0';
  rmdir(folder);
}

// linkat:taken: another program makes the name just before the link.
void take_name(int folder, const char* name) {
  int file = next<int (*)(int, const char*, int, ...)>("openat")(folder, name,
                                                                 O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (file < 0) return;
  if (next<ssize_t (*)(int, const void*, size_t)>("write")(file, kTakenBy, strlen(kTakenBy)) < 0)
    abort();
  next<int (*)(int)>("close")(file);
}

int linkat(int from_folder, const char* from, int to_folder, const char* to, int flags) {
  int fault = fault_for("linkat");
  if (fault == kGone) remove_folder_of(to_folder, "");
  if (fault == kTaken) take_name(to_folder, to);
  if (fault == kNoEmpty && (flags & AT_EMPTY_PATH)) return errno = ENOENT, -1;
  if (fault > 0) return errno = fault, -1;
  return next<int (*)(int, const char*, int, const char*, int)>("linkat")(from_folder, from,
                                                                          to_folder, to, flags);
}

int renameat(int from_folder, const char* from, int to_folder, const char* to) {
  if (int error = fault_for("renameat"); error > 0) return errno = error, -1;
  if (fault_for("renameat") == kGone) remove_folder_of(from_folder, from);
  if (fault_for("renameat") == kStrict) {
    if (is_held_open(to_folder, to)) return errno = EBUSY, -1;
    if (must_be_flushed(to_folder, to) != was_flushed(from_folder, from)) return errno = EIO, -1;
  }
  return next<int (*)(int, const char*, int, const char*)>("renameat")(from_folder, from, to_folder,
                                                                       to);
}

// pread:scribble and :scribblesource: once a target (read with O_DIRECT)
// or a source being compared has been read, another program writes a byte
// into the part already read.
ssize_t pread(int fd, void* buffer, size_t size, off_t at) {
  static bool scribbled = false;
  static bool interrupted = false;
  if (fault_for("pread") == EINTR && !interrupted) {  // once, as a signal would
    interrupted = true;
    return errno = EINTR, -1;
  }
  int fault = fault_for("pread");
  if (fault > 0 && fault != EINTR) return errno = fault, -1;  // a source that cannot be read
  if (fault_for("read") == kSlow && (fcntl(fd, F_GETFL) & O_DIRECT) == 0) usleep(40000);
  ssize_t got = next<ssize_t (*)(int, void*, size_t, off_t)>("pread")(fd, buffer, size, at);
  if (got <= 0 || scribbled || (fault != kScribble && fault != kScribbleSource)) return got;
  if (((fcntl(fd, F_GETFL) & O_DIRECT) != 0) != (fault == kScribble)) return got;
  scribbled = true;
  char path[64];
  snprintf(path, sizeof path, "/proc/self/fd/%d", fd);
  int other = next<int (*)(const char*, int, ...)>("open")(path, O_WRONLY);
  if (other >= 0 && next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(other, "!", 1, at) != 1)
    scribbled = false;
  if (other >= 0) next<int (*)(int)>("close")(other);
  return got;
}
ssize_t pread64(int fd, void* buffer, size_t size, off_t at) { return pread(fd, buffer, size, at); }
// Where the compiler knows the buffer's size, a fortified build calls these.
ssize_t __pread_chk(int fd, void* buffer, size_t size, off_t at, size_t) {
  return pread(fd, buffer, size, at);
}
ssize_t __pread64_chk(int fd, void* buffer, size_t size, off_t at, size_t) {
  return pread(fd, buffer, size, at);
}

// stat:slow: each look at a file by name takes 50 ms more, as on a slow
// network file system, and stat:slower 300 ms; where LISKO_RECORD names a
// file, each is noted there.
int stat(const char* path, struct stat* info) {
  int fault = fault_for("stat");
  if (fault == kSlow || fault == kSlower) {
    usleep(fault == kSlow ? 50000 : 300000);
    if (FILE* record = getenv("LISKO_RECORD") != nullptr ? fopen(getenv("LISKO_RECORD"), "a") : nullptr)
      fputs("stat\n", record), fclose(record);
  }
  return next<int (*)(const char*, struct stat*)>("stat")(path, info);
}

ssize_t read(int fd, void* data, size_t size) {
  if (fd > STDERR_FILENO && fault_for("read") == kSlow) usleep(40000);
  return next<ssize_t (*)(int, void*, size_t)>("read")(fd, data, size);
}

// The faults of a write to a file, for write and pwrite alike. Returns
// the error the write is to fail with, or 0, with *size cut where it is to
// be short.
int write_fault(int fd, size_t* size) {
  long after = 0;
  note_first_write(fd);
  int fault = fd > STDERR_FILENO ? fault_for("write", &after) : 0;
  if (fault == kShort && *size > 7) *size = 7;
  if (fault == kSlow) usleep(10000);
  return fault > 0 && written + static_cast<long>(*size) > after ? fault : 0;
}

ssize_t write(int fd, const void* data, size_t size) {
  if (int error = write_fault(fd, &size)) return errno = error, -1;
  ssize_t put = next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
  if (put > 0 && fd > STDERR_FILENO) written += put;
  return put;
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t at) {
  if (int error = write_fault(fd, &size)) return errno = error, -1;
  ssize_t put = next<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite")(fd, data, size, at);
  if (put > 0) written += put;
  return put;
}
ssize_t pwrite64(int fd, const void* data, size_t size, off_t at) { return pwrite(fd, data, size, at); }
}
