// What lisko asks of the platform: setting up the process, opening the
// playlist, and copying one file. One source file per platform implements
// it; CMake picks the one that is built.
#ifndef LISKO_PLATFORM_H
#define LISKO_PLATFORM_H

#include <cstdio>

// The longest name copy_file takes, and its zero.
constexpr unsigned kPathSize = 1024;

// The bytes that separate folders in a name from the playlist. The name
// part of an entry is what follows the last of them.
extern const char kFolderSeparators[];

// Bytes that no file name holds on this platform, beyond the separators
// (a drive or a stream on Windows). A name part holding one names no file.
extern const char kNotInFileNames[];

// Sets up the process for the run, once: standard output gathered in
// blocks, written as bytes, so that each "\r\n" reaches it as CR LF; a
// reader that goes away does not end the run; a signal that stops the run
// leaves no half-written copy. Returns true when standard output is a
// terminal, where every message must be written out the moment it is
// printed.
bool start_platform();

// Opens the playlist for reading only, letting other processes go on
// reading and writing it. Returns null when it cannot be opened or names a
// folder.
FILE* open_playlist(const char* m3u_file);

// Copies the file source to the name target, replacing a file that is
// already there. After a crash the target is the earlier file or the copy,
// never neither. Both names are as they stand in the playlist and on the
// command line, at most kPathSize - 1 bytes long. Returns null on success,
// and otherwise the platform's description of the failure, valid until
// the next call.
const char* copy_file(const char* source, const char* target);

// Puts every copy made so far on its medium, so that a crash or a pulled
// stick from then on loses none of them. Returns null when they are there
// (or no copy was made), and otherwise the platform's description of the
// failure.
const char* flush_copies();

#endif
