// Names as FAT, exFAT and NTFS media compare them, and so Windows: two
// names are one where each character is the same in the case that
// Windows' up-case table gives it (Ärger.mp3 and ärger.mp3; Œuvre and
// œuvre). Names are read as UTF-8; a byte that begins no character is
// compared as it is.
#ifndef LISKO_CASE_FOLD_H
#define LISKO_CASE_FOLD_H

// The character c in the case the up-case table gives it.
unsigned long upper_case(unsigned long c);

// Reads the character that begins at *text, past which *text then points,
// in that case: a code point, or for a byte that begins no character
// 0x110000 and the byte.
unsigned long next_folded(const char** text);

// True where the names one and other are one name in any case.
bool same_in_any_case(const char* one, const char* other);

#endif
