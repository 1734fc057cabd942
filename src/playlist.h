// The playlist as the run sees it: opened once, then one entry after
// another until it ends, then closed. Its format is told by its content,
// never by its name: PLS ("[playlist]" first), XSPF and WPL (XML whose
// root is an XSPF <playlist> or a <smil>), and M3U, which is everything
// else, read line by line as ever. Each format has a reader of its own
// beside this file; another format would be one more.
#ifndef LISKO_PLAYLIST_H
#define LISKO_PLAYLIST_H

#include "line_reader.h"
#include "name_rules.h"
#include "xml_reader.h"

enum PlaylistFormat { kM3u, kPls, kXml };

// The open playlist and its readers' state; only playlist.cc looks inside.
struct Playlist {
  LineReader reader;
  PlaylistFormat format;
  XmlReader xml;
  char folder[kPathSize];  // the playlist's folder as named, with its separator
};

// Opens m3u_file for the run. Returns false when it cannot be opened or
// names a folder, with *why the reason.
bool open_for_run(const char* m3u_file, Playlist* playlist, const char** why);

// Reads the next entry into entry, as next_entry_line does. Where it
// returns kPlaylistBroken, playlist_error tells why.
LineStatus next_entry(Playlist* playlist, char (&entry)[kLineSize]);
const char* playlist_error(const Playlist* playlist);

// Finds a relative source as its format finds it: M3U from the current
// folder, so it stays as it is; PLS, XSPF and WPL from the playlist's own
// folder, which is put before it (an XSPF location is a URI: its %XX are
// decoded too). Returns false where the name does not fit.
bool locate_entry(const Playlist* playlist, char (&source)[kPathSize]);

void close_after_run(Playlist* playlist);

#endif
