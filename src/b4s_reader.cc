// The reader of B4S playlists: tags are read one at a time, and only an
// <entry>'s Playstring means anything; text between tags is passed over.
#include "b4s_reader.h"

#include <cstring>

#include "names.h"

namespace {

using namespace xml;

enum Step { kGoOn, kEntry, kTooLong, kBroken };

// Takes Winamp's "file:" off the Playstring in entry, but where a file:
// URL begins so ("file://"), which stays one.
void drop_file_prefix(char (&entry)[kLineSize]) {
  if (!begins_with_any_case(entry, "file:")) return;
  if (entry[5] == '/' && entry[6] == '/') {
    memcpy(entry, "file", 4);  // the scheme as URLs are read: in lower case
    return;
  }
  memmove(entry, entry + 5, strlen(entry + 5) + 1);
}

Step read_start_tag(B4sReader* reader, long first, char (&entry)[kLineSize]) {
  Tag tag = {};
  tag.wanted = "playstring";
  tag.value = entry;
  if (!read_name(&reader->scan, first, tag.name) || !read_attributes(&reader->scan, &tag, false))
    return kBroken;
  if (!same_in_any_case(local_name(tag.name), "entry") || !tag.found) return kGoOn;
  if (tag.too_long) return kTooLong;
  drop_file_prefix(entry);
  return entry[0] != '\0' ? kEntry : kGoOn;
}

Step read_markup(B4sReader* reader, char (&entry)[kLineSize]) {
  XmlScanner* scan = &reader->scan;
  long c = get(scan);
  if (c == '!') return read_declaration(scan, nullptr, nullptr, nullptr) ? kGoOn : kBroken;
  if (c == '?') return read_instruction(scan) ? kGoOn : kBroken;
  if (c != '/') return read_start_tag(reader, c, entry);
  char name[kXmlNameSize];
  if (!read_name(scan, get(scan), name)) return kBroken;
  if (skip_spaces(scan) == '>') return kGoOn;
  fail(scan, "the tag </%s> is not ended", name);
  return kBroken;
}

}  // namespace

void start_b4s_reader(B4sReader* reader, LineReader* source) {
  start_xml_scanner(&reader->scan, source);
  reader->scan.lenient = true;
}

LineStatus next_b4s_entry(B4sReader* reader, char (&entry)[kLineSize]) {
  for (;;) {
    long c = get(&reader->scan);
    if (c == EOF) return ferror(reader->scan.source->playlist) ? kReadFailed : kEndOfPlaylist;
    if (c != '<') continue;
    Step step = read_markup(reader, entry);
    if (step == kEntry) return kEntryLine;
    if (step == kTooLong) return kLineTooLong;
    if (step == kBroken) return kPlaylistBroken;
  }
}
