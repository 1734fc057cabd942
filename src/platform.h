// What lisko asks of the platform: its standard output, opening the
// playlist, and copying one file. One source file per platform implements
// it; CMake picks the one that is built.
#ifndef LISKO_PLATFORM_H
#define LISKO_PLATFORM_H

#include <cstddef>
#include <cstdio>

// The bytes to write to standard output for each line end of a message,
// chosen so that every line end reaches the output as CR LF.
extern const char kOutputLineEnd[];

// Sets up standard output for the run. Returns true when it is a terminal,
// where every message must be written out the moment it is printed.
bool start_output();

// Opens the playlist for reading only, letting other processes go on
// reading and writing it. Returns null when it cannot be opened or names a
// folder.
FILE* open_playlist(const char* m3u_file);

// Copies the file named existing to the name target, replacing a file that
// is already there. Both names are as they stand in the playlist and on the
// command line. Returns true on success; on failure, stores the platform's
// description of the error in why (at most why_size bytes, zero included).
bool copy_file(const char* existing, const char* target, char* why, size_t why_size);

#endif
