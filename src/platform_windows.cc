// lisko's platform layer on Windows: the C runtime's own start-up and
// stdio, and CopyFileA or CopyFileW, which copy a file and replace the
// target.
//
// A playlist's names are bytes in an encoding it does not state. Most
// playlists written today are UTF-8, which the ANSI calls cannot read: a
// line whose bytes are UTF-8 beyond plain ASCII, and that names an existing
// file when read so, is read in UTF-8. Every other line is read in the ANSI
// code page, as before: a line of code-page bytes can be valid UTF-8 by
// chance, and then names no file. In the code page the name part is found
// character by character, since the second byte of a double-byte character
// may be a backslash.
//
// A line read in the code page goes to CopyFileA as it stands where dest is
// exact in the code page too; otherwise both names are put in UTF-16 for
// CopyFileW. dest's UTF-16 form comes from the wide command line, so that a
// folder the code page cannot spell is reached as well.
//
// A copy never touches the target until the new content is complete:
// CopyFileA replaces a file by emptying it and writing into it, so a copy
// that failed partway (a full stick) would lose the old file. Instead:
//
//   1. Refuse a target that CopyFileA would refuse (a folder, a read-only
//      or hidden file) and the source itself.
//   2. Copy to a temporary file of lisko's own in the target's folder,
//      .lisko-PID-N.tmp, which CopyFileA creates.
//   3. When the target holds data, put the new data on the medium
//      (FlushFileBuffers), so that after a crash the target is the old file
//      or the new one.
//   4. Move the temporary file over the target in one step.
//
// A failure at any step removes the temporary file. Ctrl+C, Ctrl+Break and
// the console's closing are handled on a thread of their own: while a copy
// runs, the handler waits, and once CopyFileA returns the copy removes its
// temporary file, without putting it in place, and ends the process.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "lisko.h"
#include "names.h"
#include "platform.h"

extern "C" {
// The C runtime splits the command line by the Windows rules and, with
// this, expands no wildcards: "*.m3u" names a file called *.m3u.
int _dowildcard = 0;
// The runtime's split of the wide command line, by the same rules.
int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand, int* start_info);
}

namespace {

// dest as the command line gave it: in the code page (the run's argv[2]),
// in UTF-16 as it was typed, and in UTF-8 for the lines read in UTF-8.
const char* code_page_dest = "";
wchar_t wide_dest[kPathSize];
char utf8_dest[kDestSize];
bool dest_is_exact = true;  // the code page spells dest as it was typed

// Puts text, read in code, into wide as UTF-16. Returns false when it does
// not fit, or (in UTF-8) is not UTF-8.
bool to_wide(const char* text, NameCode code, wchar_t* wide, int size) {
  UINT code_page = code == kUtf8 ? CP_UTF8 : CP_ACP;
  DWORD flags = code == kUtf8 ? MB_ERR_INVALID_CHARS : 0;
  return MultiByteToWideChar(code_page, flags, text, -1, wide, size) > 0;
}

// target, which begins with dest_in(code), in UTF-16: dest as it was typed,
// then the name part.
bool to_wide_target(const char* target, NameCode code, wchar_t (&wide)[kPathSize]) {
  if (code == kUtf8) return to_wide(target, kUtf8, wide, kPathSize);
  size_t dest_length = wcslen(wide_dest);
  wcscpy(wide, wide_dest);
  return to_wide(target + strlen(code_page_dest), kCodePage, wide + dest_length,
                 static_cast<int>(kPathSize - dest_length));
}

// The system's description of error, without its line end.
const char* error_text(DWORD error) {
  static char why[512];
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                error, 0, why, sizeof why, nullptr);
  if (length == 0) {
    snprintf(why, sizeof why, "error %lu", static_cast<unsigned long>(error));
    return why;
  }
  while (length > 0 && (why[length - 1] == '\n' || why[length - 1] == '\r')) why[--length] = '\0';
  return why;
}

// True when name, up to a dot and the blanks before it, is a device's:
// Windows opens the device for it in every folder.
bool is_device_name(const char* name) {
  size_t base = strcspn(name, ".");
  while (base > 0 && name[base - 1] == ' ') --base;
  static const char* const devices[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$"};
  for (const char* device : devices)
    if (base == strlen(device) && _strnicmp(name, device, base) == 0) return true;
  bool numbered = _strnicmp(name, "COM", 3) == 0 || _strnicmp(name, "LPT", 3) == 0;
  return base == 4 && numbered && isdigit(static_cast<unsigned char>(name[3]));
}

}  // namespace

// The temporary file of the copy under way, which the console's control
// handler must leave to the copy: the copy holds it open, and it cannot be
// removed before the copy ends.
CRITICAL_SECTION temp_guard;
wchar_t temp_name[kPathSize];
bool temp_in_use = false;  // guarded, as is stop_asked
bool stop_asked = false;
const UINT kStopped = 0xC000013A;  // the status of a console program ended by Ctrl+C

BOOL WINAPI stop_on_control(DWORD) {
  EnterCriticalSection(&temp_guard);
  stop_asked = true;
  bool copying = temp_in_use;
  LeaveCriticalSection(&temp_guard);
  if (!copying) return FALSE;  // nothing of ours to remove: end the process now
  Sleep(INFINITE);             // the copy removes its file and ends the process
  return TRUE;
}

// Marks temp_name as the copy's own. A stop asked for earlier ends the
// process here, before the file is made.
void claim_temp() {
  EnterCriticalSection(&temp_guard);
  bool stop = stop_asked;
  temp_in_use = !stop;
  LeaveCriticalSection(&temp_guard);
  if (stop) ExitProcess(kStopped);
}

// Ends the copy's use of temp_name, removing the file where remove says or
// a stop was asked for meanwhile; such a stop then ends the process.
void release_temp(bool remove) {
  EnterCriticalSection(&temp_guard);
  if (remove || stop_asked) DeleteFileW(temp_name);
  temp_in_use = false;
  bool stop = stop_asked;
  LeaveCriticalSection(&temp_guard);
  if (stop) ExitProcess(kStopped);
}

bool stop_was_asked() {
  EnterCriticalSection(&temp_guard);
  bool stop = stop_asked;
  LeaveCriticalSection(&temp_guard);
  return stop;
}

// Names the temporary file number n in the folder of target (up to its last
// separator, or a drive's colon). Returns false when the name does not fit.
bool name_temp(const wchar_t* target, unsigned n) {
  size_t folder = 0;
  for (size_t i = 0; target[i] != L'\0'; ++i)
    if (target[i] == L'\\' || target[i] == L'/' || (i == 1 && target[i] == L':')) folder = i + 1;
  wcsncpy(temp_name, target, folder);
  int written = _snwprintf(temp_name + folder, kPathSize - folder, L".lisko-%lu-%u.tmp",
                           GetCurrentProcessId(), n);
  return written >= 0 && folder + written < kPathSize;
}

// Copies to temp_name, by CopyFileA from source where it is given, else by
// CopyFileW from wide_source, never over a file that is there.
BOOL copy_to_temp_name(const char* source, const wchar_t* wide_source) {
  char code_page_name[kPathSize];
  BOOL inexact = FALSE;
  if (source != nullptr &&
      WideCharToMultiByte(CP_ACP, 0, temp_name, -1, code_page_name, sizeof code_page_name, nullptr,
                          &inexact) > 0 &&
      !inexact)
    return CopyFileA(source, code_page_name, TRUE);
  return CopyFileW(wide_source, temp_name, TRUE);
}

// Copies to a temporary file of the copy's own in target's folder, passing
// by the names another process holds. On failure nothing is left.
BOOL copy_to_temp(const char* source, const wchar_t* wide_source, const wchar_t* target) {
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (!name_temp(target, counter++)) {
      SetLastError(ERROR_FILENAME_EXCED_RANGE);
      return FALSE;
    }
    claim_temp();
    if (copy_to_temp_name(source, wide_source)) return TRUE;
    DWORD error = GetLastError();
    bool taken = error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS;
    release_temp(!taken);
    SetLastError(error);
    if (!taken) return FALSE;
  }
  return FALSE;
}

// Puts the temporary file's data on the medium. A copy of a read-only
// source is read-only: it is made writable for the flush only.
BOOL flush_temp() {
  DWORD attributes = GetFileAttributesW(temp_name);
  bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (read_only) SetFileAttributesW(temp_name, attributes & ~FILE_ATTRIBUTE_READONLY);
  HANDLE file = CreateFileW(temp_name, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  BOOL flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
  DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (read_only) SetFileAttributesW(temp_name, attributes);
  SetLastError(error);
  return flushed;
}

// True when the two names name one file.
bool is_same_file(const wchar_t* one, const wchar_t* other) {
  BY_HANDLE_FILE_INFORMATION info[2] = {};
  const wchar_t* names[2] = {one, other};
  for (int i = 0; i < 2; ++i) {
    HANDLE file = CreateFileW(names[i], 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    BOOL got = GetFileInformationByHandle(file, &info[i]);
    CloseHandle(file);
    if (!got) return false;
  }
  return info[0].dwVolumeSerialNumber == info[1].dwVolumeSerialNumber &&
         info[0].nFileIndexHigh == info[1].nFileIndexHigh &&
         info[0].nFileIndexLow == info[1].nFileIndexLow;
}

// Why a copy to target must not be made, or 0: CopyFileA refuses a folder
// and a read-only or hidden file, and the source itself gains nothing.
// Sets *target_size to the size of a file at the target, or 0.
DWORD refusal(const wchar_t* source, const wchar_t* target, ULONGLONG* target_size) {
  WIN32_FILE_ATTRIBUTE_DATA existing;
  *target_size = 0;
  if (!GetFileAttributesExW(target, GetFileExInfoStandard, &existing)) return 0;
  const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  if (existing.dwFileAttributes & refused) return ERROR_ACCESS_DENIED;
  if (is_same_file(source, target)) return ERROR_SHARING_VIOLATION;
  *target_size = static_cast<ULONGLONG>(existing.nFileSizeHigh) << 32 | existing.nFileSizeLow;
  return 0;
}

// What tells a source's state: its file, size and last write. A copy made
// while another program wrote the source is no copy of any one state.
struct SourceState {
  BY_HANDLE_FILE_INFORMATION info;
};

bool take_source_state(const wchar_t* source, SourceState* state) {
  HANDLE file = CreateFileW(source, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL got = GetFileInformationByHandle(file, &state->info);
  CloseHandle(file);
  return got != FALSE;
}

bool is_unchanged(const wchar_t* source, const SourceState& before) {
  SourceState now;
  const BY_HANDLE_FILE_INFORMATION& was = before.info;
  return take_source_state(source, &now) &&
         now.info.dwVolumeSerialNumber == was.dwVolumeSerialNumber &&
         now.info.nFileIndexHigh == was.nFileIndexHigh &&
         now.info.nFileIndexLow == was.nFileIndexLow &&
         now.info.nFileSizeHigh == was.nFileSizeHigh && now.info.nFileSizeLow == was.nFileSizeLow &&
         CompareFileTime(&now.info.ftLastWriteTime, &was.ftLastWriteTime) == 0;
}

// Reads up to size bytes of file into piece; returns the count, or -1.
long read_piece(HANDLE file, char* piece, DWORD size) {
  DWORD got = 0;
  return ReadFile(file, piece, size, &got, nullptr) ? static_cast<long>(got) : -1;
}

// True when the two open files hold the same bytes. The target is read
// unbuffered, in whole sectors into aligned memory: what its medium holds,
// not what the system's cache remembers of a write that never reached it.
bool same_contents(HANDLE source, HANDLE target) {
  const DWORD kPiece = 1 << 20;
  static char source_piece[kPiece];
  alignas(4096) static char target_piece[kPiece];
  for (;;) {
    long got = read_piece(source, source_piece, kPiece);
    long target_got = read_piece(target, target_piece, kPiece);
    if (got < 0 || got != target_got) return false;
    if (got == 0) return true;
    if (memcmp(source_piece, target_piece, static_cast<size_t>(got)) != 0) return false;
  }
}

// A target of the source's size that holds its bytes already is kept, with
// the source's times: a second run costs a read, not a write. Returns true
// when it was kept; any doubt replaces it.
bool keep_if_same(const wchar_t* source, const wchar_t* target, const SourceState& state) {
  const DWORD kShare = FILE_SHARE_READ;
  HANDLE from = CreateFileW(source, GENERIC_READ, kShare | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  HANDLE to =
      CreateFileW(target, GENERIC_READ | FILE_WRITE_ATTRIBUTES, kShare, nullptr, OPEN_EXISTING,
                  FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  const BY_HANDLE_FILE_INFORMATION& info = state.info;
  BY_HANDLE_FILE_INFORMATION target_info;
  // A target named elsewhere too (a hard link) is replaced: its times are
  // the other name's too.
  bool kept = from != INVALID_HANDLE_VALUE && to != INVALID_HANDLE_VALUE &&
              GetFileInformationByHandle(to, &target_info) && target_info.nNumberOfLinks == 1 &&
              same_contents(from, to) && is_unchanged(source, state) &&
              SetFileTime(to, &info.ftCreationTime, &info.ftLastAccessTime, &info.ftLastWriteTime);
  if (from != INVALID_HANDLE_VALUE) CloseHandle(from);
  if (to != INVALID_HANDLE_VALUE) CloseHandle(to);
  return kept;
}

bool start_platform() {
  InitializeCriticalSection(&temp_guard);
  SetConsoleCtrlHandler(stop_on_control, TRUE);
  // Binary, so that the messages' own "\r\n" is written as it stands.
  _setmode(_fileno(stdout), _O_BINARY);
  static char buffer[4096];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  return _isatty(_fileno(stdout)) != 0;
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

// fopen shares the file for reading and writing and fails on a folder.
FILE* open_playlist(const char* m3u_file) { return fopen(m3u_file, "rb"); }

bool take_dest(const char* dest) {
  code_page_dest = dest;
  wchar_t from_code_page[kPathSize];
  if (!to_wide(dest, kCodePage, from_code_page, kPathSize)) return false;
  int argc = 0;
  wchar_t** argv = nullptr;
  wchar_t** env = nullptr;
  int start_info = 0;
  const wchar_t* typed = from_code_page;
  if (__wgetmainargs(&argc, &argv, &env, 0, &start_info) == 0 && argc == 3 &&
      wcslen(argv[2]) < kPathSize)
    typed = argv[2];
  wcscpy(wide_dest, typed);
  dest_is_exact = wcscmp(typed, from_code_page) == 0;
  return WideCharToMultiByte(CP_UTF8, 0, wide_dest, -1, utf8_dest, sizeof utf8_dest, nullptr,
                             nullptr) > 0;
}

const char* dest_in(NameCode code) { return code == kUtf8 ? utf8_dest : code_page_dest; }

NameCode read_entry_as(const char* line) {
  bool beyond_ascii = false;
  for (const char* at = line; *at != '\0'; ++at)
    if (static_cast<unsigned char>(*at) >= 0x80) beyond_ascii = true;
  wchar_t wide[kPathSize];
  if (!beyond_ascii || !is_utf8(line) || !to_wide(line, kUtf8, wide, kPathSize)) return kCodePage;
  return GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES ? kUtf8 : kCodePage;
}

unsigned char_length(const char* text, NameCode code) {
  bool lead = code == kCodePage && IsDBCSLeadByte(static_cast<BYTE>(text[0]));
  return lead && text[1] != '\0' ? 2 : 1;
}

bool localize_url_path(char (&path)[kPathSize], bool on_other_host) {
  bool drive = path[0] == '/' && isalpha(static_cast<unsigned char>(path[1])) && path[2] == ':';
  if (!on_other_host && drive) memmove(path, path + 1, strlen(path));
  for (char* at = path; *at != '\0'; ++at)
    if (*at == '/') *at = '\\';
  return true;
}

bool is_file_name(const char* name) {
  size_t length = strlen(name);
  if (strchr(name, ':') != nullptr) return false;  // a drive or a stream
  if (length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ')) return false;
  return !is_device_name(name);
}

const char* copy_file(const char* source, const char* target, NameCode code) {
  wchar_t wide_source[kPathSize];
  wchar_t wide_target[kPathSize];
  if (!to_wide(source, code, wide_source, kPathSize) || !to_wide_target(target, code, wide_target))
    return error_text(ERROR_FILENAME_EXCED_RANGE);
  ULONGLONG target_size = 0;
  DWORD refused = refusal(wide_source, wide_target, &target_size);
  if (refused == ERROR_SHARING_VIOLATION) return "the target is the source itself";
  if (refused != 0) return error_text(refused);
  // A source that cannot be looked at fails in the copy, with its reason.
  SourceState state = {};
  take_source_state(wide_source, &state);
  ULONGLONG source_size =
      static_cast<ULONGLONG>(state.info.nFileSizeHigh) << 32 | state.info.nFileSizeLow;
  if (target_size != 0 && target_size == source_size &&
      keep_if_same(wide_source, wide_target, state))
    return nullptr;
  const char* by_code_page = code == kCodePage && dest_is_exact ? source : nullptr;
  if (!copy_to_temp(by_code_page, wide_source, wide_target)) return error_text(GetLastError());
  bool unchanged = is_unchanged(wide_source, state);
  bool placed =
      unchanged && !stop_was_asked() && (target_size == 0 || flush_temp()) &&
      MoveFileExW(temp_name, wide_target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  DWORD error = GetLastError();
  release_temp(!placed);
  if (!unchanged) return "the source changed while it was copied";
  return placed ? nullptr : error_text(error);
}

// Windows writes through to removable drives by default: a stick holds
// each copy once it is in place.
const char* flush_copies() { return nullptr; }
