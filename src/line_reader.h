// The playlist line reader: turns the bytes of an open playlist into entry
// lines, one at a time.
//
// A playlist is read as raw bytes in whatever code page it was written in.
// A line ends at CR LF, at a lone CR or at a lone LF; the end of the file
// also ends a last line that has no line end. A UTF-8 byte-order mark at the
// very start of the file is not part of the first line. Empty lines, lines
// whose first byte is "#" and lines whose first byte is 0x00 are passed
// over. Every other line is an entry line: its bytes up to the first 0x00,
// nothing trimmed and nothing converted.
//
// The reader knows nothing of backslashes, destinations or copying.
#ifndef LISKO_LINE_READER_H
#define LISKO_LINE_READER_H

#include <cstdio>

// Sizes shared by the whole tool: each holds its longest text and a zero.
enum : unsigned {
  kDestSize = 256,        // dest: at most 255 characters
  kLineSize = 1024,       // an entry line: at most 1,023 bytes
  kTargetNameSize = 1024  // a target name: at most 1,023 characters
};

enum LineStatus {
  kEntryLine,      // line holds the next entry line, zero-terminated
  kLineTooLong,    // a line of more than 1,023 bytes was passed over
  kEndOfPlaylist,  // the playlist has ended; call no more
  kReadFailed      // reading the playlist failed; call no more
};

// Reads the playlist up to and including the next entry line and stores it
// in line. at_start must be true for the first call on a freshly opened
// playlist (so that a byte-order mark is recognised) and is cleared by it.
// Never stores more than kLineSize bytes.
LineStatus next_entry_line(FILE* playlist, char (&line)[kLineSize], bool* at_start);

#endif
