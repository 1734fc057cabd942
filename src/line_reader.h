// The playlist line reader: lisko's chief interface. It turns the bytes of
// an open playlist into entry lines, one at a time.
//
// A playlist is read as raw bytes in whatever code page it was written in,
// unless it begins with a UTF-16 byte-order mark (FF FE or FE FF): then it
// is read as UTF-16, and each line is handed over in UTF-8. A UTF-8
// byte-order mark at the very start is not part of the first line; without
// any mark nothing is guessed. A line ends at CR LF, at a lone CR or at a
// lone LF; the end of the file also ends a last line that has no line end.
// Empty lines, lines whose first byte is "#" and lines whose first byte is
// 0x00 are passed over. Every other line is an entry line: its bytes up to
// the first 0x00, nothing trimmed.
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
  kLineNotText,    // a UTF-16 line held a surrogate without its pair
  kEndOfPlaylist,  // the playlist has ended; call no more
  kReadFailed,     // reading the playlist failed; call no more
  kPlaylistBroken  // (XML formats) the playlist is not what its format
                   // says; its reader tells why; call no more
};

enum PlaylistEncoding {
  kNotYetRead,  // the byte-order mark, if any, is still to be read
  kBytes,
  kUtf16Le,
  kUtf16Be
};

// Code units that may be read ahead at the start of a playlist, to tell
// its format, and handed over again as if they had not been.
constexpr unsigned kPeekSize = 256;

// What the reader keeps from one line to the next.
struct LineReader {
  FILE* playlist;
  PlaylistEncoding encoding;
  long held;        // a byte or code unit read past a line end, or -1
  long ahead[3];    // the start of what looked like a byte-order mark
  unsigned ahead_at, ahead_count;
  long peeked[kPeekSize];  // units read ahead by peek_next
  unsigned peeked_at, peeked_count;
  // Where give_up_at is set (seconds_now()), the playlist ends there, as
  // it is read, for a reading that must not take longer: gave_up says so.
  double give_up_at;
  unsigned long bytes_read;
  bool gave_up;
};

// The reader of a freshly opened playlist.
inline LineReader start_line_reader(FILE* playlist) {
  return {playlist, kNotYetRead, -1, {}, 0, 0, {}, 0, 0, 0, 0, false};
}

// Reads one more unit of the playlist's start ahead, after its byte-order
// mark, as plain text: an ASCII character as it is (line ends too), any
// other as "?". Returns EOF at the end, or once kPeekSize units are read
// ahead. Only before anything else is read; the reader then hands them
// over as ever.
long peek_next(LineReader* reader);

// A character that is no text: half of a UTF-16 surrogate pair.
constexpr long kNotAChar = 0x110000;

// Reads one character, for the readers of formats that are not read line
// by line: a byte, or a character of UTF-16 (kNotAChar for half a pair),
// each line end as "\n". Returns EOF at the end of the playlist.
long next_char(LineReader* reader);

// Stores the character c as UTF-8 after the *length bytes of text, a
// buffer of size bytes. Returns false, storing nothing, where it does not
// fit.
bool append_utf8(long c, char* text, unsigned size, unsigned* length);

// Stores c, from next_char, after the *length bytes of text, a buffer of
// size bytes: a byte as it is, a character of UTF-16 as UTF-8. Returns
// false, storing nothing, where it does not fit.
bool append_char(const LineReader* reader, long c, char* text, unsigned size, unsigned* length);

// Reads the playlist up to and including the next entry line and stores it
// in line, passing over the lines that name no entry. A too-long line, or
// one that is not text, is reported only when it would not have been
// passed over anyway.
LineStatus next_entry_line(LineReader* reader, char (&line)[kLineSize]);

#endif
