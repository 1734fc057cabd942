// The playlist as the run sees it: opened once, then one entry after
// another until it ends, then closed. Its format is told by its content,
// never by its name: PLS (a "[playlist]" line among its first lines), ASX
// in its INI form (a "[Reference]" line), ASX, WAX and WVX (XML-like, whose
// root is <ASX>), B4S (<WinampXML>), XSPF, WPL and ZPL (XML whose root is a
// <playlist> or a <smil>), and M3U, which is everything else, read line by
// line as ever. Each format has a reader
// of its own beside this file; another format would be one more.
#ifndef LISKO_PLAYLIST_H
#define LISKO_PLAYLIST_H

#include "asx_reader.h"
#include "b4s_reader.h"
#include "line_reader.h"
#include "name_rules.h"
#include "names.h"
#include "xml_reader.h"

enum PlaylistFormat { kM3u, kPls, kXml, kAsx, kAsxIni, kB4s };

// The open playlist and its readers' state; only playlist.cc looks inside.
struct Playlist {
  LineReader reader;
  PlaylistFormat format;
  XmlReader xml;
  AsxReader asx;
  B4sReader b4s;
  bool note_told;
  char folder[kPathSize];       // the playlist's folder as named, with its separator
  char full_folder[kPathSize];  // the same as a full name, or "" where unknown
  char root[kPathSize];         // its drive or share ("C:"), "" where it has none
};

// Opens m3u_file for the run. Returns false when it cannot be opened or
// names a folder, with *why the reason. Reads no more of a playlist than
// its first lines take to tell its format, so that one written into a pipe
// line by line starts at once.
bool open_for_run(const char* m3u_file, Playlist* playlist, const char** why);

// Reads the next entry into entry, as next_entry_line does. Where it
// returns kPlaylistBroken, playlist_error tells why.
LineStatus next_entry(Playlist* playlist, char (&entry)[kLineSize]);
const char* playlist_error(const Playlist* playlist);

// What a user should know of the playlist read so far that ended nothing
// (a bare "&" in XML taken as the character), once; or null.
const char* playlist_note(Playlist* playlist);

// Where a relative M3U entry was found.
enum EntryFound {
  kAsWritten,      // from the current folder, or an entry that is not relative
  kBesidePlaylist,  // the current folder lacks it and the playlist's folder has it
  kInNeither       // neither folder has it
};

// Finds a relative source as its format finds it: M3U from the current
// folder, so it stays as it is, and where the current folder lacks it and
// the playlist's folder has it, from there; PLS, XSPF, WPL and ZPL from the
// playlist's own folder, which is put before it (an XSPF location is a
// URI: its %XX are decoded too), and a source that begins with one
// separator from the root of the playlist's drive. Returns kFormed,
// kNotAFileName (%00) or kSourceTooLong, with *found (where given) where
// an M3U entry was found.
FormResult locate_entry(const Playlist* playlist, const char* entry, char (&source)[kPathSize],
                        EntryFound* found = nullptr);

// The playlist's folder as named on the command line, with its separator
// ("./" where it named none).
const char* playlist_folder_as_named(const Playlist* playlist);

// The playlist's folder as a full name, or "" where it is not known.
const char* playlist_folder(const Playlist* playlist);

void close_after_run(Playlist* playlist);

#endif
