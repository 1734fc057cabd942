// The playlist line reader.
//
// Bytes are read one at a time from the buffered stream and stored into
// the caller's line buffer until a line end. A line end is CR LF, a lone CR
// or a lone LF: after a CR the next byte is taken only if it is an LF, and
// otherwise put back to begin the next line. The end of the file ends a last
// line that has no line end. A line that would not fit the buffer is read
// to its end without storing any more of it, and reported as too long
// unless it would have been passed over anyway.
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

bool is_passed_over(const char* line, unsigned length) {
  return length == 0 || line[0] == '\0' || line[0] == '#';
}

}  // namespace

LineStatus next_entry_line(FILE* playlist, char (&line)[kLineSize], bool* at_start) {
  unsigned length = 0;
  bool too_long = false;
  if (*at_start) {
    *at_start = false;
    length = skip_byte_order_mark(playlist, line);
  }
  for (;;) {
    int byte = getc(playlist);
    if (byte == EOF) {
      if (ferror(playlist)) return kReadFailed;
      if (length == 0) return kEndOfPlaylist;
    } else if (byte == '\r') {
      int next = getc(playlist);
      if (next != '\n' && next != EOF) ungetc(next, playlist);
    } else if (byte != '\n') {
      if (length < kLineSize - 1)
        line[length++] = static_cast<char>(byte);
      else
        too_long = true;
      continue;
    }
    // A line has ended: at a line end, or at the end of the file.
    line[length] = '\0';
    if (!is_passed_over(line, length)) return too_long ? kLineTooLong : kEntryLine;
    length = 0;
    too_long = false;
  }
}
