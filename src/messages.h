// Every line lisko prints: on standard output what the run did, and on
// standard error only what a user should know besides (why a playlist
// cannot be opened; a dest that names a folder it will not copy into).
// Each "\r\n" is written as it stands (the platform has made standard
// output a byte stream). On a
// terminal every message is written out the moment it is printed, names
// are shown with their control characters made visible (shown.h), and a
// long copy shows its progress note (note.h). Results are not checked:
// a message that cannot be written (a reader that went away) changes
// neither the run nor its status.
#ifndef LISKO_MESSAGES_H
#define LISKO_MESSAGES_H

#include "file_system.h"
#include "names.h"
#include "targets_made.h"

// Once, before any message: whether standard output is a terminal.
void start_messages(bool to_terminal);

void print_usage();

// "Destination is longer than 255 characters.  Exiting LISKO."
void print_dest_too_long();

// "Couldn't open NAME.  Exiting LISKO.", and on standard error why.
void print_cannot_open(const char* m3u_file, const char* why);

// "Couldn't read NAME.  Exiting LISKO.", and on standard error why, where
// the playlist is not what its format says.
void print_cannot_read(const char* m3u_file, const char* why);

// The skipping messages of playlist lines that name no entry to copy.
void print_line_too_long();
void print_line_not_utf16();

// Says why an entry line whose target could not be formed (formed) is not
// copied, where it names a file to copy. Returns false when it does.
bool report_not_formed(const char* line, FormResult formed);

// On standard error: dest names a folder, yet the copies go beside it.
void print_dest_beside_folder(const char* dest, const char* separator);

// "Copying 'LINE' to TARGET...", which stands on the screen while the copy
// runs, and then the copy's result: "succeeded", or "failed: " and why,
// and where a relative M3U source is in neither the current folder nor the
// playlist's (playlist_folder, or null), that it is not there either.
void print_copying(const char* line, const char* target);
void print_copy_result(const char* why, const char* playlist_folder, const CopyDone& done);

// On standard error, where it is a terminal: what the run did, "lisko: 212
// listed: 10 copied, 198 already there, 3 failed, 1 skipped; 1.4 GB written
// in 2 min 3 s", and how many copies later entries with the same name
// replaced.
void print_summary();

// On standard error: "lisko: TARGET: the copy of 'LINE' replaced the copy
// of 'EARLIER' made earlier in this run (two entries with one name)", or
// where the earlier entry's text was not kept, "of entry N". The earlier
// copy is counted as replaced.
void print_replaced_copy(const char* line, const EarlierCopy& earlier, const char* target);

// On standard error, once: relative M3U entries that the current folder
// lacks are taken from the playlist's folder, as named.
void print_found_beside_playlist(const char* folder);

// On standard error: past kept copies, such replacements are not told.
void print_targets_made_full(unsigned long kept);

// On standard error: "lisko: NAME: " and what the playlist's reader noted.
void print_playlist_note(const char* m3u_file, const char* note);

// On standard error, before the first copy: dest's folder is missing; the
// copies need more room than it has (folder "" is the current one); dest
// ends with a quote that the command line made of its last backslash.
void print_no_dest_folder(const char* folder);
void print_too_little_room(unsigned long long need, unsigned long long room, const char* folder);
void print_dest_swallowed_a_quote(const char* dest);

// "Couldn't write the copies out to their medium: WHY."
void print_flush_failure(const char* why);

// On standard error: dest's folder is another since count copies went
// into it (a medium was mounted on it): they are not in it.
void print_copies_hidden(const char* dest, unsigned long count);

#endif
