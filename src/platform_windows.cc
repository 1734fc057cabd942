// lisko's platform layer on Windows: the C runtime's own start-up and text
// stream, and CopyFileA.
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "platform.h"

// The C runtime splits the command line by the Windows rules and, with
// this, expands no wildcards: "*.m3u" names a file called *.m3u.
extern "C" {
int _dowildcard = 0;
}

// Standard output is a text stream, which itself writes each "\n" as CR LF.
const char kOutputLineEnd[] = "\n";

bool start_output() { return _isatty(_fileno(stdout)) != 0; }

// fopen shares the file for reading and writing and fails on a folder.
FILE* open_playlist(const char* m3u_file) { return fopen(m3u_file, "rb"); }

bool copy_file(const char* existing, const char* target, char* why, size_t why_size) {
  if (CopyFileA(existing, target, FALSE)) return true;
  DWORD error = GetLastError();
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, why, static_cast<DWORD>(why_size), nullptr);
  if (length == 0) {
    snprintf(why, why_size, "error %lu", static_cast<unsigned long>(error));
    return false;
  }
  while (length > 0 && (why[length - 1] == '\n' || why[length - 1] == '\r')) why[--length] = '\0';
  return false;
}
