// The playlist line reader.
//
// Bytes are read one at a time from the buffered stream and stored into
// the caller's line buffer until a line end. After a CR the next byte is
// taken only if it is an LF, and otherwise put back to begin the next line.
// A line that does not fit the buffer is read to its end without storing
// any more of it. Lines that name no entry are read whole and passed over.
#include "line_reader.h"

namespace {

const unsigned char kByteOrderMark[] = {0xEF, 0xBB, 0xBF};

// Consumes a UTF-8 byte-order mark at the start of the playlist. When the
// first bytes only begin like one, they begin the first line instead: they
// are stored in line and their count is returned.
unsigned skip_byte_order_mark(FILE* playlist, char (&line)[kLineSize]) {
  unsigned matched = 0;
  while (matched < sizeof kByteOrderMark) {
    int byte = getc(playlist);
    if (byte != kByteOrderMark[matched]) {
      if (byte != EOF) ungetc(byte, playlist);
      break;
    }
    line[matched++] = static_cast<char>(byte);
  }
  return matched == sizeof kByteOrderMark ? 0 : matched;
}

// Reads one byte of the playlist, with each line end (CR LF, a lone CR or
// a lone LF) read as one LF.
int read_byte(FILE* playlist) {
  int byte = getc(playlist);
  if (byte != '\r') return byte;
  int next = getc(playlist);
  if (next != '\n' && next != EOF) ungetc(next, playlist);
  return '\n';
}

bool is_passed_over(const char* line, unsigned length) {
  return length == 0 || line[0] == '\0' || line[0] == '#';
}

}  // namespace

LineStatus read_raw_line(FILE* playlist, char (&line)[kLineSize], unsigned* length) {
  bool too_long = false;
  int byte;
  while ((byte = read_byte(playlist)) != '\n' && byte != EOF) {
    if (*length < kLineSize - 1)
      line[(*length)++] = static_cast<char>(byte);
    else
      too_long = true;
  }
  if (byte == EOF && ferror(playlist)) return kReadFailed;
  if (byte == EOF && *length == 0) return kEndOfPlaylist;
  line[*length] = '\0';
  return too_long ? kLineTooLong : kEntryLine;
}

LineStatus next_entry_line(FILE* playlist, char (&line)[kLineSize], bool* at_start) {
  unsigned length = 0;
  if (*at_start) {
    *at_start = false;
    length = skip_byte_order_mark(playlist, line);
  }
  for (;;) {
    LineStatus status = read_raw_line(playlist, line, &length);
    if (status == kEndOfPlaylist || status == kReadFailed) return status;
    if (!is_passed_over(line, length)) return status;
    length = 0;
  }
}
