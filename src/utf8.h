// UTF-8, as lisko reads it in names and playlists on every platform.
#ifndef LISKO_UTF8_H
#define LISKO_UTF8_H

// True when text is valid UTF-8: no byte sequence that is not a character,
// no overlong form, no surrogate, nothing past U+10FFFF.
bool is_utf8(const char* text);

#endif
