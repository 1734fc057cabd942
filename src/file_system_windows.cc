// lisko's file system on Windows: the playlist's opening, and looking at
// dest's folder and at files. The copy of one file is windows_copy.cc's;
// how names are read is name_rules_windows.cc's.
#include <windows.h>
#include <io.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "file_system.h"
#include "utf8.h"
#include "windows_names.h"

// fopen shares the file for reading and writing and fails on a folder.
FILE* open_playlist(const char* m3u_file, const char** why) {
  FILE* playlist = fopen(m3u_file, "rb");
  DWORD attributes = GetFileAttributesA(m3u_file);
  bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
  *why = playlist != nullptr ? nullptr : folder ? "is a folder" : strerror(errno);
  return playlist;
}

// Read in UTF-8 where it is UTF-8 and names a file so, else in the code
// page, as an entry is.
FILE* open_listed_playlist(const char* name) {
  wchar_t wide[kPathSize];
  if (!to_wide(name, read_entry_as(name), wide, kPathSize)) return nullptr;
  FILE* playlist = _wfopen(wide, L"rb");
  // A device (NUL, CON) or a pipe would feed the reading forever.
  if (playlist != nullptr && GetFileType(reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(playlist)))) !=
                                 FILE_TYPE_DISK) {
    fclose(playlist);
    playlist = nullptr;
  }
  return playlist;
}

const char* missing_medium_question() { return "is the drive plugged in?"; }

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

bool is_missing(const char* name, NameCode code) {
  wchar_t wide[kPathSize];
  if (!to_wide(name, code, wide, kPathSize) || GetFileAttributesW(wide) != INVALID_FILE_ATTRIBUTES)
    return false;
  DWORD error = GetLastError();
  if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) return false;
  return code != kCodePage || !is_utf8(name) || is_missing(name, kUtf8);
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
