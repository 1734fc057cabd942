// How the Windows platform layer turns the names of an entry, read in
// their NameCode, into the UTF-16 names the system takes.
#ifndef LISKO_WINDOWS_NAMES_H
#define LISKO_WINDOWS_NAMES_H

#include "name_rules.h"

// Puts text, read in code, into wide as UTF-16. Returns false when it does
// not fit, or (in UTF-8) is not UTF-8.
bool to_wide(const char* text, NameCode code, wchar_t* wide, int size);

// target, which begins with dest_in(code), in UTF-16: dest as it was typed,
// then the name part.
bool to_wide_target(const char* target, NameCode code, wchar_t (&wide)[kPathSize]);

// True when the code page spells dest exactly as it was typed, so that the
// ANSI calls reach it.
bool dest_is_exact();

#endif
