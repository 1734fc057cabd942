// The reader of Windows Media's ASX playlists (.asx; .wax for audio and
// .wvx for video are the same format), in both their forms, as players
// read them:
//
//   - XML-like: <ASX VERSION="3.0"> holding <ENTRY>s, each with one or
//     more <REF HREF="..."/>, fallbacks of each other: a player tries the
//     next only where it cannot open the one before. <ENTRYREF
//     HREF="other.asx"/> stands for the entries of another ASX file, read
//     in its place, whose relative references are from its own folder;
//     nested at most five deep, and a file that led to it is not read
//     again. Names in any case, a closing tag in another case than its
//     opening one, a bare "&", a value without quotes: read as players
//     read them, on the lenient XML scanner. <BASE HREF> plays no part in
//     finding a REF.
//   - INI: a [Reference] line, then Ref1=..., Ref2=... (the key in any
//     case, "ref01="): one entry, whose Ref2 and later are fallbacks of
//     Ref1.
//
// Each entry is handed over as its REFs, in order, for the playlist to
// choose the first that names a file it can copy.
#ifndef LISKO_ASX_READER_H
#define LISKO_ASX_READER_H

#include <cstdio>

#include "line_reader.h"
#include "name_rules.h"
#include "xml_scanner.h"

constexpr unsigned kRefsKept = 8;  // the fallbacks of one entry
constexpr unsigned kAsxNesting = 5;

// The REFs of one entry, each relative to the playlist's folder where it
// is relative.
struct EntryChoices {
  char refs[kRefsKept][kLineSize];
  unsigned count;
  bool too_long;  // a REF did not fit, or there were more than kRefsKept
};

// One file of the reading: the playlist, or one an ENTRYREF opened.
struct AsxFile {
  LineReader own;      // the reader of a file an ENTRYREF opened
  LineReader* reader;  // own, or the playlist's
  XmlScanner scan;
  bool ini;
  char folder[kPathSize];  // its folder, as a name to open from the current folder
  char prefix[kPathSize];  // its folder, as its relative references take it ("" for the playlist)
  char full[kPathSize];    // its full name, to tell a file that led to it
};

struct AsxReader {
  AsxFile files[kAsxNesting + 1];
  unsigned depth;  // files open below the playlist
  bool in_entry;
  EntryChoices choices;
  const char* why;  // where it failed: the reason, with the file's name
  char failure[kPathSize + 200];
};

// The reader of the playlist that reader reads (in its INI form where
// ini), named m3u_file, in folder (as a name to open from the current
// folder, with its separator).
void start_asx_reader(AsxReader* asx, LineReader* reader, bool ini, const char* m3u_file,
                      const char* folder);

// Reads up to and including the next entry, into asx->choices: kEntryLine,
// kLineTooLong (none of its REFs fits), kEndOfPlaylist, kReadFailed, or
// kPlaylistBroken with asx->why the reason.
LineStatus next_asx_entry(AsxReader* asx);

// Closes the files ENTRYREFs opened.
void close_asx_reader(AsxReader* asx);

// True where the first line of what reader reads, other than blanks, is
// "[Reference]": an ASX in its INI form. Reads ahead only.
bool begins_asx_ini(const char* first_line);

#endif
