// The name rules on POSIX systems: names are the bytes the file system
// holds, with no code page and no device names.
#include "name_rules.h"

#include <cstring>

#include "line_reader.h"
#include "utf8.h"

namespace {

const char* run_dest = "";  // dest, as given

// Windows-1252 from 0x80 to 0x9F; the five bytes it leaves undefined are
// read as the control characters of their value, as Windows reads them.
const unsigned short kWindows1252[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

}  // namespace

bool take_dest(const char* dest) {
  run_dest = dest;
  return true;
}

const char* dest_in(NameCode) { return run_dest; }

NameCode read_entry_as(const char*) { return kCodePage; }

unsigned char_length(const char*, NameCode) { return 1; }

bool localize_url_path(char (&)[kPathSize], bool on_other_host) { return !on_other_host; }

bool is_file_name(const char*, NameCode) { return true; }

// A playlist written on Windows may begin a name with a backslash: that is
// the root here too.
bool is_relative(const char* name) { return name[0] != '/' && name[0] != '\\'; }

void root_of(const char*, char (&root)[kPathSize]) { root[0] = '\0'; }

bool dest_swallowed_a_quote(const char*) { return false; }

bool names_ignore_case() { return false; }

const char* dest_separator() { return "/"; }

unsigned long folder_part_length(const char* name) {
  const char* slash = strrchr(name, '/');
  return slash == nullptr ? 0 : static_cast<unsigned long>(slash - name) + 1;
}

bool ansi_name_here(const char* name, char (&here)[kPathSize]) {
  if (is_utf8(name)) return false;
  unsigned length = 0;
  for (const unsigned char* at = reinterpret_cast<const unsigned char*>(name); *at != 0; ++at) {
    long c = *at >= 0x80 && *at < 0xA0 ? kWindows1252[*at - 0x80] : *at;
    if (!append_utf8(c, here, sizeof here, &length)) return false;
  }
  here[length] = '\0';
  return true;
}
