// The name rules on POSIX systems: names are the bytes the file system
// holds, with no code page and no device names.
#include "name_rules.h"

#include <cstring>

namespace {

const char* run_dest = "";  // dest, as given

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
