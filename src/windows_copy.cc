// The copy of one file on Windows, with CopyFileExA (or CopyFileExW, for
// names the code page cannot spell), which copies as CopyFileA does and
// reports its progress. A copy never touches the target until the new
// content is complete: CopyFileA replaces a file by emptying it and
// writing into it, so a copy that failed partway (a full stick) would lose
// the old file. Instead:
//
//   1. Refuse a target that CopyFileA would refuse (a folder, a read-only
//      or hidden file) and the source itself.
//   2. Keep a target of the source's size that holds its bytes already
//      (windows_keep.cc).
//   3. Otherwise copy to a temporary file of lisko's own in the target's
//      folder, .lisko-PID-N.tmp, which CopyFileEx creates, and fail the copy
//      where the source changed meanwhile.
//   4. When the target holds data, put the new data on the medium
//      (FlushFileBuffers), so that after a crash the target is the old file
//      or the new one.
//   5. Move the temporary file over the target in one step.
//
// A failure at any step removes the temporary file, and its reason says
// which side failed: the source, the target's folder, or the room beside
// the old copy. Ctrl+C and its like stop the copy at once
// (windows_stop.cc).
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "file_system.h"
#include "windows_copy.h"
#include "windows_keep.h"
#include "windows_names.h"
#include "windows_stop.h"

namespace {

// Where the copy in flight reports how far it is, or null.
CopyProgress progress_report = nullptr;

}  // namespace

DWORD CALLBACK on_progress(LARGE_INTEGER total, LARGE_INTEGER done, LARGE_INTEGER, LARGE_INTEGER,
                           DWORD, DWORD, HANDLE, HANDLE, LPVOID) {
  if (*copy_cancel_flag()) return PROGRESS_CANCEL;
  if (progress_report != nullptr)
    progress_report(static_cast<unsigned long long>(done.QuadPart),
                    static_cast<unsigned long long>(total.QuadPart));
  return PROGRESS_CONTINUE;
}

namespace {

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

// The length of the folder part of name, narrow or wide: up to and
// including its last separator, or a drive's colon.
template <typename Char>
size_t folder_length(const Char* name) {
  size_t length = 0;
  for (size_t i = 0; name[i] != 0; ++i)
    if (name[i] == '\\' || name[i] == '/' || (i == 1 && name[i] == ':')) length = i + 1;
  return length;
}

// Names the temporary file number n in the folder of target. Returns false
// when the name does not fit.
bool name_temp(const wchar_t* target, unsigned n) {
  size_t folder = folder_length(target);
  wchar_t* temp_name = temp_file_name();
  wcsncpy(temp_name, target, folder);
  int written = _snwprintf(temp_name + folder, kPathSize - folder, L".lisko-%lu-%u.tmp",
                           GetCurrentProcessId(), n);
  return written >= 0 && folder + written < kPathSize;
}

// Copies to the temporary file's name, by CopyFileExA from source where it
// is given, else by CopyFileExW from wide_source, never over a file that
// is there. With no other flag CopyFileEx copies as CopyFileA does, and
// reports its progress, and stops when asked.
BOOL copy_to_temp_name(const char* source, const wchar_t* wide_source) {
  char code_page_name[kPathSize];
  BOOL inexact = FALSE;
  const DWORD kFlags = COPY_FILE_FAIL_IF_EXISTS;
  if (source != nullptr &&
      WideCharToMultiByte(CP_ACP, 0, temp_file_name(), -1, code_page_name, sizeof code_page_name,
                          nullptr, &inexact) > 0 &&
      !inexact)
    return CopyFileExA(source, code_page_name, on_progress, nullptr, copy_cancel_flag(), kFlags);
  return CopyFileExW(wide_source, temp_file_name(), on_progress, nullptr, copy_cancel_flag(),
                     kFlags);
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
    if (!claim_temp()) return FALSE;  // stopped: the copy ends the process
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
  DWORD attributes = GetFileAttributesW(temp_file_name());
  bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (read_only) SetFileAttributesW(temp_file_name(), attributes & ~FILE_ATTRIBUTE_READONLY);
  HANDLE file = CreateFileW(temp_file_name(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  BOOL flushed = file != INVALID_HANDLE_VALUE && FlushFileBuffers(file);
  DWORD error = GetLastError();
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  if (read_only) SetFileAttributesW(temp_file_name(), attributes);
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

// The id of the file at name itself (not of what a link there points to);
// false where none stands there or the system will not tell.
bool file_id_at(const wchar_t* name, FileId* id) {
  HANDLE file = CreateFileW(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info;
  BOOL got = GetFileInformationByHandle(file, &info);
  CloseHandle(file);
  if (!got) return false;
  *id = {info.dwVolumeSerialNumber,
         (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  return true;
}

// What stands at a target before it is copied to.
enum TargetCheck {
  kTargetFree,      // nothing, or a file that may be replaced
  kTargetIsSource,  // the source itself: replacing it would gain nothing
  kTargetRefused    // a folder, or a read-only or hidden file, as CopyFileA refuses
};

// Sets *target_size to the size of a file at the target, or 0.
TargetCheck check_target(const wchar_t* source, const wchar_t* target, ULONGLONG* target_size) {
  WIN32_FILE_ATTRIBUTE_DATA existing;
  *target_size = 0;
  if (!GetFileAttributesExW(target, GetFileExInfoStandard, &existing)) return kTargetFree;
  const DWORD refused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN;
  if (existing.dwFileAttributes & refused) return kTargetRefused;
  if (is_same_file(source, target)) return kTargetIsSource;
  *target_size = static_cast<ULONGLONG>(existing.nFileSizeHigh) << 32 | existing.nFileSizeLow;
  return kTargetFree;
}

// The folder of target, as named there (up to its last separator, or a
// drive's colon), in folder and, in UTF-16, in wide_folder.
void target_folder(const char* target, const wchar_t* wide_target, char (&folder)[kPathSize],
                   wchar_t (&wide_folder)[kPathSize]) {
  size_t length = folder_length(target);
  memcpy(folder, target, length);
  folder[length] = '\0';
  size_t wide_length = folder_length(wide_target);
  wcsncpy(wide_folder, wide_target, wide_length);
  wide_folder[wide_length] = L'\0';
}

// Why a copy from wide_source to target failed with error: the system's
// words alone where the source failed, and otherwise which side failed
// first: the target's folder, or the room beside the old copy.
const char* reason(DWORD error, const wchar_t* wide_source, const char* target,
                   const wchar_t* wide_target, bool replacing_data) {
  static char why[kPathSize + 640];
  const char* system_text = error_text(error);
  if (GetFileAttributesW(wide_source) == INVALID_FILE_ATTRIBUTES) return system_text;
  char folder[kPathSize];
  wchar_t wide_folder[kPathSize];
  target_folder(target, wide_target, folder, wide_folder);
  DWORD attributes =
      wide_folder[0] == L'\0' ? FILE_ATTRIBUTE_DIRECTORY : GetFileAttributesW(wide_folder);
  bool no_folder =
      attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  bool no_room = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
  bool not_written = error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT;
  const char* where = folder[0] == '\0' ? "the current folder" : "folder ";
  if (no_folder)
    snprintf(why, sizeof why, "no %s%s (%s)", where, folder, system_text);
  else if (no_room && replacing_data)
    snprintf(why, sizeof why, "no room for the new copy beside the old one (%s)", system_text);
  else if (not_written)
    snprintf(why, sizeof why, "cannot write in %s%s (%s)", where, folder, system_text);
  else
    return system_text;
  return why;
}

// True when a file that holds data stands at target.
bool data_stands_at(const wchar_t* target) {
  WIN32_FILE_ATTRIBUTE_DATA existing;
  return GetFileAttributesExW(target, GetFileExInfoStandard, &existing) &&
         (existing.nFileSizeHigh != 0 || existing.nFileSizeLow != 0);
}

// Copies to a temporary file and moves it over what stands at the target
// by then: one that another program made meanwhile is replaced as any
// other, its data kept until the copy is on the medium; *done tells which
// file that was. Returns null on success, and otherwise why not.
const char* copy_and_replace(const char* source, const wchar_t* wide_source, const char* target,
                             const wchar_t* wide_target, const SourceState& state,
                             bool replacing_data, CopyDone* done) {
  if (!copy_to_temp(source, wide_source, wide_target))
    return reason(GetLastError(), wide_source, target, wide_target, replacing_data);
  bool unchanged = is_unchanged(wide_source, state);
  done->replaced_known = file_id_at(wide_target, &done->replaced);
  bool holds_data = replacing_data || data_stands_at(wide_target);
  bool placed = unchanged && !stop_was_asked() && (!holds_data || flush_temp()) &&
                MoveFileExW(temp_file_name(), wide_target,
                            MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  DWORD error = GetLastError();
  release_temp(!placed);
  if (!unchanged) return "the source changed while it was copied";
  return placed ? nullptr : reason(error, wide_source, target, wide_target, replacing_data);
}

// Copies source to target (wide_target in UTF-16). Returns null on
// success, and otherwise why not.
const char* copy_or_keep(const char* source, const wchar_t* wide_source, const char* target,
                         const wchar_t* wide_target, NameCode code, CopyDone* done) {
  ULONGLONG target_size = 0;
  TargetCheck check = check_target(wide_source, wide_target, &target_size);
  if (check == kTargetIsSource) return "the target is the source itself";
  if (check == kTargetRefused) return error_text(ERROR_ACCESS_DENIED);
  // A source that cannot be looked at fails in the copy, with its reason.
  SourceState state = {};
  done->source_known = take_source_state(wide_source, &state);
  ULONGLONG source_size =
      static_cast<ULONGLONG>(state.info.nFileSizeHigh) << 32 | state.info.nFileSizeLow;
  const BY_HANDLE_FILE_INFORMATION& info = state.info;
  done->source = {info.dwVolumeSerialNumber,
                  (static_cast<unsigned long long>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
  done->source_size = source_size;
  done->source_time = static_cast<long long>(static_cast<unsigned long long>(
      info.ftLastWriteTime.dwHighDateTime) << 32 | info.ftLastWriteTime.dwLowDateTime);
  done->kept = target_size != 0 && target_size == source_size &&
               keep_if_same(wide_source, wide_target, state);
  if (done->kept) {
    done->replaced_known = file_id_at(wide_target, &done->replaced);
    return nullptr;
  }
  done->bytes = source_size;
  const char* by_code_page = code == kCodePage && dest_is_exact() ? source : nullptr;
  return copy_and_replace(by_code_page, wide_source, target, wide_target, state, target_size != 0,
                          done);
}

}  // namespace

void start_copies() { start_stop_handler(); }

void report_copy_progress(CopyProgress report) { progress_report = report; }

// Windows reads a target past its cache wherever it is (windows_keep.cc):
// a copy of this run's is compared as any other.
const char* copy_file(const char* source, const char* target, NameCode code, bool, CopyDone* done) {
  wchar_t wide_source[kPathSize];
  wchar_t wide_target[kPathSize];
  *done = {};
  if (!to_wide(source, code, wide_source, kPathSize) || !to_wide_target(target, code, wide_target))
    return error_text(ERROR_FILENAME_EXCED_RANGE);
  const char* why = copy_or_keep(source, wide_source, target, wide_target, code, done);
  done->made_known = why == nullptr && file_id_at(wide_target, &done->made);
  // A stop asked for during the copy ends the process here, the one place
  // where no temporary file of ours is left.
  end_if_stopped();
  return why;
}

// Windows writes through to removable drives by default: a stick holds
// each copy once it is in place.
const char* flush_copies(unsigned long* hidden) {
  *hidden = 0;
  return nullptr;
}
