// UTF-8, as lisko reads it in names and playlists on every platform.
#ifndef LISKO_UTF8_H
#define LISKO_UTF8_H

// True when text is valid UTF-8: no byte sequence that is not a character,
// no overlong form, no surrogate, nothing past U+10FFFF.
bool is_utf8(const char* text);

// Reads the character that begins at text into *c, and its bytes into
// *length. Where the bytes there begin no character, returns false, with
// *length the bytes of the maximal part that could begin one (one byte at
// least): what a terminal shows as one replacement character, as Unicode's
// "substitution of maximal subparts" says.
bool decode_utf8(const char* text, unsigned long* c, unsigned* length);

#endif
