// The name rules on Windows. A playlist's names are bytes in an encoding
// it does not state. Most playlists written today are UTF-8, which the
// ANSI calls cannot read: a line whose bytes are UTF-8 beyond plain ASCII,
// and that names an existing file when read so, is read in UTF-8. Every
// other line is read in the ANSI code page, as before: a line of code-page
// bytes can be valid UTF-8 by chance, and then names no file. In the code
// page the name part is found character by character, since the second
// byte of a double-byte character may be a backslash.
//
// dest's UTF-16 form comes from the wide command line, so that a folder
// the code page cannot spell is reached as well.
#include <windows.h>

#include <cctype>
#include <cstring>
#include <cwchar>

#include "name_rules.h"
#include "utf8.h"
#include "windows_names.h"

extern "C" {
// The runtime's split of the wide command line, by the Windows rules.
int __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int expand, int* start_info);
}

namespace {

// dest as the command line gave it: in the code page (the run's argv[2]),
// in UTF-16 as it was typed, and in UTF-8 for the lines read in UTF-8.
const char* code_page_dest = "";
wchar_t wide_dest[kPathSize];
char utf8_dest[kDestSize];
bool exact_dest = true;  // the code page spells dest as it was typed

// True when name, up to a dot and the blanks before it, is a device's:
// Windows opens the device for it in every folder. COM and LPT take a
// digit, or a superscript one, two or three.
bool is_device_name(const wchar_t* name) {
  size_t base = wcscspn(name, L".");
  while (base > 0 && name[base - 1] == L' ') --base;
  static const wchar_t* const devices[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"};
  for (const wchar_t* device : devices)
    if (base == wcslen(device) && _wcsnicmp(name, device, base) == 0) return true;
  // Exactly four characters: "Come Together" and "COM10" are songs.
  if (base != 4 || (_wcsnicmp(name, L"COM", 3) != 0 && _wcsnicmp(name, L"LPT", 3) != 0))
    return false;
  wchar_t digit = name[3];
  return (digit >= L'0' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' ||
         digit == L'\u00B3';
}

}  // namespace

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

bool dest_is_exact() { return exact_dest; }

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
  exact_dest = wcscmp(typed, from_code_page) == 0;
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

bool is_file_name(const char* name, NameCode code) {
  wchar_t wide[kPathSize];
  if (!to_wide(name, code, wide, kPathSize)) return false;
  size_t length = wcslen(wide);
  if (wcschr(wide, L':') != nullptr) return false;  // a drive or a stream
  if (length > 0 && (wide[length - 1] == L'.' || wide[length - 1] == L' ')) return false;
  return !is_device_name(wide);
}

// A drive ("C:") or the root of one ("\\", "/") or a share ("\\\\server")
// begins a name that the current folder plays no part in.
bool is_relative(const char* name) {
  bool drive = isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
  return !drive && name[0] != '\\' && name[0] != '/';
}

void root_of(const char* full, char (&root)[kPathSize]) {
  auto is_separator = [](char c) { return c == '\\' || c == '/'; };
  size_t length = 0;
  if (full[0] != '\0' && full[1] == ':') {
    length = 2;
  } else if (is_separator(full[0]) && is_separator(full[1])) {
    length = 2 + strcspn(full + 2, "\\/");  // the server
    if (full[length] != '\0') length += 1 + strcspn(full + length + 1, "\\/");  // the share
  }
  memcpy(root, full, length);  // fits: full does
  root[length] = '\0';
}

bool dest_swallowed_a_quote(const char* dest) {
  size_t length = strlen(dest);
  return length > 0 && dest[length - 1] == '"';
}

bool names_ignore_case() { return true; }

const char* dest_separator() { return "\\"; }

unsigned long folder_part_length(const char* name) {
  unsigned long length = 0;
  for (unsigned long i = 0; name[i] != '\0'; i += char_length(name + i, kCodePage))
    if (name[i] == '\\' || name[i] == '/' || (i == 1 && name[i] == ':')) length = i + 1;
  return length;
}

bool ansi_name_here(const char*, char (&)[kPathSize]) { return false; }
