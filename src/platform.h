// What lisko asks of the platform: setting up the process, writing to the
// terminal, opening the playlist, copying one file and flushing the
// copies. One source file per platform implements it; CMake picks the one
// that is built. The rules for names are in name_rules.h.
#ifndef LISKO_PLATFORM_H
#define LISKO_PLATFORM_H

#include <cstdio>

#include "name_rules.h"

// Sets up the process for the run, once: standard output gathered in
// blocks, written as bytes, so that each "\r\n" reaches it as CR LF; a
// reader that goes away does not end the run; a signal that stops the run
// leaves no half-written copy. Returns true when standard output is a
// terminal, where every message must be written out the moment it is
// printed.
bool start_platform();

// Writes text, a name whose control bytes are already shown in caret
// notation, to the terminal that standard output is: on POSIX as the bytes
// it is; on a Windows console as text, read in UTF-8 where it is valid
// UTF-8 and otherwise in the ANSI code page.
void write_to_terminal(const char* text);

// Ends the process's part of the run: on Windows, a console window of
// lisko's own (a double click) waits for a key before it closes.
void finish_platform();

// Opens the playlist for reading only, letting other processes go on
// reading and writing it. Returns null when it cannot be opened or names a
// folder, with *why the reason.
FILE* open_playlist(const char* m3u_file, const char** why);

// True when dest, as taken, names an existing folder.
bool dest_is_folder();

// True when name, read in code, names an existing file or folder.
bool file_exists(const char* name, NameCode code);

// The folder of the file file, as a full name. Returns false when it
// cannot be told or does not fit.
bool full_folder_of(const char* file, char (&folder)[kPathSize]);

// Copies the file source to the name target, replacing a file that is
// already there. After a crash the target is the earlier file or the copy,
// never neither. Both names are read in code, as they stand in the
// playlist and on the command line, and target begins with dest_in(code);
// each is at most kPathSize - 1 bytes long. Returns null on success, and
// otherwise the platform's description of the failure, valid until the
// next call.
const char* copy_file(const char* source, const char* target, NameCode code);

// Puts every copy made so far on its medium, so that a crash or a pulled
// stick from then on loses none of them. Returns null when they are there
// (or no copy was made), and otherwise the platform's description of the
// failure.
const char* flush_copies();

#endif
