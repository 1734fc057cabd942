// The XML scanner under the readers of XSPF and WPL playlists. No entity
// that a DTD defines is known, so a document cannot make lisko expand its
// own entities; a DOCTYPE is passed over whole.
#include "xml_scanner.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

void start_xml_scanner(XmlScanner* scanner, LineReader* source) {
  scanner->source = source;
  scanner->held = xml::kNone;
  scanner->line = 1;
  scanner->why[0] = '\0';
  scanner->note[0] = '\0';
  scanner->lenient = false;
}

namespace xml {
namespace {

bool is_name_char(long c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
         c == ':' || c == '-' || c == '.' || (c >= 0x80 && c != kNotAChar);
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c | 0x20) : c; }

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
bool read_value(XmlScanner* scanner, long quote, char* value, bool* too_long) {
  unsigned length = 0;
  for (long c; (c = get(scanner)) != quote;) {
    if (c == EOF) return fail(scanner, "the playlist ends inside a value");
    if (c == '<') return fail(scanner, "a \"<\" inside a value");
    if (c == kNotAChar || c == 0) return fail(scanner, "a character that XML does not allow");
    if (c == '&' && !read_reference(scanner, value, &length, too_long)) return false;
    if (c != '&') keep(scanner, c, false, value, &length, too_long);
  }
  if (value != nullptr) value[length] = '\0';
  return true;
}

// Reads a value without quotes, as a lenient scanner takes one, that
// begins with first: up to a blank or the tag's end, "/>" setting *empty.
bool read_bare_value(XmlScanner* scanner, long first, char* value, bool* too_long, bool* empty) {
  unsigned length = 0;
  long c = first;
  for (; c != EOF && !is_space(c) && c != '>'; c = get(scanner)) {
    long next = c == '/' ? get(scanner) : kNone;  // the end of an empty tag, or part of the value
    if (next == '>') *empty = true;
    if (next == '>') break;
    if (next != kNone) put_back(scanner, next);
    if (c == kNotAChar || c == 0) return fail(scanner, "a character that XML does not allow");
    keep(scanner, c, false, value, &length, too_long);
  }
  put_back(scanner, *empty ? '>' : c);
  if (value != nullptr) value[length] = '\0';
  return true;
}

// Reads one attribute, name="value", that begins with first.
bool read_attribute(XmlScanner* scanner, long first, Tag* tag) {
  char name[kXmlNameSize];
  if (!read_name(scanner, first, name)) return false;
  if (skip_spaces(scanner) != '=') return fail(scanner, "the attribute %s without its value", name);
  long quote = skip_spaces(scanner);
  bool wanted = tag->wanted != nullptr && (scanner->lenient ? same_in_any_case(name, tag->wanted)
                                                            : strcmp(name, tag->wanted) == 0);
  tag->found = tag->found || wanted;
  if (quote != '"' && quote != '\'' && scanner->lenient)
    return read_bare_value(scanner, quote, wanted ? tag->value : nullptr, &tag->too_long, &tag->empty);
  if (quote != '"' && quote != '\'') return fail(scanner, "the attribute %s without quotes", name);
  if (tag->base != nullptr && strcmp(name, "xml:base") == 0)
    return read_value(scanner, quote, tag->base, &tag->base_too_long);
  return read_value(scanner, quote, wanted ? tag->value : nullptr, &tag->too_long);
}

// Passes over what follows up to and including end ("-->", "?>").
bool skip_to(XmlScanner* scanner, const char* end, const char* inside) {
  size_t length = strlen(end);
  size_t matched = 0;
  for (long c; matched < length && (c = get(scanner)) != EOF;)
    matched = c == end[matched] ? matched + 1 : c == end[0] ? 1 : 0;
  return matched == length || fail(scanner, "the playlist ends inside %s", inside);
}

// The quote a DOCTYPE is inside after c, where it was inside quote.
long quote_after(long c, long quote) {
  if (quote == kNone) return c == '"' || c == '\'' ? c : kNone;
  return c == quote ? kNone : quote;
}

// Passes over a DOCTYPE after its "<!DOCTYPE", with its internal subset,
// whose definitions lisko does not read. A ">" in quotes ends nothing.
bool skip_doctype(XmlScanner* scanner) {
  int brackets = 0;
  long quote = kNone;
  for (long c; (c = get(scanner)) != EOF;) {
    bool quoted = quote != kNone;
    quote = quote_after(c, quote);
    if (quoted || quote != kNone) continue;
    if (c == '[') ++brackets;
    if (c == ']') --brackets;
    if (c == '>' && brackets <= 0) return true;
  }
  return fail(scanner, "the playlist ends inside its DOCTYPE");
}

// Reads CDATA after its "<![CDATA[": its characters are text as they stand.
bool read_cdata(XmlScanner* scanner, char* text, unsigned* length, bool* too_long) {
  long pending[2] = {kNone, kNone};  // the last two, which may begin "]]>"
  for (long c; (c = get(scanner)) != EOF;) {
    if (c == '>' && pending[0] == ']' && pending[1] == ']') return true;
    if (c == 0) return fail(scanner, "a character that XML does not allow");
    if (pending[0] != kNone)
      keep(scanner, pending[0], false, text, length, too_long);
    pending[0] = pending[1];
    pending[1] = c;
  }
  return fail(scanner, "the playlist ends inside CDATA");
}

// True when the next characters are word.
bool reads(XmlScanner* scanner, const char* word) {
  for (; *word != '\0'; ++word)
    if (get(scanner) != *word) return false;
  return true;
}

bool is_known_encoding(const char* name) {
  const char* known[] = {"UTF-8", "UTF8", "UTF-16", "UTF-16LE", "UTF-16BE", "US-ASCII", "ASCII"};
  for (const char* encoding : known)
    if (same_in_any_case(name, encoding)) return true;
  return false;
}

}  // namespace

long get(XmlScanner* scanner) {
  long c = scanner->held;
  scanner->held = kNone;
  if (c == kNone) c = next_char(scanner->source);
  if (c == '\n') ++scanner->line;
  return c;
}

void put_back(XmlScanner* scanner, long c) {
  if (c == '\n') --scanner->line;
  scanner->held = c;
}

bool fail(XmlScanner* scanner, const char* what, const char* detail) {
  int at = snprintf(scanner->why, sizeof scanner->why, "line %u: ", scanner->line);
  snprintf(scanner->why + at, sizeof scanner->why - at, what, detail);
  return false;
}

bool is_space(long c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

bool same_in_any_case(const char* one, const char* other) {
  for (; *one != '\0' && *other != '\0'; ++one, ++other)
    if (lower(*one) != lower(*other)) return false;
  return *one == *other;
}

const char* local_name(const char* name) {
  const char* colon = strrchr(name, ':');
  return colon != nullptr ? colon + 1 : name;
}

long skip_spaces(XmlScanner* scanner) {
  long c;
  while (is_space(c = get(scanner))) {
  }
  return c;
}

bool read_name(XmlScanner* scanner, long first, char (&name)[kXmlNameSize]) {
  unsigned length = 0;
  if (!is_name_char(first)) return fail(scanner, "markup without a name");
  long c = first;
  for (; is_name_char(c); c = get(scanner))
    if (!append_char(scanner->source, c, name, sizeof name, &length))
      return fail(scanner, "a name longer than %s bytes", "63");
  name[length] = '\0';
  put_back(scanner, c);
  return true;
}

void keep(XmlScanner* scanner, long c, bool decoded, char* text, unsigned* length, bool* too_long) {
  if (text == nullptr || *too_long) return;
  bool kept = decoded ? append_utf8(c, text, kLineSize, length)
                      : append_char(scanner->source, c, text, kLineSize, length);
  if (!kept) *too_long = true;
}

namespace {

// A character that may stand in a reference's name.
bool in_reference(long c) {
  return c == '#' || (c < 0x80 && is_name_char(c) && c != ':');
}

// An "&" that begins no reference ("Rock & Roll"), as some programs write
// it: the character "&" and what was read after it, as text; noted once,
// but where the scanner is lenient: there it is as players read it.
void take_bare_ampersand(XmlScanner* scanner, const char* read, char* text, unsigned* length,
                         bool* too_long) {
  if (scanner->note[0] == '\0' && !scanner->lenient)
    snprintf(scanner->note, sizeof scanner->note,
             "line %u: a \"&\" that begins no reference, read as the character \"&\"",
             scanner->line);
  keep(scanner, '&', false, text, length, too_long);
  for (; *read != '\0'; ++read) keep(scanner, *read, false, text, length, too_long);
}

}  // namespace

bool read_reference(XmlScanner* scanner, char* text, unsigned* length, bool* too_long) {
  char name[16];
  unsigned used = 0;
  long c;
  for (; (c = get(scanner)) != ';' && in_reference(c) && used + 1 < sizeof name; ++used)
    name[used] = static_cast<char>(c);
  name[used] = '\0';
  if (c != ';') {
    put_back(scanner, c);
    take_bare_ampersand(scanner, name, text, length, too_long);
    return true;
  }
  long named = referred(name);
  if (named == kNone && scanner->lenient) {  // "&nbsp;": the text it is
    take_bare_ampersand(scanner, name, text, length, too_long);
    keep(scanner, ';', false, text, length, too_long);
    return true;
  }
  if (named == kNotAChar)
    return fail(scanner, "the reference &%s;, a character no name may hold", name);
  if (named == kNone)
    return fail(scanner, "the reference &%s;, which no playlist may define (lisko reads no DTD)",
                name);
  keep(scanner, named, true, text, length, too_long);
  return true;
}

bool read_attributes(XmlScanner* scanner, Tag* tag, bool instruction) {
  for (;;) {
    long c = skip_spaces(scanner);
    if (c == EOF) return fail(scanner, "the playlist ends inside the tag <%s>", tag->name);
    if (c == '>' && !instruction) return true;
    if (c == (instruction ? '?' : '/')) {
      tag->empty = true;
      return get(scanner) == '>' || fail(scanner, "the tag <%s> is not ended", tag->name);
    }
    if (!read_attribute(scanner, c, tag)) return false;
  }
}

bool read_declaration(XmlScanner* scanner, char* text, unsigned* length, bool* too_long) {
  long c = get(scanner);
  if (c == '-' && reads(scanner, "-")) return skip_to(scanner, "-->", "a comment");
  if (c == '[' && reads(scanner, "CDATA[")) return read_cdata(scanner, text, length, too_long);
  if (c == 'D' && reads(scanner, "OCTYPE")) return skip_doctype(scanner);
  return fail(scanner, "markup lisko does not know (\"<!\")");
}

bool read_instruction(XmlScanner* scanner) {
  char encoding[kLineSize];
  Tag tag = {};
  if (!read_name(scanner, get(scanner), tag.name)) return false;
  if (strcmp(tag.name, "xml") != 0) return skip_to(scanner, "?>", "an instruction");
  tag.wanted = "encoding";
  tag.value = encoding;
  if (!read_attributes(scanner, &tag, true)) return false;
  if (tag.found && !scanner->lenient && (tag.too_long || !is_known_encoding(encoding)))
    return fail(scanner,
                "the playlist says it is in %.40s, which lisko does not read (save it as "
                "UTF-8)",
                encoding);
  return true;
}

}  // namespace xml
