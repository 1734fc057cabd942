// lisko's platform layer on Windows: the C runtime's own start-up and
// stdio, and CopyFileA, which copies a file and replaces the target.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform.h"

// The C runtime splits the command line by the Windows rules and, with
// this, expands no wildcards: "*.m3u" names a file called *.m3u.
extern "C" {
int _dowildcard = 0;
}

// Windows reads "/" as a separator too, but the name part follows the last
// backslash; one that still holds a "/" or a ":" (a folder, a drive or a
// stream) is no file name.
const char kFolderSeparators[] = "\\";
const char kNotInFileNames[] = "/:";

bool start_platform() {
  // Binary, so that the messages' own "\r\n" is written as it stands.
  _setmode(_fileno(stdout), _O_BINARY);
  static char buffer[4096];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  return _isatty(_fileno(stdout)) != 0;
}

// fopen shares the file for reading and writing and fails on a folder.
FILE* open_playlist(const char* m3u_file) { return fopen(m3u_file, "rb"); }

const char* copy_file(const char* source, const char* target) {
  if (CopyFileA(source, target, FALSE)) return nullptr;
  static char why[512];
  DWORD error = GetLastError();
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, why, sizeof why, nullptr);
  if (length == 0) {
    snprintf(why, sizeof why, "error %lu", static_cast<unsigned long>(error));
    return why;
  }
  while (length > 0 && (why[length - 1] == '\n' || why[length - 1] == '\r')) why[--length] = '\0';
  return why;
}

// Windows writes through to removable drives by default: a stick holds
// each copy once CopyFileA has returned.
const char* flush_copies() { return nullptr; }
