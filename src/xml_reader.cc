// The reader of the XML playlists, XSPF and WPL.
//
// The playlist is scanned character by character, as next_char hands the
// characters over. Markup is read a tag at a time: its name, its
// attributes (only the one that matters is kept: "xmlns" of the root, "src"
// of a WPL <media>, "encoding" of the XML declaration), and for an end tag
// the check that it closes the element open last. Character data is kept
// only inside an XSPF <track><location>. Comments, processing instructions
// and a DOCTYPE are passed over; no entity that a DTD defines is known, so
// a document cannot make lisko expand its own entities.
#include "xml_reader.h"

#include <cstdio>
#include <cstring>

#include "names.h"
#include "xml_scanner.h"

namespace {

using namespace xml;

const char kXspfNamespace[] = "http://xspf.org/ns/0/";

// What one step of the scan found.
enum Step { kGoOn, kEntry, kTooLong, kBroken };

Step stop(XmlReader* reader, const char* what, const char* detail = "") {
  fail(&reader->scan, what, detail);
  return kBroken;
}

// Takes the playlist's format from its root element.
bool take_format(XmlReader* reader, const char* name, const char* name_space) {
  const char* local = local_name(name);
  reader->xspf_namespace = strcmp(name_space, kXspfNamespace) == 0;
  if (strcmp(local, "playlist") == 0)
    reader->format = kXspf;
  else if (strcmp(local, "smil") == 0)
    reader->format = kWpl;
  else
    return fail(&reader->scan, "an XML file whose root is <%s>, not a playlist lisko reads", name);
  return true;
}

bool open_element(XmlReader* reader, const char* name) {
  if (reader->depth == kXmlDepth) return fail(&reader->scan, "elements nested deeper than %s", "64");
  strcpy(reader->open[reader->depth++], name);  // fits: both are kXmlNameSize
  return true;
}

// Opens the element of tag, whose parent is parent: a <location> of an
// XSPF <track> begins an entry's text.
bool open_tag(XmlReader* reader, const Tag& tag, const char* parent) {
  if (!tag.empty && !open_element(reader, tag.name)) return false;
  bool location = strcmp(local_name(tag.name), "location") == 0 && strcmp(parent, "track") == 0;
  if (reader->format == kXspf && strcmp(local_name(tag.name), "trackList") == 0)
    reader->saw_track_list = true;
  if (reader->format != kXspf || !location) return true;
  reader->in_location = !tag.empty;
  reader->text_length = 0;
  reader->text_too_long = false;
  return true;
}

// The attribute a start tag is read for: of the root its namespace, into
// name_space; of a WPL <media> its source, into entry.
void want_attribute(Tag* tag, bool root, bool media, char* name_space, char* entry) {
  if (root) {
    tag->wanted = "xmlns";
    tag->value = name_space;
  } else if (media) {
    tag->wanted = "src";
    tag->value = entry;
  }
}

// Which of the xml:base values an element sets: 0 for the root, 1 for an
// XSPF <trackList>, 2 for a <track>; -1 for any other.
int base_level(const XmlReader* reader, bool root, const char* name) {
  if (root) return 0;
  if (reader->format != kXspf) return -1;
  if (strcmp(local_name(name), "trackList") == 0) return 1;
  return strcmp(local_name(name), "track") == 0 ? 2 : -1;
}

Step read_start_tag(XmlReader* reader, long first, char (&entry)[kLineSize]) {
  char name_space[kLineSize] = "";
  Tag tag = {};
  if (!read_name(&reader->scan, first, tag.name)) return kBroken;
  bool root = reader->depth == 0;
  if (root && reader->format != kNotYetKnown)
    return stop(reader, "a second root element, <%s>", tag.name);
  const char* parent = root ? "" : local_name(reader->open[reader->depth - 1]);
  bool media = reader->format == kWpl && strcmp(local_name(tag.name), "media") == 0;
  want_attribute(&tag, root, media, name_space, entry);
  int level = base_level(reader, root, tag.name);
  if (level >= 0) {
    tag.base = reader->base[level];
    tag.base[0] = '\0';
  }
  if (!read_attributes(&reader->scan, &tag, false)) return kBroken;
  if (level >= 0) reader->base_too_long[level] = tag.base_too_long;
  if (root && !take_format(reader, tag.name, name_space)) return kBroken;
  if (!open_tag(reader, tag, parent)) return kBroken;
  if (!media || !tag.found || (entry[0] == '\0' && !tag.too_long)) return kGoOn;
  return tag.too_long ? kTooLong : kEntry;
}

// The text of a location, without the blanks and line ends around it.
void trim(char* text, unsigned* length) {
  while (*length > 0 && is_space(static_cast<unsigned char>(text[*length - 1]))) --*length;
  text[*length] = '\0';
  size_t leading = strspn(text, " \t\r\n");
  memmove(text, text + leading, *length - leading + 1);
  *length -= static_cast<unsigned>(leading);
}

// Resolves the location in entry against the xml:base of its <track>,
// then of its <trackList>, then of the <playlist>, its dot segments
// removed at each. Returns false where a base or the result does not fit.
bool with_bases(const XmlReader* reader, char (&entry)[kLineSize]) {
  for (int level = 2; level >= 0; --level) {
    char resolved[kLineSize];
    if (reader->base_too_long[level]) return false;
    if (!resolve_uri(entry, reader->base[level], resolved, sizeof resolved)) return false;
    memcpy(entry, resolved, sizeof entry);
  }
  return true;
}

Step read_end_tag(XmlReader* reader, char (&entry)[kLineSize]) {
  char name[kXmlNameSize];
  if (!read_name(&reader->scan, get(&reader->scan), name)) return kBroken;
  if (skip_spaces(&reader->scan) != '>') return stop(reader, "the tag </%s> is not ended", name);
  if (reader->depth == 0) return stop(reader, "</%s>, which closes no element open", name);
  const char* open = reader->open[reader->depth - 1];
  if (strcmp(name, open) != 0) return stop(reader, "</%s> where another element is open", name);
  --reader->depth;
  if (!reader->in_location || strcmp(local_name(name), "location") != 0) return kGoOn;
  reader->in_location = false;
  if (reader->text_too_long) return kTooLong;
  trim(entry, &reader->text_length);
  if (reader->text_length == 0) return kGoOn;
  return with_bases(reader, entry) ? kEntry : kTooLong;
}

Step read_markup(XmlReader* reader, char (&entry)[kLineSize]) {
  long c = get(&reader->scan);
  char* text = reader->in_location ? entry : nullptr;
  if (c == '/') return read_end_tag(reader, entry);
  if (c == '!') return read_declaration(&reader->scan, text, &reader->text_length, &reader->text_too_long) ? kGoOn
                                                                                          : kBroken;
  if (c == '?') return read_instruction(&reader->scan) ? kGoOn : kBroken;
  return read_start_tag(reader, c, entry);
}

Step read_text(XmlReader* reader, long c, char (&entry)[kLineSize]) {
  char* text = reader->in_location ? entry : nullptr;
  if (c == kNotAChar || c == 0) return stop(reader, "a character that XML does not allow");
  if (c == '&')
    return read_reference(&reader->scan, text, &reader->text_length, &reader->text_too_long) ? kGoOn
                                                                                      : kBroken;
  if (reader->depth == 0 && !is_space(c))
    return stop(reader, "text outside the playlist's root element");
  keep(&reader->scan, c, false, text, &reader->text_length, &reader->text_too_long);
  return kGoOn;
}

LineStatus at_end(XmlReader* reader) {
  if (ferror(reader->scan.source->playlist)) return kReadFailed;
  if (reader->depth > 0)
    fail(&reader->scan, "the playlist ends inside <%s>", reader->open[reader->depth - 1]);
  else if (reader->format == kNotYetKnown)
    fail(&reader->scan, "the playlist ends before its root element");
  else if (reader->format == kXspf && !reader->xspf_namespace && !reader->saw_track_list)
    fail(&reader->scan, "an XML file whose root is <%s>, not a playlist lisko reads", "playlist");
  else
    return kEndOfPlaylist;
  return kPlaylistBroken;
}

}  // namespace

void start_xml_reader(XmlReader* reader, LineReader* source) {
  start_xml_scanner(&reader->scan, source);
  reader->format = kNotYetKnown;
  reader->depth = 0;
  reader->in_location = false;
  reader->text_length = 0;
  reader->text_too_long = false;
  reader->xspf_namespace = false;
  reader->saw_track_list = false;
  for (unsigned level = 0; level < 3; ++level) {
    reader->base[level][0] = '\0';
    reader->base_too_long[level] = false;
  }
}

LineStatus next_xml_entry(XmlReader* reader, char (&entry)[kLineSize]) {
  for (;;) {
    long c = get(&reader->scan);
    if (c == EOF) return at_end(reader);
    Step step = c == '<' ? read_markup(reader, entry) : read_text(reader, c, entry);
    if (step == kEntry) return kEntryLine;
    if (step == kTooLong) return kLineTooLong;
    if (step == kBroken) return kPlaylistBroken;
  }
}
