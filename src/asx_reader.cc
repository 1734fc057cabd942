// The reader of ASX playlists.
//
// The XML form is scanned a tag at a time, as players scan it: only
// <ENTRY>, </ENTRY>, <REF> and <ENTRYREF> mean anything, in any case and
// however (or whether) the others nest; text between tags is passed over.
// An ENTRYREF's file is opened in place and read to its end before the
// file that names it goes on; the files open form a stack, five below the
// playlist at most.
#include "asx_reader.h"

#include <cstring>

#include "file_system.h"
#include "names.h"

namespace {

using namespace xml;

AsxFile& current(AsxReader* asx) { return asx->files[asx->depth]; }

// Ends the reading with the current file's reason: of a file an ENTRYREF
// opened, with its name.
LineStatus broken(AsxReader* asx) {
  AsxFile& file = current(asx);
  if (asx->depth == 0)
    snprintf(asx->failure, sizeof asx->failure, "%s", file.scan.why);
  else
    snprintf(asx->failure, sizeof asx->failure, "%s: %s", file.full, file.scan.why);
  asx->why = asx->failure;
  return kPlaylistBroken;
}

// Puts the full name of path, whose name part begins at name_part, into
// full. Returns false where it cannot be told.
bool take_full_name(const char* path, const char* name_part, char (&full)[kPathSize]) {
  if (!full_folder_of(path, full)) return false;
  size_t length = strlen(full);
  int made = snprintf(full + length, sizeof full - length, "/%s", name_part);
  return made >= 0 && static_cast<size_t>(made) < sizeof full - length;
}

// The name part of name: what follows its last separator.
const char* name_part_of(const char* name) {
  const char* part = name + strlen(name);
  while (part > name && strchr(kFolderSeparators, part[-1]) == nullptr) --part;
  return part;
}

// Puts name's folder part (up to its last separator) into folder after
// before, which it begins where name is relative; "" where neither has one.
bool folder_of(const char* before, const char* name, char (&folder)[kPathSize]) {
  size_t length = strlen(name);
  while (length > 0 && strchr(kFolderSeparators, name[length - 1]) == nullptr) --length;
  const char* first = is_relative(name) && !begins_with_drive(name) ? before : "";
  int made = snprintf(folder, sizeof folder, "%s%.*s", first, static_cast<int>(length), name);
  return made >= 0 && static_cast<size_t>(made) < sizeof folder;
}

// Adds href, of the current file, to the entry's choices.
void add_choice(AsxReader* asx, const char* href) {
  EntryChoices& choices = asx->choices;
  const char* prefix = current(asx).prefix;
  bool relative = !is_url(href) && is_relative(href) && !begins_with_drive(href);
  if (choices.count == kRefsKept) {
    choices.too_long = true;
    return;
  }
  char* choice = choices.refs[choices.count];
  int made = snprintf(choice, kLineSize, "%s%s", relative ? prefix : "", href);
  if (made < 0 || static_cast<unsigned>(made) >= kLineSize)
    choices.too_long = true;
  else if (href[0] != '\0')
    ++choices.count;
}

// True where the first line of file, other than blanks, is "[Reference]".
bool peeks_ini(LineReader* reader) {
  char word[12] = "";
  unsigned length = 0;
  for (long c; (c = peek_next(reader)) != EOF && length + 1 < sizeof word;) {
    if (length == 0 && (c == ' ' || c == '\t' || c == '\r' || c == '\n')) continue;
    if (c == '\r' || c == '\n') break;
    word[length++] = static_cast<char>(c);
  }
  word[length] = '\0';
  return begins_asx_ini(word);
}

// Opens the file an ENTRYREF of the current file names, href, to be read
// in its place. Returns false where it ends the reading (with why); an
// ENTRYREF that names no file here, one nested too deep and one that
// led to it are passed over.
bool open_entryref(AsxReader* asx, const char* href) {
  AsxFile& from = current(asx);
  char name[kPathSize];
  if (find_source(href, name) != kFormed || asx->depth == kAsxNesting) return true;
  bool relative = is_relative(name) && !begins_with_drive(name);
  char path[kPathSize];
  int made = snprintf(path, sizeof path, "%s%s", relative ? from.folder : "", name);
  if (made < 0 || static_cast<size_t>(made) >= sizeof path) return true;
  AsxFile& file = asx->files[asx->depth + 1];
  if (!folder_of(from.folder, name, file.folder) || !folder_of(from.prefix, name, file.prefix))
    return true;
  if (!take_full_name(path, name_part_of(name), file.full)) return true;
  for (unsigned level = 0; level <= asx->depth; ++level)
    if (strcmp(asx->files[level].full, file.full) == 0) return true;  // a loop
  FILE* opened = open_listed_playlist(path);
  if (opened == nullptr) return true;  // as a player passes over what it cannot open
  file.own = start_line_reader(opened);
  file.reader = &file.own;
  file.ini = peeks_ini(file.reader);
  start_xml_scanner(&file.scan, file.reader);
  file.scan.lenient = true;
  ++asx->depth;
  return true;
}

enum Step { kGoOn, kEntry, kBroken };

// Reads a start tag that begins with first: an ENTRY begins, a REF adds a
// choice, an ENTRYREF opens its file.
Step read_start_tag(AsxReader* asx, long first) {
  AsxFile& file = current(asx);
  char href[kLineSize];
  Tag tag = {};
  tag.wanted = "href";
  tag.value = href;
  if (!read_name(&file.scan, first, tag.name) || !read_attributes(&file.scan, &tag, false))
    return kBroken;
  if (same_in_any_case(tag.name, "entry")) {
    asx->in_entry = !tag.empty;
    asx->choices.count = 0;
    asx->choices.too_long = false;
  } else if (same_in_any_case(tag.name, "ref") && asx->in_entry && tag.found) {
    if (tag.too_long)
      asx->choices.too_long = true;
    else
      add_choice(asx, href);
  } else if (same_in_any_case(tag.name, "entryref") && tag.found && !tag.too_long) {
    return open_entryref(asx, href) ? kGoOn : kBroken;
  }
  return kGoOn;
}

// Reads an end tag: that of an ENTRY hands over its choices.
Step read_end_tag(AsxReader* asx) {
  AsxFile& file = current(asx);
  char name[kXmlNameSize];
  if (!read_name(&file.scan, get(&file.scan), name)) return kBroken;
  if (skip_spaces(&file.scan) != '>') {
    fail(&file.scan, "the tag </%s> is not ended", name);
    return kBroken;
  }
  if (!same_in_any_case(name, "entry") || !asx->in_entry) return kGoOn;
  asx->in_entry = false;
  return asx->choices.count > 0 || asx->choices.too_long ? kEntry : kGoOn;
}

Step read_markup(AsxReader* asx) {
  XmlScanner* scan = &current(asx).scan;
  long c = get(scan);
  if (c == '/') return read_end_tag(asx);
  if (c == '!') return read_declaration(scan, nullptr, nullptr, nullptr) ? kGoOn : kBroken;
  if (c == '?') return read_instruction(scan) ? kGoOn : kBroken;
  return read_start_tag(asx, c);
}

// The end of the current file: an ENTRY it does not end ends with it.
LineStatus at_file_end(AsxReader* asx) {
  bool open_entry = asx->in_entry && (asx->choices.count > 0 || asx->choices.too_long);
  asx->in_entry = false;
  return open_entry ? kEntryLine : kEndOfPlaylist;
}

// The XML form: up to the next entry of the current file, or its end.
LineStatus next_xml_entry_of_file(AsxReader* asx) {
  for (;;) {
    long c = get(&current(asx).scan);
    if (c == EOF) return at_file_end(asx);
    if (c != '<') continue;  // text: titles, authors, none of it an entry
    unsigned depth = asx->depth;
    Step step = read_markup(asx);
    if (step == kBroken) return broken(asx);
    if (step == kEntry) return kEntryLine;
    if (asx->depth != depth) return kEndOfPlaylist;  // an ENTRYREF: its file goes first
  }
}

// The value of a RefN= line (the key in any case, blanks around it and
// around "="), or null for any other line.
const char* ref_value(const char* line) {
  line += strspn(line, " \t");
  if (!begins_with_any_case(line, "ref")) return nullptr;
  const char* number = line + 3;
  size_t digits = strspn(number, "0123456789");
  const char* equals = number + digits + strspn(number + digits, " \t");
  if (digits == 0 || *equals != '=') return nullptr;
  return equals + 1 + strspn(equals + 1, " \t");
}

// The INI form: its one entry, all its RefN= values.
LineStatus next_ini_entry_of_file(AsxReader* asx) {
  AsxFile& file = current(asx);
  asx->choices.count = 0;
  asx->choices.too_long = false;
  char line[kLineSize];
  for (LineStatus got; (got = next_entry_line(file.reader, line)) != kEndOfPlaylist;) {
    if (got == kReadFailed) return got;
    if (got == kLineTooLong) asx->choices.too_long = true;
    const char* value = got == kEntryLine ? ref_value(line) : nullptr;
    if (value == nullptr) continue;
    size_t length = strlen(value);
    while (length > 0 && (value[length - 1] == ' ' || value[length - 1] == '\t')) --length;
    memmove(line, value, length);
    line[length] = '\0';
    add_choice(asx, line);
  }
  bool any = asx->choices.count > 0 || asx->choices.too_long;
  asx->in_entry = false;
  return any ? kEntryLine : kEndOfPlaylist;
}

// The next entry of the current file, or its end, or an ENTRYREF's file
// opened in its place (kEndOfPlaylist too).
LineStatus next_of_file(AsxReader* asx) {
  AsxFile& file = current(asx);
  LineStatus got = file.ini ? next_ini_entry_of_file(asx) : next_xml_entry_of_file(asx);
  return got == kEndOfPlaylist && ferror(file.reader->playlist) ? kReadFailed : got;
}

// Closes the current file, where an ENTRYREF opened it.
void close_nested(AsxReader* asx) {
  fclose(current(asx).own.playlist);
  --asx->depth;
}

}  // namespace

bool begins_asx_ini(const char* first_line) {
  return begins_with_any_case(first_line + strspn(first_line, " \t"), "[reference]");
}

void start_asx_reader(AsxReader* asx, LineReader* reader, bool ini, const char* m3u_file,
                      const char* folder) {
  AsxFile& top = asx->files[0];
  top.reader = reader;
  top.ini = ini;
  start_xml_scanner(&top.scan, reader);
  top.scan.lenient = true;
  snprintf(top.folder, sizeof top.folder, "%s", folder);  // fits: the same size
  top.prefix[0] = '\0';
  if (!take_full_name(m3u_file, name_part_of(m3u_file), top.full)) top.full[0] = '\0';
  asx->depth = 0;
  asx->in_entry = false;
  asx->choices.count = 0;
  asx->why = nullptr;
}

LineStatus next_asx_entry(AsxReader* asx) {
  for (;;) {
    unsigned depth = asx->depth;
    LineStatus got = next_of_file(asx);
    if (got != kEndOfPlaylist)  // an entry none of whose REFs fits is too long
      return got == kEntryLine && asx->choices.count == 0 ? kLineTooLong : got;
    if (asx->depth != depth) continue;  // an ENTRYREF's file goes first
    if (depth == 0) return kEndOfPlaylist;
    close_nested(asx);
  }
}

void close_asx_reader(AsxReader* asx) {
  while (asx->depth > 0) close_nested(asx);
}
