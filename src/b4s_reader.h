// The reader of Winamp 3's B4S playlists: <WinampXML><playlist ...> holding
// <entry Playstring="file:C:\Music\a.mp3"><Name>...</Name>
// <Length>...</Length></entry>s. Each entry is an <entry>'s Playstring
// without Winamp's "file:" prefix (in any case): where "//" follows it, the
// whole is a file: URL; otherwise the rest is the name as written
// ("file:C:\...", "file:/Users/..."). Names in any case, read as Winamp
// reads them, on the lenient XML scanner.
#ifndef LISKO_B4S_READER_H
#define LISKO_B4S_READER_H

#include "line_reader.h"
#include "xml_scanner.h"

struct B4sReader {
  XmlScanner scan;  // its why tells where the reading failed
};

// The reader of the playlist that source reads, from its start.
void start_b4s_reader(B4sReader* reader, LineReader* source);

// Reads up to and including the next entry and stores it in entry:
// kEntryLine, kLineTooLong (entry holds its start), kEndOfPlaylist,
// kReadFailed, or kPlaylistBroken with reader->scan.why the reason.
LineStatus next_b4s_entry(B4sReader* reader, char (&entry)[kLineSize]);

#endif
