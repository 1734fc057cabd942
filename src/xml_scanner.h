// The XML scanner under the readers of XSPF and WPL playlists: it reads
// names, attribute values, character and entity references, comments,
// CDATA, a DOCTYPE and processing instructions from a playlist's
// characters, with fixed buffers and no recursion, and says on which line
// what is wrong.
#ifndef LISKO_XML_SCANNER_H
#define LISKO_XML_SCANNER_H

#include "line_reader.h"

// Names are at most 63 bytes long.
constexpr unsigned kXmlNameSize = 64;

// What the scanner keeps as it reads. A lenient scanner reads markup as
// the players of ASX and B4S playlists do: attribute names in any case, a
// value without quotes (up to a blank or the tag's end), a reference it
// does not know and a bare "&" as the text they are, without a note; and
// the encoding a declaration names is not checked.
struct XmlScanner {
  LineReader* source;
  long held;       // a character read ahead, or -1
  unsigned line;   // of the playlist, for the reasons
  char why[160];   // the reason the reading ended, where it failed
  char note[160];  // what a user should know that ended nothing, or ""
  bool lenient;
};

// The scanner of the playlist that source reads, from its start.
void start_xml_scanner(XmlScanner* scanner, LineReader* source);

namespace xml {

// No character: nothing read ahead, no quote open.
constexpr long kNone = -1;

// What a tag holds that the reader needs: its name, and the value of the
// one attribute wanted, where it has it.
struct Tag {
  char name[kXmlNameSize];
  const char* wanted;
  char* value;  // where the wanted value is kept, kLineSize bytes
  char* base;   // where its xml:base is kept, kLineSize bytes, or null
  bool found;
  bool too_long;
  bool base_too_long;
  bool empty;  // <name ... />, or an instruction
};

// Reads the next character, or EOF; a character put back comes first.
long get(XmlScanner* scanner);
void put_back(XmlScanner* scanner, long c);

// Ends the reading: sets scanner->why to "line N: " and what is wrong,
// with detail for its %s. Returns false.
bool fail(XmlScanner* scanner, const char* what, const char* detail = "");

bool is_space(long c);

// The name without its namespace prefix.
const char* local_name(const char* name);

// True where the names one and other, ASCII, differ in case at most.
bool same_in_any_case(const char* one, const char* other);

// Reads past blanks and line ends; returns the character after them.
long skip_spaces(XmlScanner* scanner);

// Reads a name that begins with first into name.
bool read_name(XmlScanner* scanner, long first, char (&name)[kXmlNameSize]);

// Stores c after the *length bytes of text (kLineSize bytes, or null where
// nothing is kept): as UTF-8 where decoded (a reference's character), and
// otherwise as the playlist holds it. One that does not fit sets
// *too_long.
void keep(XmlScanner* scanner, long c, bool decoded, char* text, unsigned* length, bool* too_long);

// Reads a reference after its "&" and keeps its character. An "&" that
// begins no reference is kept as the character "&", and noted.
bool read_reference(XmlScanner* scanner, char* text, unsigned* length, bool* too_long);

// Reads the attributes of a tag to its end: ">" or "/>", or for a
// processing instruction "?>", keeping the value of tag->wanted.
bool read_attributes(XmlScanner* scanner, Tag* tag, bool instruction);

// Reads what follows "<!": a comment, CDATA (its text kept after the
// *length bytes of text, where given, as keep keeps it) or a DOCTYPE.
bool read_declaration(XmlScanner* scanner, char* text, unsigned* length, bool* too_long);

// Reads a processing instruction after its "<?": of the XML declaration
// the encoding, which must be one lisko reads; of any other, nothing.
bool read_instruction(XmlScanner* scanner);

}  // namespace xml

#endif
