// lisko's terminal on Windows: the C runtime's own start-up and stdio, and
// the console: names written as text, the progress note, a clean line
// when Ctrl+C ends the run, and the key a double click waits for.
//
// The console knows where its cursor stands: the note is written there,
// or where the row has too few columns left, at the start of the next row
// without moving the cursor, and blanks take it away.
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "name_rules.h"
#include "terminal.h"
#include "utf8.h"
#include "windows_console.h"
#include "windows_stop.h"

extern "C" {
// The C runtime splits the command line by the Windows rules and, with
// this, expands no wildcards: "*.m3u" names a file called *.m3u.
int _dowildcard = 0;
}

namespace {

bool on_console = false;  // standard output is a console

// The progress message open on the console: where its note goes, and how
// many columns the note shown there takes.
bool line_open = false;
bool next_row = false;
COORD note_at = {0, 0};
size_t note_shown = 0;

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

bool start_terminal() {
  // Binary, so that the messages' own "\r\n" is written as it stands.
  _setmode(_fileno(stdout), _O_BINARY);
  static char buffer[4096];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  // The C runtime buffers standard error too where it is no console: what
  // is said before the first copy would come after the last.
  setvbuf(stderr, nullptr, _IONBF, 0);
  on_console = _isatty(_fileno(stdout)) != 0;
  return on_console;
}

void finish_terminal() {
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

unsigned open_progress_line(unsigned, unsigned min_columns) {
  CONSOLE_SCREEN_BUFFER_INFO screen;
  fflush(stdout);
  line_open = true;
  note_shown = 0;
  if (!GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &screen)) return 0;
  unsigned width = static_cast<unsigned>(screen.dwSize.X);
  unsigned left = width - static_cast<unsigned>(screen.dwCursorPosition.X);
  next_row = left < min_columns;
  note_at = screen.dwCursorPosition;
  if (!next_row) return left - 1;
  // The next row, where the buffer has one: the cursor stays where it is.
  note_at = {0, static_cast<SHORT>(screen.dwCursorPosition.Y + 1)};
  return note_at.Y < screen.dwSize.Y ? width - 1 : 0;
}

// The note is written over what the last one took, blanks filling the
// rest; beside the cursor, the cursor is put back.
void show_note(const char* note) {
  HANDLE console = GetStdHandle(STD_OUTPUT_HANDLE);
  CONSOLE_SCREEN_BUFFER_INFO screen;
  fflush(stdout);
  if (!GetConsoleScreenBufferInfo(console, &screen)) return;
  char text[128];
  size_t length = strlen(note);
  snprintf(text, sizeof text, "%-*s", static_cast<int>(length > note_shown ? length : note_shown),
           note);
  DWORD written = 0;
  if (next_row) {
    WriteConsoleOutputCharacterA(console, text, static_cast<DWORD>(strlen(text)), note_at, &written);
  } else {
    WriteConsoleA(console, text, static_cast<DWORD>(strlen(text)), &written, nullptr);
    SetConsoleCursorPosition(console, screen.dwCursorPosition);
  }
  note_shown = length;
}

void close_progress_line() { line_open = false; }

void end_line_on_stop() {
  if (!line_open) return;
  if (note_shown > 0) show_note("");
  line_open = false;
  if (on_console) write_to_terminal("\r\n");
}
