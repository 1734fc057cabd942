// A library for the fault tests, preloaded into the program under test
// (LD_PRELOAD), that makes chosen system calls fail as a failing medium or
// kernel would. LISKO_FAULTS lists them, separated by commas:
//
//   fchmod:EPERM  futimens:EPERM  copy_file_range:ENOSYS  sendfile:EINVAL
//   fdatasync:EIO  write:short  write:ENOSPC:65536
//
// A call named with an error fails with it, every time. "write:short"
// makes each write to a file (not to standard output or error) take at
// most 7 bytes; "write:ENOSPC:N" fails such writes once N bytes are
// written. Every other call goes through to the C library.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

struct Error {
  const char* name;
  int number;
};
const Error kErrors[] = {{"EPERM", EPERM},    {"ENOSYS", ENOSYS}, {"EINVAL", EINVAL},
                         {"EXDEV", EXDEV},    {"EIO", EIO},       {"ENOSPC", ENOSPC},
                         {"ENOTSUP", ENOTSUP}};

// The error that call is to fail with, or 0. Sets *after to the bytes
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
      if (strncmp(what, "short", 5) == 0) return -1;
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

}  // namespace

extern "C" {

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
  if (int error = fault_for("copy_file_range")) return errno = error, -1;
  return next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range")(
      in, in_offset, out, out_offset, size, flags);
}

ssize_t sendfile(int out, int in, off_t* offset, size_t size) {
  if (int error = fault_for("sendfile")) return errno = error, -1;
  return next<ssize_t (*)(int, int, off_t*, size_t)>("sendfile")(out, in, offset, size);
}

int fdatasync(int fd) {
  if (int error = fault_for("fdatasync")) return errno = error, -1;
  return next<int (*)(int)>("fdatasync")(fd);
}

ssize_t write(int fd, const void* data, size_t size) {
  long after = 0;
  int fault = fd > STDERR_FILENO ? fault_for("write", &after) : 0;
  if (fault == -1 && size > 7) size = 7;
  if (fault > 0 && written + static_cast<long>(size) > after) return errno = fault, -1;
  ssize_t put = next<ssize_t (*)(int, const void*, size_t)>("write")(fd, data, size);
  if (put > 0 && fd > STDERR_FILENO) written += put;
  return put;
}
}
