// What a terminal is shown of a name from the playlist, the command line
// or the system: every control character made visible, so that a playlist
// can neither hide its lines behind escape sequences nor command the
// terminal. The C0 controls and DEL are shown in caret notation, as cat -v
// shows them ("^[" for ESC, "^G", "^I" for a tab, "^?"); the C1 controls
// written as UTF-8 (U+0080 to U+009F; U+009B is a CSI) as cat -v shows
// their byte ("M-^["). Every other byte passes as it is: a byte that is no
// UTF-8 is shown by a UTF-8 terminal as a replacement character.
#ifndef LISKO_SHOWN_H
#define LISKO_SHOWN_H

// Hands name to write as it is to be shown, in pieces.
void write_shown(const char* name, void (*write)(const char*));

#endif
