// How many columns a terminal gives the text lisko shows: so that the
// progress note beside a progress message never wraps.
#ifndef LISKO_COLUMNS_H
#define LISKO_COLUMNS_H

// The columns text, UTF-8 with its control characters already made
// visible (shown.h), takes on a terminal: two for an East Asian wide or
// fullwidth character or an emoji shown as one, none for a combining mark,
// one for any other character, and one for each maximal part of bytes that
// is no UTF-8 (a cut sequence, a surrogate, an overlong or 5-byte form),
// which a terminal shows as one replacement character.
unsigned columns_of(const char* text);

#endif
