// Every line lisko prints, on standard output. Each "\r\n" is written as
// it stands (the platform has made standard output a byte stream). On a
// terminal every message is written out the moment it is printed, and the
// control bytes of a name are shown in caret notation, so that a playlist
// cannot hide its lines behind escape sequences. Results are not checked:
// a message that cannot be written (a reader that went away) changes
// neither the run nor its status.
#ifndef LISKO_MESSAGES_H
#define LISKO_MESSAGES_H

#include "names.h"

// Once, before any message: whether standard output is a terminal.
void start_messages(bool to_terminal);

void print_usage();

// "Destination is longer than 255 characters.  Exiting LISKO."
void print_dest_too_long();

// "Couldn't open NAME.  Exiting LISKO." and "Couldn't read NAME.  ...".
void print_cannot_open(const char* m3u_file);
void print_cannot_read(const char* m3u_file);

// The skipping messages of playlist lines that name no entry to copy.
void print_line_too_long();
void print_line_not_utf16();

// Says why an entry line whose target could not be formed (formed) is not
// copied, where it names a file to copy. Returns false when it does.
bool report_not_formed(const char* line, FormResult formed);

// "Copying 'LINE' to TARGET...", which stands on the screen while the copy
// runs, and then the copy's result: "succeeded", or "failed: " and why.
void print_copying(const char* line, const char* target);
void print_copy_result(const char* why);

// "Couldn't write the copies out to their medium: WHY."
void print_flush_failure(const char* why);

#endif
