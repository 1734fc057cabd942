// The playlist as the run sees it: opened once, then one entry after
// another until it ends, then closed. An M3U playlist is read by the line
// reader; a reader of another format would sit beside it, chosen here.
#ifndef LISKO_PLAYLIST_H
#define LISKO_PLAYLIST_H

#include "line_reader.h"

// The open playlist and its reader's state; only playlist.cc looks inside.
struct Playlist {
  LineReader reader;
};

// Opens m3u_file for the run. Returns false when it cannot be opened or
// names a folder, with *why the reason.
bool open_for_run(const char* m3u_file, Playlist* playlist, const char** why);

// Reads the next entry into entry, as next_entry_line does.
LineStatus next_entry(Playlist* playlist, char (&entry)[kLineSize]);

void close_after_run(Playlist* playlist);

#endif
