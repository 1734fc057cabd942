// How many columns a terminal gives the text lisko shows: so that the
// progress note beside a progress message never wraps.
#ifndef LISKO_COLUMNS_H
#define LISKO_COLUMNS_H

// The columns text, UTF-8 with its control bytes already shown in caret
// notation, takes on a terminal: two for an East Asian wide or fullwidth
// character or an emoji shown as one, none for a combining mark, one for
// any other character and for each byte that begins no UTF-8 character.
unsigned columns_of(const char* text);

#endif
