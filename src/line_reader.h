// The playlist line reader: lisko's chief interface. It turns the bytes of
// an open playlist into entry lines, one at a time.
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

// An entry line holds at most 1,023 bytes and its terminating zero.
constexpr unsigned kLineSize = 1024;

enum LineStatus {
  kEntryLine,      // line holds the next line, zero-terminated
  kLineTooLong,    // the line went on past 1,023 bytes; line holds its start
  kEndOfPlaylist,  // the playlist has ended; call no more
  kReadFailed      // reading the playlist failed; call no more
};

// Reads one line of the playlist, whatever it holds, up to and including
// its line end, into line after the *length bytes already stored there (the
// start of a byte-order mark that was not one). Sets *length to the bytes
// stored and zero-terminates them. Bytes past the buffer are read and
// dropped, and the line is reported as too long. Reports the end of the
// playlist only when no byte of a line was read.
LineStatus read_raw_line(FILE* playlist, char (&line)[kLineSize], unsigned* length);

// Reads the playlist up to and including the next entry line and stores it
// in line, passing over the lines that name no entry. at_start must be true
// for the first call on a freshly opened playlist (so that a byte-order
// mark is recognised) and is cleared by it. A too-long line is reported
// only when it would not have been passed over anyway.
LineStatus next_entry_line(FILE* playlist, char (&line)[kLineSize], bool* at_start);

#endif
