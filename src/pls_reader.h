// The reader of PLS playlists, as Winamp-style players, Rhythmbox and
// internet radio save them: an INI file whose [playlist] section holds
// File1=..., Title1=..., Length1=... lines. Each entry is the value of a
// FileN= line, in the order the lines stand; every other line is passed
// over, unless it is too long or not text, which is reported whatever its
// key. Lines are read as the M3U line reader reads them.
#ifndef LISKO_PLS_READER_H
#define LISKO_PLS_READER_H

#include "line_reader.h"

// Reads up to and including the next FileN= line and stores its value in
// entry, as next_entry_line does.
LineStatus next_pls_entry(LineReader* reader, char (&entry)[kLineSize]);

#endif
