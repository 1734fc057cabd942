// The Windows console layer, driven directly: a program of its own, built
// with the Windows programs and run by the native suite under Wine on a
// pseudo-terminal, which Wine makes a console. Each row writes a progress
// message that leaves so many columns of its row, shows notes, and reads
// the console's cells back: where the note stands, that taking it away
// leaves the row as it was, and the line a stop ends; and it starts itself
// again, to be told as the parent and to finish as lisko.exe finishes
// under a program named explorer.exe, on the same console. Where a row fails,
// it says so in the file named as the argument; the status is the count.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "file_system.h"
#include "note.h"
#include "terminal.h"
#include "windows_console.h"
#include "windows_copy.h"
#include "windows_stop.h"

namespace {

FILE* report = nullptr;
int failures = 0;

void check(bool holds, const std::string& what) {
  if (holds) return;
  ++failures;
  fprintf(report, "FAILED: %s\n", what.c_str());
}

HANDLE console() { return GetStdHandle(STD_OUTPUT_HANDLE); }

CONSOLE_SCREEN_BUFFER_INFO screen() {
  CONSOLE_SCREEN_BUFFER_INFO info = {};
  GetConsoleScreenBufferInfo(console(), &info);
  return info;
}

// The characters of the console's row y, from its column x on, count of them.
std::string cells(SHORT y, SHORT x, int count) {
  char text[512] = "";
  DWORD read = 0;
  ReadConsoleOutputCharacterA(console(), text, static_cast<DWORD>(count), {x, y}, &read);
  return std::string(text, read);
}

// Starts a fresh row at the top of a cleared buffer, and writes a progress
// message that leaves left columns of it.
COORD open_message(int left) {
  int width = screen().dwSize.X;
  DWORD written = 0;
  FillConsoleOutputCharacterA(console(), ' ', static_cast<DWORD>(width * screen().dwSize.Y), {0, 0},
                              &written);
  SetConsoleCursorPosition(console(), {0, 0});
  std::string message(static_cast<size_t>(width - left - 3), 'm');
  write_to_terminal((message + "...").c_str());
  return screen().dwCursorPosition;
}

// The note beside the message, or at the start of the next row where
// fewer columns than a note needs are left; shown, made shorter, taken
// away.
void note_goes_where_the_row_has_room(int left) {
  int width = screen().dwSize.X;
  COORD end = open_message(left);
  unsigned columns = open_progress_line(static_cast<unsigned>(width - left), kNoteColumns);
  bool beside = left >= static_cast<int>(kNoteColumns);
  std::string row = std::to_string(left) + " columns left: ";
  check(columns == static_cast<unsigned>(beside ? left - 1 : width - 1), row + "the note's columns");
  COORD at = beside ? end : COORD{0, static_cast<SHORT>(end.Y + 1)};
  show_note(" 37% 9 MB");
  check(cells(at.Y, at.X, 9) == " 37% 9 MB", row + "the note, where it goes");
  COORD cursor = screen().dwCursorPosition;
  check(cursor.X == end.X && cursor.Y == end.Y, row + "the cursor stays where the message ends");
  show_note(" 38%");
  check(cells(at.Y, at.X, 9) == " 38%     ", row + "a shorter note leaves no trace of the longer");
  show_note("");
  check(cells(at.Y, at.X, 9) == std::string(9, ' '), row + "the note taken away");
  check(cells(0, 0, width - left) == std::string(static_cast<size_t>(width - left - 3), 'm') + "...",
        row + "the message as it was");
  close_progress_line();
}

// A stop with a note shown takes the note away and ends the line.
void stop_ends_the_line() {
  COORD end = open_message(20);
  open_progress_line(static_cast<unsigned>(screen().dwSize.X - 20), kNoteColumns);
  show_note(" 50%");
  end_line_on_stop();
  check(cells(end.Y, end.X, 4) == "    ", "a stop: the note taken away");
  COORD cursor = screen().dwCursorPosition;
  check(cursor.X == 0 && cursor.Y == end.Y + 1, "a stop: the line ended");
  end_line_on_stop();
  check(screen().dwCursorPosition.Y == end.Y + 1, "a second stop ends no line more");
}

unsigned long long reported_done = 0, reported_total = 0;
void remember(unsigned long long done, unsigned long long total) {
  reported_done = done;
  reported_total = total;
}

// CopyFileEx's progress routine reports how far the copy is, and cancels
// it where a stop was asked for.
void progress_routine_reports_and_cancels() {
  report_copy_progress(remember);
  LARGE_INTEGER total, done, none = {};
  total.QuadPart = 1000;
  done.QuadPart = 400;
  DWORD going = on_progress(total, done, none, none, 1, CALLBACK_CHUNK_FINISHED, nullptr, nullptr,
                            nullptr);
  check(going == PROGRESS_CONTINUE && reported_done == 400 && reported_total == 1000,
        "the progress routine reports, and the copy goes on");
  *copy_cancel_flag() = TRUE;
  reported_done = 0;
  DWORD stopped = on_progress(total, done, none, none, 1, CALLBACK_CHUNK_FINISHED, nullptr, nullptr,
                              nullptr);
  check(stopped == PROGRESS_CANCEL && reported_done == 0, "a stop asked for cancels the copy");
  *copy_cancel_flag() = FALSE;
}

// Runs command to its end, within the time given (it is ended after it):
// its status, or 1 where it did not start or end.
DWORD run_program(wchar_t* command, DWORD milliseconds) {
  STARTUPINFOW start = {};
  start.cb = sizeof start;
  PROCESS_INFORMATION child = {};
  DWORD status = 1;
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start, &child))
    return status;
  if (WaitForSingleObject(child.hProcess, milliseconds) != WAIT_OBJECT_0) TerminateProcess(child.hProcess, 1);
  WaitForSingleObject(child.hProcess, INFINITE);
  GetExitCodeProcess(child.hProcess, &status);
  CloseHandle(child.hProcess);
  CloseHandle(child.hThread);
  return status;
}

// This program, started again by itself, names it as the program that
// started it: what tells a double click (explorer.exe) from a console.
void parent_is_told() {
  wchar_t self[MAX_PATH], command[2 * MAX_PATH + 32];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  swprintf(command, sizeof command / sizeof command[0], L"\"%ls\" --parent parent.txt", self);
  DWORD status = run_program(command, 20000);
  wchar_t told[MAX_PATH] = L"";
  if (FILE* file = _wfopen(L"parent.txt", L"rb")) {
    told[fread(told, sizeof told[0], MAX_PATH - 1, file)] = L'\0';
    fclose(file);
  }
  check(status == 0 && _wcsicmp(told, L"terminal_windows_test.exe") == 0,
        "the program that started this one is told");
}

// A program that shares its console awaits no key at its end, even where
// explorer.exe started it: the console is not one a double click opened
// for it. This program, copied as explorer.exe, starts it again on this
// console to finish as lisko.exe finishes; a wait would hold it to the end
// of its time.
void a_shared_console_awaits_no_key() {
  wchar_t self[MAX_PATH], explorer[MAX_PATH], command[3 * MAX_PATH + 32];
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  GetFullPathNameW(L"explorer.exe", MAX_PATH, explorer, nullptr);
  CopyFileW(self, explorer, FALSE);
  swprintf(command, sizeof command / sizeof command[0], L"\"%ls\" --explorer \"%ls\"", explorer, self);
  check(run_program(command, 35000) == 0, "started by explorer.exe on a shared console, no key is awaited");
}

// As explorer.exe: starts the program given to finish as lisko.exe does.
int start_to_finish(const char* program) {
  wchar_t command[2 * MAX_PATH + 32];
  swprintf(command, sizeof command / sizeof command[0], L"\"%hs\" --finish", program);
  return static_cast<int>(run_program(command, 25000));
}

// As the child of parent_is_told: writes the name of its parent to name.
int tell_parent(const char* name) {
  wchar_t parent[MAX_PATH];
  parent_program(parent);
  FILE* file = fopen(name, "wb");
  if (file == nullptr) return 1;
  fwrite(parent, sizeof parent[0], wcslen(parent), file);
  return fclose(file) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char* argv[]) {
  if (argc == 3 && strcmp(argv[1], "--parent") == 0) return tell_parent(argv[2]);
  if (argc == 3 && strcmp(argv[1], "--explorer") == 0) return start_to_finish(argv[2]);
  if (argc == 2 && strcmp(argv[1], "--finish") == 0) {
    start_terminal();
    finish_terminal();
    return 0;
  }
  report = argc > 1 ? fopen(argv[1], "wb") : stderr;
  if (report == nullptr) return 100;
  check(start_terminal(), "standard output is a console");
  for (int left : {40, 20, 6, 5, 4, 2, 1})
    note_goes_where_the_row_has_room(left);
  stop_ends_the_line();
  progress_routine_reports_and_cancels();
  parent_is_told();
  a_shared_console_awaits_no_key();
  fprintf(report, "%d failed\n", failures);
  fclose(report);
  return failures;
}
