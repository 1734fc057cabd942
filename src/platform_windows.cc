// lisko's platform layer on Windows: the C runtime's own start-up and
// stdio, the console, and the playlist's opening. The copy of one file is
// windows_copy.cc's; how names are read is name_rules_windows.cc's.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform.h"
#include "utf8.h"
#include "windows_copy.h"
#include "windows_names.h"
#include "windows_stop.h"

extern "C" {
// The C runtime splits the command line by the Windows rules and, with
// this, expands no wildcards: "*.m3u" names a file called *.m3u.
int _dowildcard = 0;
}

namespace {

bool on_console = false;  // standard output is a console

// The name of the program that started lisko, into name; "" where unknown.
void parent_program(wchar_t (&name)[MAX_PATH]) {
  name[0] = L'\0';
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return;
  PROCESSENTRY32W entry;
  entry.dwSize = sizeof entry;
  DWORD parent = 0;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  for (BOOL more = Process32FirstW(snapshot, &entry); more && parent != 0;
       more = Process32NextW(snapshot, &entry))
    if (entry.th32ProcessID == parent) wcscpy(name, entry.szExeFile);  // both MAX_PATH
  CloseHandle(snapshot);
}

// True when lisko was started by a double click: Explorer started it, in a
// console window of its own, which closes as lisko ends. Under Wine, and
// when another program started it, that is never so.
bool started_by_double_click() {
  DWORD processes[2];
  if (!on_console || GetConsoleProcessList(processes, 2) != 1 || under_wine()) return false;
  wchar_t parent[MAX_PATH];
  parent_program(parent);
  return _wcsicmp(parent, L"explorer.exe") == 0;
}

// Waits until a key is pressed at the console.
void wait_for_a_key() {
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  FlushConsoleInputBuffer(input);
  INPUT_RECORD record;
  DWORD got = 0;
  while (ReadConsoleInputW(input, &record, 1, &got) && got == 1)
    if (record.EventType == KEY_EVENT && record.Event.KeyEvent.bKeyDown) return;
}

}  // namespace

bool start_platform() {
  start_copies();
  // Binary, so that the messages' own "\r\n" is written as it stands.
  _setmode(_fileno(stdout), _O_BINARY);
  static char buffer[4096];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  on_console = _isatty(_fileno(stdout)) != 0;
  return on_console;
}

void finish_platform() {
  if (!started_by_double_click()) return;
  fflush(stdout);
  write_to_terminal("\r\nPress any key to close this window.");
  wait_for_a_key();
}

// The console shows text in its own code page, which is neither UTF-8 nor,
// as a rule, the ANSI code page: names reach it as UTF-16.
void write_to_terminal(const char* text) {
  fflush(stdout);  // the messages around the name, in order
  wchar_t wide[2 * kPathSize];
  UINT code_page = is_utf8(text) ? CP_UTF8 : CP_ACP;
  int length = MultiByteToWideChar(code_page, 0, text, -1, wide, 2 * kPathSize);
  DWORD written = 0;
  if (length > 1)
    WriteConsoleW(GetStdHandle(STD_OUTPUT_HANDLE), wide, static_cast<DWORD>(length - 1), &written,
                  nullptr);
}

double seconds_now() { return static_cast<double>(GetTickCount64()) / 1000; }

bool errors_to_terminal() { return _isatty(_fileno(stderr)) != 0; }

// The console knows where its cursor stands.
unsigned terminal_columns_left(unsigned) {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  fflush(stdout);
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &screen)) return 0;
  return static_cast<unsigned>(screen.dwSize.X - screen.dwCursorPosition.X);
}

// The note is written over what the last one took, blanks filling the
// rest, and the cursor put back.
void show_beside_cursor(const char* note) {
  static size_t shown = 0;
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO screen;
  fflush(stdout);
  if (!GetConsoleScreenBufferInfo(console, &screen)) return;
  char text[128];
  size_t length = strlen(note);
  snprintf(text, sizeof text, "%-*s", static_cast<int>(length > shown ? length : shown), note);
  DWORD written = 0;
  WriteConsoleA(console, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
  SetConsoleCursorPosition(console, screen.dwCursorPosition);
  shown = length;
}

// fopen shares the file for reading and writing and fails on a folder.
FILE* open_playlist(const char* m3u_file, const char** why) {
  FILE* playlist = fopen(m3u_file, "rb");
  DWORD attributes = GetFileAttributesA(m3u_file);
  bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  *why = playlist != nullptr ? nullptr : folder ? "is a folder" : strerror(errno);
  return playlist;
}

// A bare drive ("E:") names the current folder of that drive, which its
// copies land in: they go into it, not beside it.
bool dest_is_folder() {
  const char* dest = dest_in(kCodePage);
  size_t length = strlen(dest);
  wchar_t wide[kPathSize];
  if (length == 0 || dest[length - 1] == ':' || !to_wide_target(dest, kCodePage, wide))
    return false;
  DWORD attributes = GetFileAttributesW(wide);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

DestFolder look_at_dest_folder() {
  DestFolder found = {false, false, 0};
  wchar_t folder[kPathSize];
  if (!to_wide_target(dest_in(kCodePage), kCodePage, folder)) return found;
  size_t end = wcslen(folder);  // after dest's last separator, or its drive's colon
  while (end > 0 && folder[end - 1] != L'\\' && folder[end - 1] != L'/' &&
         !(end == 2 && folder[1] == L':'))
    --end;
  if (end == 0)
    wcscpy(folder, L".");
  else if (folder[end - 1] == L':')
    wcscpy(folder + end, L".");  // "E:" names the current folder of drive E; fits
  else
    folder[end] = L'\0';
  DWORD attributes = GetFileAttributesW(folder);
  found.exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  ULARGE_INTEGER free_bytes;
  ULARGE_INTEGER total_bytes;
  // A medium of no size at all tells nothing of its room.
  found.free_known = found.exists && GetDiskFreeSpaceExW(folder, &free_bytes, &total_bytes, nullptr) &&
                     total_bytes.QuadPart > 0;
  if (found.free_known) found.free_bytes = free_bytes.QuadPart;
  return found;
}

bool regular_file_size(const char* name, NameCode code, unsigned long long* size) {
  wchar_t wide[kPathSize];
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!to_wide(name, code, wide, kPathSize) ||
      !GetFileAttributesExW(wide, GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return false;
  *size = static_cast<unsigned long long>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  return true;
}

// A name whose bytes are UTF-8 is looked for as such too: the code page
// read it, as it names nothing from the current folder.
bool file_exists(const char* name, NameCode code) {
  wchar_t wide[kPathSize];
  if (to_wide(name, code, wide, kPathSize) && GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES)
    return true;
  return code == kCodePage && is_utf8(name) && file_exists(name, kUtf8);
}

bool one_name_in_any_case(const char*, NameCode) { return false; }

bool full_folder_of(const char* file, char (&folder)[kPathSize]) {
  char* name_part = nullptr;
  DWORD length = GetFullPathNameA(file, kPathSize, folder, &name_part);
  if (length == 0 || length >= kPathSize || name_part == nullptr) return false;
  *name_part = '\0';
  size_t kept = strlen(folder);
  if (kept > 3 && folder[kept - 1] == '\\') folder[kept - 1] = '\0';  // C:\ stays
  return true;
}
