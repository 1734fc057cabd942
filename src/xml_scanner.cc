// The XML scanner under the readers of XSPF and WPL playlists. No entity
// that a DTD defines is known, so a document cannot make lisko expand its
// own entities; a DOCTYPE is passed over whole.
#include "xml_scanner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace xml {
namespace {

bool is_name_char(long c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ':' || c == '-' || c == '.' || (c >= 0x80 && c != kNotAChar);
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

bool same_in_any_case(const char* one, const char* other) {
  for (; *one != '\0' && *other != '\0'; ++one, ++other)
    if (lower(*one) != lower(*other)) return false;
  return *one == *other;
}

// The character a reference names: &amp; &lt; &gt; &quot; &apos; &#NN;
// &#xHH;. Returns kNone where it names none of them, and kNotAChar for a
// number that is no character a name may hold (&#0;).
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
  long c = strlen(digits) > 7 ? kNotAChar : strtol(digits, nullptr, hex ? 16 : 10);
  bool valid = c > 0 && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF);
  return valid ? c : kNotAChar;
}

// Reads an attribute's value up to its closing quote, into value where it
// is given.
bool read_value(XmlReader* reader, long quote, char* value, bool* too_long) {
  unsigned length = 0;
  for (long c; (c = get(reader)) != quote;) {
    if (c == EOF) return fail(reader, "the playlist ends inside a value");
    if (c == '<') return fail(reader, "a \"<\" inside a value");
    if (c == kNotAChar || c == 0) return fail(reader, "a character that XML does not allow");
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
  if (tag->base != nullptr && strcmp(name, "xml:base") == 0)
    return read_value(reader, quote, tag->base, &tag->base_too_long);
  return read_value(reader, quote, wanted ? tag->value : nullptr, &tag->too_long);
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
    if (c == 0) return fail(reader, "a character that XML does not allow");
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

bool is_known_encoding(const char* name) {
  const char* known[] = {"UTF-8", "UTF8", "UTF-16", "UTF-16LE", "UTF-16BE", "US-ASCII", "ASCII"};
  for (const char* encoding : known)
    if (same_in_any_case(name, encoding)) return true;
  return false;
}

}  // namespace

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

bool fail(XmlReader* reader, const char* what, const char* detail) {
  int at = snprintf(reader->why, sizeof reader->why, "line %u: ", reader->line);
  snprintf(reader->why + at, sizeof reader->why - at, what, detail);
  return false;
}

bool is_space(long c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

const char* local_name(const char* name) {
  const char* colon = strrchr(name, ':');
  return colon != nullptr ? colon + 1 : name;
}

long skip_spaces(XmlReader* reader) {
  long c;
  while (is_space(c = get(reader))) {
  }
  return c;
}

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

void keep(XmlReader* reader, long c, bool decoded, char* text, unsigned* length, bool* too_long) {
  if (text == nullptr || *too_long) return;
  bool kept = decoded ? append_utf8(c, text, kLineSize, length)
                      : append_char(reader->source, c, text, kLineSize, length);
  if (!kept) *too_long = true;
}

namespace {

// A character that may stand in a reference's name.
bool in_reference(long c) {
  return c == '#' || (c < 0x80 && is_name_char(c) && c != ':');
}

// An "&" that begins no reference ("Rock & Roll"), as some programs write
// it: the character "&" and what was read after it, as text; noted once.
void take_bare_ampersand(XmlReader* reader, const char* read, char* text, unsigned* length,
                         bool* too_long) {
  if (reader->note[0] == '\0')
    snprintf(reader->note, sizeof reader->note,
             "line %u: a \"&\" that begins no reference, read as the character \"&\"",
             reader->line);
  keep(reader, '&', false, text, length, too_long);
  for (; *read != '\0'; ++read) keep(reader, *read, false, text, length, too_long);
}

}  // namespace

bool read_reference(XmlReader* reader, char* text, unsigned* length, bool* too_long) {
  char name[16];
  unsigned used = 0;
  long c;
  for (; (c = get(reader)) != ';' && in_reference(c) && used + 1 < sizeof name; ++used)
    name[used] = static_cast<char>(c);
  name[used] = '\0';
  if (c != ';') {
    put_back(reader, c);
    take_bare_ampersand(reader, name, text, length, too_long);
    return true;
  }
  long named = referred(name);
  if (named == kNotAChar)
    return fail(reader, "the reference &%s;, a character no name may hold", name);
  if (named == kNone)
    return fail(reader, "the reference &%s;, which no playlist may define (lisko reads no DTD)",
                name);
  keep(reader, named, true, text, length, too_long);
  return true;
}

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

bool read_declaration(XmlReader* reader, char* text) {
  long c = get(reader);
  if (c == '-' && reads(reader, "-")) return skip_to(reader, "-->", "a comment");
  if (c == '[' && reads(reader, "CDATA[")) return read_cdata(reader, text);
  if (c == 'D' && reads(reader, "OCTYPE")) return skip_doctype(reader);
  return fail(reader, "markup lisko does not know (\"<!\")");
}

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

}  // namespace xml
