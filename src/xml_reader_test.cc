#include "xml_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// What the XML reader makes of a playlist: its entries, how it ended, and
// what it said.
struct Read {
  std::vector<std::string> entries;
  LineStatus end;
  std::string why, note;
};

Read read_xml(const std::string& bytes) {
  FILE* playlist = tmpfile();
  fwrite(bytes.data(), 1, bytes.size(), playlist);
  rewind(playlist);
  LineReader source = start_line_reader(playlist);
  static XmlReader reader;  // large: kept off the stack
  start_xml_reader(&reader, &source);
  Read read;
  char entry[kLineSize];
  for (LineStatus status;;) {
    status = next_xml_entry(&reader, entry);
    if (status == kEntryLine || status == kLineTooLong) {
      read.entries.push_back(status == kEntryLine ? entry : "<too long>");
      continue;
    }
    read.end = status;
    break;
  }
  read.why = reader.scan.why;
  read.note = reader.scan.note;
  fclose(playlist);
  return read;
}

const std::string kHead = "<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>";
const std::string kTail = "</trackList></playlist>";

std::string tracks(const std::string& locations) { return kHead + locations + kTail; }
std::string track(const std::string& location) {
  return "<track><location>" + location + "</location></track>";
}

// Entries: the <location> of each XSPF <track>, the src of each WPL
// <media>, with the references of XML itself read and xml:base applied.
TEST(XmlReader, Entries) {
  const struct {
    const char* what;
    std::string bytes;
    std::vector<std::string> entries;
    std::string note = "";
  } cases[] = {
      {"two tracks", tracks(track("a.mp3") + track("b.mp3")), {"a.mp3", "b.mp3"}},
      {"blanks and line ends around a location", tracks(track("\r\n  a b.mp3 \n")), {"a b.mp3"}},
      {"an empty location", tracks(track(" ") + track("b.mp3")), {"b.mp3"}},
      {"a location outside a track, after one", kHead + track("a.mp3") + "<location>no.mp3</location>" +
       kTail, {"a.mp3"}},
      {"a location outside a track", kHead + "<location>no.mp3</location>" + track("a.mp3") + kTail +
       "", {"a.mp3"}},
      {"a location of the playlist itself", "<playlist xmlns=\"http://xspf.org/ns/0/\"><location>"
       "no.mp3</location><trackList/></playlist>", {}},
      {"references", tracks(track("&lt;&amp;&gt;&quot;&apos;&#233;&#xE9;&#x1F3B5;")),
       {"<&>\"'\xC3\xA9\xC3\xA9\xF0\x9F\x8E\xB5"}},
      {"the characters around the surrogates, and the first", tracks(track("&#xD7FF;&#xE000;&#1;\x01")),
       {"\xED\x9F\xBF\xEE\x80\x80\x01\x01"}},
      {"a bare & is the character, the first said", tracks(track("R&B.mp3") + "\n" +
       track("Rock & Roll.mp3")), {"R&B.mp3", "Rock & Roll.mp3"},
       "line 1: a \"&\" that begins no reference, read as the character \"&\""},
      {"bare & on later lines: the first's line", "\n\n" + tracks("\n" + track("x & y.mp3") + "\n" +
       track("&")), {"x & y.mp3", "&"}, "line 4: a \"&\" that begins no reference, read as the "
       "character \"&\""},
      {"CDATA, with ] and > in it", tracks(track("<![CDATA[a]b>c]].mp3]]>")), {"a]b>c]].mp3"}},
      {"CDATA ended by ]]> after a ]", tracks(track("<![CDATA[x]]]>.mp3")), {"x].mp3"}},
      {"an instruction ended by ?> after a ?", "<?pi x?" "?>" + tracks(track("a.mp3")), {"a.mp3"}},
      {"comments, instructions and a DOCTYPE with quotes and brackets",
       "<?xml version=\"1.0\" encoding=\"utf-8\"?><!-- <a> --><!DOCTYPE p [<!ENTITY t \"]>\">]>"
       "<?pi x?>" + tracks("<!-- c -->" + track("a.mp3")), {"a.mp3"}},
      {"xml:base of the playlist, the trackList and the track",
       "<playlist xml:base=\"one/\"><trackList xml:base=\"two/\"><track xml:base=\"../../three/\">"
       "<location>four.mp3</location></track><track><location>five.mp3</location></track>"
       "</trackList></playlist>", {"three/four.mp3", "one/two/five.mp3"}},
      {"a base of a trackList does not stay past it", "<playlist><trackList xml:base=\"a/\">"
       "</trackList><trackList><track><location>x.mp3</location></track></trackList></playlist>",
       {"x.mp3"}},
      {"WPL media, single quotes, an empty src", "<smil><body><seq><media src='a&amp;b.mp3'/>"
       "<media src=\"\"/><media tid=\"x\" src=\"c.mp3\"></media></seq></body></smil>",
       {"a&b.mp3", "c.mp3"}},
      {"a location too long", tracks(track(std::string(1024, 'n')) + track("b.mp3")),
       {"<too long>", "b.mp3"}},
      {"a location of 1,023 bytes", tracks(track(std::string(1023, 'n'))), {std::string(1023, 'n')}},
      {"a location that a reference makes too long", tracks(track(std::string(1022, 'n') + "&#233;")),
       {"<too long>"}},
      {"a base of the playlist too long", "<playlist xml:base=\"" + std::string(1024, 'b') + "\">"
       "<trackList>" + track("a.mp3") + kTail, {"<too long>"}},
      {"a base of the trackList too long", "<playlist><trackList xml:base=\"" +
       std::string(1024, 'b') + "\">" + track("a.mp3") + kTail, {"<too long>"}},
      {"64 levels deep", [] {
         std::string deep = "<smil>", out = "</smil>";
         for (int i = 0; i < 63; ++i) deep += "<a>", out = "</a>" + out;
         return deep + "<media src=\"deep.mp3\"/>" + out;
       }(), {"deep.mp3"}},
  };
  for (const auto& c : cases) {
    Read read = read_xml(c.bytes);
    EXPECT_EQ(read.entries, c.entries) << c.what;
    EXPECT_EQ(read.end, kEndOfPlaylist) << c.what << ": " << read.why;
    EXPECT_EQ(read.note, c.note) << c.what;
  }
}

// A playlist that is not well formed, or asks what lisko does not do,
// ends with its line and the reason; what came before it stands.
TEST(XmlReader, WhatEndsTheReading) {
  std::string deep = "<smil>";
  for (int i = 0; i < 64; ++i) deep += "<a>";
  const struct {
    std::string bytes;
    std::string why;
    std::vector<std::string> entries = {};
  } cases[] = {
      {"<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><playlist/>",
       "line 1: the playlist says it is in ISO-8859-1, which lisko does not read (save it as UTF-8)"},
      {tracks(track("&b;")), "line 1: the reference &b;, which no playlist may define (lisko reads no DTD)"},
      {tracks(track("a&#0;.mp3")), "line 1: the reference &#0;, a character no name may hold"},
      {tracks(track("&#xD800;")), "line 1: the reference &#xD800;, a character no name may hold"},
      {tracks(track("&#xDFFF;")), "line 1: the reference &#xDFFF;, a character no name may hold"},
      {tracks(track("&#x110000;")), "line 1: the reference &#x110000;, a character no name may hold"},
      {deep, "line 1: elements nested deeper than 64"},
      {kHead + track("a.mp3") + "\n</trackList>", "line 2: the playlist ends inside <playlist>", {"a.mp3"}},
      {"<smil><body></smil>", "line 1: </smil> where another element is open"},
      {"<smil></smil></smil>", "line 1: </smil>, which closes no element open"},
      {"<smil/><smil/>", "line 1: a second root element, <smil>"},
      {"<smil/>x", "line 1: text outside the playlist's root element"},
      {"<rss/>", "line 1: an XML file whose root is <rss>, not a playlist lisko reads"},
      {"<playlist><title>t</title></playlist>",
       "line 1: an XML file whose root is <playlist>, not a playlist lisko reads"},
      {"<smil a=b/>", "line 1: the attribute a without quotes"},
      {"<smil a/>", "line 1: the attribute a without its value"},
      {"<smil a=\"<\"/>", "line 1: a \"<\" inside a value"},
      {"<smil a=\"x", "line 1: the playlist ends inside a value"},
      {"<smil", "line 1: the playlist ends inside the tag <smil>"},
      {"<smil/ >", "line 1: the tag <smil> is not ended"},
      {"<" + std::string(64, 'n') + "/>", "line 1: a name longer than 63 bytes"},
      {"< smil/>", "line 1: markup without a name"},
      {"<smil><!-- x", "line 1: the playlist ends inside a comment"},
      {"<smil><![CDATA[x", "line 1: the playlist ends inside CDATA"},
      {"<!DOCTYPE [ x", "line 1: the playlist ends inside its DOCTYPE"},
      {"<?x y", "line 1: the playlist ends inside an instruction"},
      {"<!ELEMENT x>", "line 1: markup lisko does not know (\"<!\")"},
      {"", "line 1: the playlist ends before its root element"},
      {std::string("<smil>\0</smil>", 14), "line 1: a character that XML does not allow"},
      {tracks(track(std::string("<![CDATA[a\0b]]>", 15))), "line 1: a character that XML does not allow"},
  };
  for (const auto& c : cases) {
    Read read = read_xml(c.bytes);
    EXPECT_EQ(read.end, kPlaylistBroken) << c.bytes;
    EXPECT_EQ(read.why, c.why) << c.bytes;
    EXPECT_EQ(read.entries, c.entries) << c.bytes;
  }
}

// Encodings: UTF-8 and UTF-16 (its byte-order mark) are read, named in any
// case; a <playlist> in no namespace is XSPF where it holds a <trackList>.
TEST(XmlReader, EncodingsAndNamespaces) {
  const struct {
    std::string bytes;
    std::vector<std::string> entries;
  } cases[] = {
      {"<?xml version='1.0' encoding='utf-8'?>" + tracks(track("a.mp3")), {"a.mp3"}},
      {"<?xml version=\"1.0\" encoding=\"UTF-16\"?><smil><media src=\"b.mp3\"/></smil>", {"b.mp3"}},
      {"<?xml version=\"1.0\" encoding=\"us-ascii\"?><smil><media src=\"c.mp3\"/></smil>", {"c.mp3"}},
      {"<playlist><trackList>" + track("d.mp3") + kTail, {"d.mp3"}},
      {"<x:playlist xmlns:x=\"http://xspf.org/ns/0/\"><x:trackList><x:track><x:location>e.mp3"
       "</x:location></x:track></x:trackList></x:playlist>", {"e.mp3"}},
  };
  for (const auto& c : cases) {
    Read read = read_xml(c.bytes);
    EXPECT_EQ(read.entries, c.entries) << c.bytes;
    EXPECT_EQ(read.end, kEndOfPlaylist) << c.bytes << ": " << read.why;
  }
}

}  // namespace
