// The reader of the XML playlists: XSPF (the root element "playlist", in
// the XSPF namespace or, holding a <trackList>, in none; each entry the
// text of a <location> of a <track>, resolved against the xml:base of its
// <track>, <trackList> and <playlist>) and Windows Media Player's WPL and
// Zune's ZPL (the root "smil"; each entry the src of a <media>). It scans the playlist as it reads it, with no DTD, no
// recursion and fixed buffers: elements, attributes, character data,
// comments, CDATA and the character and entity references of XML itself
// (&amp; &lt; &gt; &quot; &apos; &#NN; &#xHH;). A document that is not well
// formed, that names an encoding other than UTF-8 or UTF-16, or that refers
// to an entity of its own ends the reading with the reason.
#ifndef LISKO_XML_READER_H
#define LISKO_XML_READER_H

#include "line_reader.h"
#include "xml_scanner.h"

// Elements nest at most this deep.
constexpr unsigned kXmlDepth = 64;

enum XmlFormat { kNotYetKnown, kXspf, kWpl };

// What the reader keeps from one entry to the next.
struct XmlReader {
  XmlScanner scan;  // its why and note tell what went wrong, or what to note
  XmlFormat format;
  unsigned depth;  // elements open
  char open[kXmlDepth][kXmlNameSize];
  bool in_location;
  unsigned text_length;
  bool text_too_long;
  bool xspf_namespace;  // the root <playlist> is in XSPF's namespace
  bool saw_track_list;
  // The xml:base of the XSPF <playlist>, the <trackList> and the <track>
  // open, which a relative location is resolved against.
  char base[3][kLineSize];
  bool base_too_long[3];
};

// The reader of the playlist that source reads, from its start.
void start_xml_reader(XmlReader* reader, LineReader* source);

// Reads up to and including the next entry and stores it in entry:
// kEntryLine, kLineTooLong (entry holds its start), kEndOfPlaylist,
// kReadFailed, or kPlaylistBroken with reader->scan.why the reason.
LineStatus next_xml_entry(XmlReader* reader, char (&entry)[kLineSize]);

#endif
