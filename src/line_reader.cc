// The playlist line reader.
//
// Units, bytes or UTF-16 code units, are read one at a time from the
// buffered stream, and each character is stored into the caller's line
// buffer (a UTF-16 one as its UTF-8 bytes) until a line end. After a CR the
// next unit is taken only if it is an LF, and otherwise held to begin the
// next line. A line that does not fit the buffer is read to its end without
// storing any more of it. Lines that name no entry are read whole and
// passed over.
#include "line_reader.h"

#include <cstring>

#include "terminal.h"

namespace {

const long kNothingHeld = -1;
const long kNotText = kNotAChar;
const long kReplacement = 0xFFFD;

// Reads a byte of the file, or the next one of a mark that was none. The
// clock is read every 64 KiB, where the reading has a time to end by.
int read_byte(LineReader* reader) {
  if (reader->ahead_at < reader->ahead_count)
    return static_cast<int>(reader->ahead[reader->ahead_at++]);
  bool look = reader->give_up_at > 0 && ++reader->bytes_read % (64 << 10) == 0;
  if (look && seconds_now() > reader->give_up_at) reader->gave_up = true;
  return reader->gave_up ? EOF : getc(reader->playlist);
}

// True where the first bytes of the playlist, bytes, are a byte-order
// mark; sets the encoding it shows. Reads the next byte into bytes[count]
// as needed.
bool is_byte_order_mark(LineReader* reader, long* bytes, unsigned* count) {
  FILE* playlist = reader->playlist;
  if (bytes[0] == 0xFF || bytes[0] == 0xFE) {
    bytes[(*count)++] = getc(playlist);
    if (bytes[1] != (bytes[0] == 0xFF ? 0xFE : 0xFF)) return false;
    reader->encoding = bytes[0] == 0xFF ? kUtf16Le : kUtf16Be;
    return true;
  }
  if (bytes[0] != 0xEF) return false;
  bytes[(*count)++] = getc(playlist);
  if (bytes[1] != 0xBB) return false;
  bytes[(*count)++] = getc(playlist);
  return bytes[2] == 0xBF;
}

// Reads the byte-order mark at the start of the playlist and sets the
// encoding. When the first bytes only begin like a mark, they begin the
// first line instead: they are read again.
void read_byte_order_mark(LineReader* reader) {
  long* bytes = reader->ahead;
  unsigned count = 0;
  reader->encoding = kBytes;
  bytes[count++] = getc(reader->playlist);
  if (is_byte_order_mark(reader, bytes, &count)) count = 0;
  while (count > 0 && bytes[count - 1] == EOF) --count;  // the end is met again
  reader->ahead_at = 0;
  reader->ahead_count = count;
}

// Reads one byte or UTF-16 code unit from the file; a lone last byte of
// UTF-16 is dropped.
long read_fresh_unit(LineReader* reader) {
  if (reader->encoding == kNotYetRead) read_byte_order_mark(reader);
  int first = read_byte(reader);
  if (reader->encoding == kBytes || first == EOF) return first;
  int second = read_byte(reader);
  if (second == EOF) return EOF;
  return reader->encoding == kUtf16Le ? first | second << 8 : first << 8 | second;
}

// Reads one unit: one held past a line end, one read ahead, or the next.
long read_unit(LineReader* reader) {
  if (reader->held != kNothingHeld) {
    long unit = reader->held;
    reader->held = kNothingHeld;
    return unit;
  }
  if (reader->peeked_at < reader->peeked_count) return reader->peeked[reader->peeked_at++];
  return read_fresh_unit(reader);
}

// Reads one unit, with each line end (CR LF, a lone CR or a lone LF) read
// as one LF.
long read_unit_or_line_end(LineReader* reader) {
  long unit = read_unit(reader);
  if (unit != '\r') return unit;
  long next = read_unit(reader);
  if (next != '\n' && next != EOF) reader->held = next;
  return '\n';
}

// Reads one character: a byte, or a UTF-16 character with its surrogates
// joined, or kNotText for a surrogate without its pair.
long read_char(LineReader* reader) {
  long unit = read_unit_or_line_end(reader);
  if (reader->encoding == kBytes || unit < 0xD800 || unit > 0xDFFF) return unit;
  if (unit >= 0xDC00) return kNotText;
  long low = read_unit(reader);
  if (low >= 0xDC00 && low <= 0xDFFF) return 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
  if (low != EOF) reader->held = low;
  return kNotText;
}

// Puts character c into bytes as UTF-8; returns how many bytes it takes.
unsigned to_utf8(long c, unsigned char (&bytes)[4]) {
  if (c < 0x80) {
    bytes[0] = static_cast<unsigned char>(c);
    return 1;
  }
  const unsigned char lead_bits[] = {0, 0, 0xC0, 0xE0, 0xF0};
  unsigned count = c < 0x800 ? 2 : c < 0x10000 ? 3 : 4;
  for (unsigned i = count - 1; i > 0; --i, c >>= 6)
    bytes[i] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  bytes[0] = static_cast<unsigned char>(lead_bits[count] | c);
  return count;
}

// Stores character c in line after its *length bytes: a byte as it is, a
// character of UTF-16 as UTF-8. Returns false when it does not fit.
bool store(long c, PlaylistEncoding encoding, char (&line)[kLineSize], unsigned* length) {
  unsigned char bytes[4] = {static_cast<unsigned char>(c)};
  unsigned count = encoding == kBytes ? 1 : to_utf8(c, bytes);
  if (*length + count > kLineSize - 1) return false;
  memcpy(line + *length, bytes, count);
  *length += count;
  return true;
}

// Reads one line, whatever it holds, up to and including its line end,
// into line after the *length bytes already stored there (the start of a
// byte-order mark that was not one). Sets *length to the bytes stored and
// zero-terminates them. Reports the end of the playlist only when no
// character of a line was read.
LineStatus read_raw_line(LineReader* reader, char (&line)[kLineSize], unsigned* length) {
  bool too_long = false;
  bool not_text = false;
  long c;
  while ((c = read_char(reader)) != '\n' && c != EOF) {
    if (c == kNotText) {
      not_text = true;
      c = kReplacement;  // so that what is stored is never taken for a "#" line
    }
    if (too_long || !store(c, reader->encoding, line, length)) too_long = true;
  }
  if (c == EOF && ferror(reader->playlist)) return kReadFailed;
  if (c == EOF && *length == 0) return kEndOfPlaylist;
  line[*length] = '\0';
  if (too_long) return kLineTooLong;
  return not_text ? kLineNotText : kEntryLine;
}

bool is_passed_over(const char* line, unsigned length) {
  return length == 0 || line[0] == '\0' || line[0] == '#';
}

}  // namespace

LineStatus next_entry_line(LineReader* reader, char (&line)[kLineSize]) {
  unsigned length = 0;
  for (;;) {
    LineStatus status = read_raw_line(reader, line, &length);
    if (status == kEndOfPlaylist || status == kReadFailed) return status;
    if (!is_passed_over(line, length)) return status;
    length = 0;
  }
}

long peek_next(LineReader* reader) {
  if (reader->peeked_count == kPeekSize) return EOF;
  long unit = read_fresh_unit(reader);
  if (unit == EOF) return EOF;
  reader->peeked[reader->peeked_count++] = unit;
  return unit < 0x80 ? unit : '?';
}

long next_char(LineReader* reader) { return read_char(reader); }

bool append_utf8(long c, char* text, unsigned size, unsigned* length) {
  unsigned char bytes[4];
  unsigned count = to_utf8(c, bytes);
  if (*length + count > size - 1) return false;
  memcpy(text + *length, bytes, count);
  *length += count;
  return true;
}

bool append_char(const LineReader* reader, long c, char* text, unsigned size, unsigned* length) {
  unsigned char bytes[4] = {static_cast<unsigned char>(c)};
  unsigned count =
      reader->encoding == kBytes ? 1 : to_utf8(c == kNotText ? kReplacement : c, bytes);
  if (*length + count > size - 1) return false;
  memcpy(text + *length, bytes, count);
  *length += count;
  return true;
}
