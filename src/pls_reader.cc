// The reader of PLS playlists.
#include "pls_reader.h"

#include <cstring>

namespace {

// The value of a FileN= line (the key in any case, blanks around it and
// around "="), or null for any other line.
const char* file_value(const char* line) {
  const char key[] = "file";
  line += strspn(line, " \t");
  for (unsigned i = 0; i < sizeof key - 1; ++i)
    if ((line[i] >= 'A' && line[i] <= 'Z' ? line[i] | 0x20 : line[i]) != key[i]) return nullptr;
  const char* number = line + sizeof key - 1;
  size_t digits = strspn(number, "0123456789");
  const char* equals = number + digits + strspn(number + digits, " \t");
  if (digits == 0 || *equals != '=') return nullptr;
  return equals + 1 + strspn(equals + 1, " \t");
}

}  // namespace

LineStatus next_pls_entry(LineReader* reader, char (&entry)[kLineSize]) {
  for (;;) {
    LineStatus status = next_entry_line(reader, entry);
    // A line too long or not text may be any key's: it is skipped, saying so.
    if (status != kEntryLine) return status;
    const char* value = file_value(entry);
    if (value == nullptr) continue;  // [playlist], Title1=, NumberOfEntries=, ...
    size_t length = strlen(value);
    while (length > 0 && (value[length - 1] == ' ' || value[length - 1] == '\t')) --length;
    memmove(entry, value, length);
    entry[length] = '\0';
    if (entry[0] != '\0') return kEntryLine;
  }
}
