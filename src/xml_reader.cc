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
#include <cstdlib>
#include <cstring>

namespace {

const long kNone = -1;
const char kXspfNamespace[] = "http://xspf.org/ns/0/";

// What one step of the scan found.
enum Step { kGoOn, kEntry, kTooLong, kBroken };

// What a tag holds that the reader needs: its name, and the value of the
// one attribute wanted, where it has it.
struct Tag {
  char name[kXmlNameSize];
  const char* wanted;
  char* value;  // where the wanted value is kept, kLineSize bytes
  bool found;
  bool too_long;
  bool empty;  // <name ... />, or an instruction
};

long get(XmlReader* reader) {
  long c = reader->held;
  reader->held = kNone;
  if (c == kNone) c = next_char(reader->source);
  if (c == '\n') ++reader->line;
  return c;
}

void put_back(XmlReader* reader, long c) {
  if (c == '\n') --reader->line;
  reader->held = c;
}

// Ends the reading: "line N: " and what is wrong, with detail for its %s.
bool fail(XmlReader* reader, const char* what, const char* detail = "") {
  int at = snprintf(reader->why, sizeof reader->why, "line %u: ", reader->line);
  snprintf(reader->why + at, sizeof reader->why - at, what, detail);
  return false;
}

Step stop(XmlReader* reader, const char* what, const char* detail = "") {
  fail(reader, what, detail);
  return kBroken;
}

bool is_space(long c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool is_name_char(long c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ':' || c == '-' || c == '.' || (c >= 0x80 && c != kNotAChar);
}

// The name without its namespace prefix.
const char* local_name(const char* name) {
  const char* colon = strrchr(name, ':');
  return colon != nullptr ? colon + 1 : name;
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

bool same_in_any_case(const char* one, const char* other) {
  for (; *one != '\0' && *other != '\0'; ++one, ++other)
    if (lower(*one) != lower(*other)) return false;
  return *one == *other;
}

long skip_spaces(XmlReader* reader) {
  long c;
  while (is_space(c = get(reader))) {
  }
  return c;
}

// Reads a name that begins with first into name.
bool read_name(XmlReader* reader, long first, char (&name)[kXmlNameSize]) {
  unsigned length = 0;
  if (!is_name_char(first)) return fail(reader, "markup without a name");
  long c = first;
  for (; is_name_char(c); c = get(reader))
    if (!append_char(reader->source, c, name, sizeof name, &length))
      return fail(reader, "a name longer than %s bytes", "63");
  name[length] = '\0';
  put_back(reader, c);
  return true;
}

// The character a reference names: &amp; &lt; &gt; &quot; &apos; &#NN;
// &#xHH;. Returns kNone where it names none of them.
long referred(const char* name) {
  const char* names[] = {"amp", "lt", "gt", "quot", "apos"};
  const char chars[] = {'&', '<', '>', '"', '\''};
  for (unsigned i = 0; i < sizeof chars; ++i)
    if (strcmp(name, names[i]) == 0) return chars[i];
  bool hex = name[0] == '#' && name[1] == 'x';
  const char* digits = name + (hex ? 2 : 1);
  const char* allowed = hex ? "0123456789abcdefABCDEF" : "0123456789";
  if (name[0] != '#' || digits[0] == '\0' || strspn(digits, allowed) != strlen(digits))
    return kNone;
  long c = strlen(digits) > 7 ? kNone : strtol(digits, nullptr, hex ? 16 : 10);
  bool valid = c > 0 && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
  return valid ? c : kNone;
}

// Stores c after the *length bytes of text (kLineSize bytes, or null where
// nothing is kept); one that does not fit sets *too_long.
void keep(XmlReader* reader, long c, bool decoded, char* text, unsigned* length, bool* too_long) {
  if (text == nullptr || *too_long) return;
  bool kept = decoded ? append_utf8(c, text, kLineSize, length)
                      : append_char(reader->source, c, text, kLineSize, length);
  if (!kept) *too_long = true;
}

// Reads a reference after its "&" and keeps its character.
bool read_reference(XmlReader* reader, char* text, unsigned* length, bool* too_long) {
  char name[16];
  unsigned used = 0;
  for (long c; (c = get(reader)) != ';';) {
    if (c < 0x21 || c > 0x7E || used + 1 >= sizeof name)
      return fail(reader, "a \"&\" that begins no reference");
    name[used++] = static_cast<char>(c);
  }
  name[used] = '\0';
  long named = referred(name);
  if (named == kNone)
    return fail(reader, "the reference &%s;, which no playlist may define (lisko reads no DTD)",
                name);
  keep(reader, named, true, text, length, too_long);
  return true;
}

// Reads an attribute's value up to its closing quote, into value where it
// is given.
bool read_value(XmlReader* reader, long quote, char* value, bool* too_long) {
  unsigned length = 0;
  for (long c; (c = get(reader)) != quote;) {
    if (c == EOF) return fail(reader, "the playlist ends inside a value");
    if (c == '<') return fail(reader, "a \"<\" inside a value");
    if (c == kNotAChar) return fail(reader, "a character that is not valid UTF-16");
    if (c == '&' && !read_reference(reader, value, &length, too_long)) return false;
    if (c != '&') keep(reader, c, false, value, &length, too_long);
  }
  if (value != nullptr) value[length] = '\0';
  return true;
}

// Reads one attribute, name="value", that begins with first.
bool read_attribute(XmlReader* reader, long first, Tag* tag) {
  char name[kXmlNameSize];
  if (!read_name(reader, first, name)) return false;
  if (skip_spaces(reader) != '=') return fail(reader, "the attribute %s without its value", name);
  long quote = skip_spaces(reader);
  if (quote != '"' && quote != '\'') return fail(reader, "the attribute %s without quotes", name);
  bool wanted = tag->wanted != nullptr && strcmp(name, tag->wanted) == 0;
  tag->found = tag->found || wanted;
  return read_value(reader, quote, wanted ? tag->value : nullptr, &tag->too_long);
}

// Reads the attributes of a tag to its end: ">" or "/>", or for a
// processing instruction "?>".
bool read_attributes(XmlReader* reader, Tag* tag, bool instruction) {
  for (;;) {
    long c = skip_spaces(reader);
    if (c == EOF) return fail(reader, "the playlist ends inside the tag <%s>", tag->name);
    if (c == '>' && !instruction) return true;
    if (c == (instruction ? '?' : '/')) {
      tag->empty = true;
      return get(reader) == '>' || fail(reader, "the tag <%s> is not ended", tag->name);
    }
    if (!read_attribute(reader, c, tag)) return false;
  }
}

// Passes over what follows up to and including end ("-->", "?>").
bool skip_to(XmlReader* reader, const char* end, const char* inside) {
  size_t length = strlen(end);
  size_t matched = 0;
  for (long c; matched < length && (c = get(reader)) != EOF;)
    matched = c == end[matched] ? matched + 1 : c == end[0] ? 1 : 0;
  return matched == length || fail(reader, "the playlist ends inside %s", inside);
}

// The quote a DOCTYPE is inside after c, where it was inside quote.
long quote_after(long c, long quote) {
  if (quote == kNone) return c == '"' || c == '\'' ? c : kNone;
  return c == quote ? kNone : quote;
}

// Passes over a DOCTYPE after its "<!DOCTYPE", with its internal subset,
// whose definitions lisko does not read. A ">" in quotes ends nothing.
bool skip_doctype(XmlReader* reader) {
  int brackets = 0;
  long quote = kNone;
  for (long c; (c = get(reader)) != EOF;) {
    bool quoted = quote != kNone;
    quote = quote_after(c, quote);
    if (quoted || quote != kNone) continue;
    if (c == '[') ++brackets;
    if (c == ']') --brackets;
    if (c == '>' && brackets <= 0) return true;
  }
  return fail(reader, "the playlist ends inside its DOCTYPE");
}

// Reads CDATA after its "<![CDATA[": its characters are text as they stand.
bool read_cdata(XmlReader* reader, char* text) {
  long pending[2] = {kNone, kNone};  // the last two, which may begin "]]>"
  for (long c; (c = get(reader)) != EOF;) {
    if (c == '>' && pending[0] == ']' && pending[1] == ']') return true;
    if (pending[0] != kNone)
      keep(reader, pending[0], false, text, &reader->text_length, &reader->text_too_long);
    pending[0] = pending[1];
    pending[1] = c;
  }
  return fail(reader, "the playlist ends inside CDATA");
}

// True when the next characters are word.
bool reads(XmlReader* reader, const char* word) {
  for (; *word != '\0'; ++word)
    if (get(reader) != *word) return false;
  return true;
}

// Reads what follows "<!": a comment, CDATA or a DOCTYPE.
bool read_declaration(XmlReader* reader, char* text) {
  long c = get(reader);
  if (c == '-' && reads(reader, "-")) return skip_to(reader, "-->", "a comment");
  if (c == '[' && reads(reader, "CDATA[")) return read_cdata(reader, text);
  if (c == 'D' && reads(reader, "OCTYPE")) return skip_doctype(reader);
  return fail(reader, "markup lisko does not know (\"<!\")");
}

bool is_known_encoding(const char* name) {
  const char* known[] = {"UTF-8", "UTF8", "UTF-16", "UTF-16LE", "UTF-16BE", "US-ASCII", "ASCII"};
  for (const char* encoding : known)
    if (same_in_any_case(name, encoding)) return true;
  return false;
}

// Reads a processing instruction after its "<?": of the XML declaration
// the encoding, which must be one lisko reads; of any other, nothing.
bool read_instruction(XmlReader* reader) {
  char encoding[kLineSize];
  Tag tag = {};
  if (!read_name(reader, get(reader), tag.name)) return false;
  if (strcmp(tag.name, "xml") != 0) return skip_to(reader, "?>", "an instruction");
  tag.wanted = "encoding";
  tag.value = encoding;
  if (!read_attributes(reader, &tag, true)) return false;
  if (tag.found && (tag.too_long || !is_known_encoding(encoding)))
    return fail(reader,
                "the playlist says it is in %.40s, which lisko does not read (save it as "
                "UTF-8)",
                encoding);
  return true;
}

// Takes the playlist's format from its root element.
bool take_format(XmlReader* reader, const char* name, const char* name_space) {
  const char* local = local_name(name);
  if (strcmp(local, "playlist") == 0 && strcmp(name_space, kXspfNamespace) == 0)
    reader->format = kXspf;
  else if (strcmp(local, "smil") == 0)
    reader->format = kWpl;
  else
    return fail(reader, "an XML file whose root is <%s>, not a playlist lisko reads", name);
  return true;
}

bool open_element(XmlReader* reader, const char* name) {
  if (reader->depth == kXmlDepth) return fail(reader, "elements nested deeper than %s", "64");
  strcpy(reader->open[reader->depth++], name);  // fits: both are kXmlNameSize
  return true;
}

// Opens the element of tag, whose parent is parent: a <location> of an
// XSPF <track> begins an entry's text.
bool open_tag(XmlReader* reader, const Tag& tag, const char* parent) {
  if (!tag.empty && !open_element(reader, tag.name)) return false;
  bool location = strcmp(local_name(tag.name), "location") == 0 && strcmp(parent, "track") == 0;
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

Step read_start_tag(XmlReader* reader, long first, char (&entry)[kLineSize]) {
  char name_space[kLineSize] = "";
  Tag tag = {};
  if (!read_name(reader, first, tag.name)) return kBroken;
  bool root = reader->depth == 0;
  if (root && reader->format != kNotYetKnown)
    return stop(reader, "a second root element, <%s>", tag.name);
  const char* parent = root ? "" : local_name(reader->open[reader->depth - 1]);
  bool media = reader->format == kWpl && strcmp(local_name(tag.name), "media") == 0;
  want_attribute(&tag, root, media, name_space, entry);
  if (!read_attributes(reader, &tag, false)) return kBroken;
  if (root && !take_format(reader, tag.name, name_space)) return kBroken;
  if (!open_tag(reader, tag, parent)) return kBroken;
  if (!media || !tag.found) return kGoOn;
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

Step read_end_tag(XmlReader* reader, char (&entry)[kLineSize]) {
  char name[kXmlNameSize];
  if (!read_name(reader, get(reader), name)) return kBroken;
  if (skip_spaces(reader) != '>') return stop(reader, "the tag </%s> is not ended", name);
  if (reader->depth == 0) return stop(reader, "</%s>, which closes no element open", name);
  const char* open = reader->open[reader->depth - 1];
  if (strcmp(name, open) != 0) return stop(reader, "</%s> where another element is open", name);
  --reader->depth;
  if (!reader->in_location || strcmp(local_name(name), "location") != 0) return kGoOn;
  reader->in_location = false;
  if (reader->text_too_long) return kTooLong;
  trim(entry, &reader->text_length);
  return reader->text_length > 0 ? kEntry : kGoOn;
}

Step read_markup(XmlReader* reader, char (&entry)[kLineSize]) {
  long c = get(reader);
  char* text = reader->in_location ? entry : nullptr;
  if (c == '/') return read_end_tag(reader, entry);
  if (c == '!') return read_declaration(reader, text) ? kGoOn : kBroken;
  if (c == '?') return read_instruction(reader) ? kGoOn : kBroken;
  return read_start_tag(reader, c, entry);
}

Step read_text(XmlReader* reader, long c, char (&entry)[kLineSize]) {
  char* text = reader->in_location ? entry : nullptr;
  if (c == kNotAChar) return stop(reader, "a character that is not valid UTF-16");
  if (c == '&')
    return read_reference(reader, text, &reader->text_length, &reader->text_too_long) ? kGoOn
                                                                                      : kBroken;
  if (reader->depth == 0 && !is_space(c))
    return stop(reader, "text outside the playlist's root element");
  keep(reader, c, false, text, &reader->text_length, &reader->text_too_long);
  return kGoOn;
}

LineStatus at_end(XmlReader* reader) {
  if (ferror(reader->source->playlist)) return kReadFailed;
  if (reader->depth > 0)
    fail(reader, "the playlist ends inside <%s>", reader->open[reader->depth - 1]);
  else if (reader->format == kNotYetKnown)
    fail(reader, "the playlist ends before its root element");
  else
    return kEndOfPlaylist;
  return kPlaylistBroken;
}

}  // namespace

void start_xml_reader(XmlReader* reader, LineReader* source) {
  reader->source = source;
  reader->format = kNotYetKnown;
  reader->depth = 0;
  reader->held = kNone;
  reader->line = 1;
  reader->in_location = false;
  reader->text_length = 0;
  reader->text_too_long = false;
  reader->why[0] = '\0';
}

LineStatus next_xml_entry(XmlReader* reader, char (&entry)[kLineSize]) {
  for (;;) {
    long c = get(reader);
    if (c == EOF) return at_end(reader);
    Step step = c == '<' ? read_markup(reader, entry) : read_text(reader, c, entry);
    if (step == kEntry) return kEntryLine;
    if (step == kTooLong) return kLineTooLong;
    if (step == kBroken) return kPlaylistBroken;
  }
}
