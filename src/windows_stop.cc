// Ctrl+C, Ctrl+Break and the console's closing on Windows. The console's
// control handler runs on a thread of its own, while the copy goes on in
// CopyFileEx: the handler sets the copy's cancel flag, which CopyFileEx
// reads between its pieces, and waits; the copy then removes its temporary
// file and ends the process. Outside a copy the handler ends the process
// at once, as Windows' own handler would. Either way the console's line is
// ended first, its progress note taken away. Only under Wine, whose
// CopyFileEx reads no cancel flag, the handler also closes CopyFileEx's
// own handle on the temporary file: its next write fails, and the copy
// ends as it would on Windows.
#include "windows_stop.h"

#include "terminal.h"

namespace {

const UINT kStopped = 0xC000013A;  // the status of a console program ended by Ctrl+C

// The temporary file of the copy under way, which the handler must leave to
// the copy: the copy holds it open, and it cannot be removed before the
// copy ends.
CRITICAL_SECTION temp_guard;
wchar_t temp_name[kPathSize];
bool temp_in_use = false;  // guarded, as is stop_asked
bool stop_asked = false;
BOOL cancel = FALSE;

bool is_same_file(const BY_HANDLE_FILE_INFORMATION& one, const BY_HANDLE_FILE_INFORMATION& other) {
  return one.dwVolumeSerialNumber == other.dwVolumeSerialNumber &&
         one.nFileIndexHigh == other.nFileIndexHigh && one.nFileIndexLow == other.nFileIndexLow;
}

// Closes the handle of this process on the file name, as a copy that does
// not read the cancel flag holds it: the first one found, among the small
// values a process's handles take.
void close_handle_on(const wchar_t* name) {
  HANDLE file = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  BY_HANDLE_FILE_INFORMATION wanted;
  BOOL known = file != INVALID_HANDLE_VALUE && GetFileInformationByHandle(file, &wanted);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  // A process's handles are small multiples of four.
  for (ULONG_PTR value = 4; known && value < 0x4000; value += 4) {
    HANDLE handle = reinterpret_cast<HANDLE>(value);
    BY_HANDLE_FILE_INFORMATION info;
    if (GetFileType(handle) != FILE_TYPE_DISK || !GetFileInformationByHandle(handle, &info) ||
        !is_same_file(info, wanted))
      continue;
    CloseHandle(handle);
    return;
  }
}

BOOL WINAPI stop_on_control(DWORD) {
  EnterCriticalSection(&temp_guard);
  stop_asked = true;
  cancel = TRUE;
  bool copying = temp_in_use;
  if (copying && under_wine()) close_handle_on(temp_name);
  LeaveCriticalSection(&temp_guard);
  if (!copying) {  // nothing of ours to remove
    end_line_on_stop();
    ExitProcess(kStopped);
  }
  Sleep(INFINITE);  // the copy removes its file and ends the process
  return TRUE;
}

}  // namespace

bool under_wine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void start_stop_handler() {
  InitializeCriticalSection(&temp_guard);
  SetConsoleCtrlHandler(stop_on_control, TRUE);
}

wchar_t* temp_file_name() { return temp_name; }

bool claim_temp() {
  EnterCriticalSection(&temp_guard);
  temp_in_use = !stop_asked;
  bool claimed = temp_in_use;
  LeaveCriticalSection(&temp_guard);
  return claimed;
}

void release_temp(bool remove) {
  EnterCriticalSection(&temp_guard);
  if (remove || stop_asked) DeleteFileW(temp_name);
  temp_in_use = false;
  LeaveCriticalSection(&temp_guard);
}

BOOL* copy_cancel_flag() { return &cancel; }

bool stop_was_asked() {
  EnterCriticalSection(&temp_guard);
  bool stop = stop_asked;
  LeaveCriticalSection(&temp_guard);
  return stop;
}

void end_if_stopped() {
  if (!stop_was_asked()) return;
  end_line_on_stop();
  ExitProcess(kStopped);
}
