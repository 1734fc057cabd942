// End to end, the playlists other players save: XSPF, WPL, ZPL and PLS,
// told by their content, as lisko reads them on every platform.
#include <gtest/gtest.h>

#include "cases.h"

namespace {

// The playlists other players save, told by their content: XSPF, WPL and
// PLS, their relative entries found from the playlist's own folder; and
// what is wrong with a broken one, said on standard error.
TEST(EndToEnd, PlaylistsOfOtherPlayers) {
  const Files music = {{"music/Intro.mp3", "I"},
                       {"music/Bj\xC3\xB6rk/J\xC3\xB3ga.mp3", "J"},
                       {"music/Rock & Roll.mp3", "R"},
                       {"out/", ""}};
  const Files copied = {
      {"out/Intro.mp3", "I"}, {"out/J\xC3\xB3ga.mp3", "J"}, {"out/Rock & Roll.mp3", "R"}};
  const std::string xspf =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">\n"
      "  <title>My Mix</title>\n  <trackList>\n"
      "    <track><location>file://{box}/music/Intro.mp3</location><title>I</title></track>\n"
      "    <track>\n      <location>../music/Bj%C3%B6rk/J%C3%B3ga.mp3</location>\n    </track>\n"
      "    <track><location>../music/Rock%20&amp;%20Roll.mp3</location></track>\n"
      "    <track><location>http://radio.example/live</location></track>\n"
      "  </trackList>\n</playlist>\n";
  const std::string xspf_out =
      "Copying 'file://{box}/music/Intro.mp3' to out/Intro.mp3...succeeded\r\n"
      "Copying '../music/Bj%C3%B6rk/J%C3%B3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n"
      "Copying '../music/Rock%20&%20Roll.mp3' to out/Rock & Roll.mp3...succeeded\r\n";
  const std::string wpl =
      "<?wpl version=\"1.0\"?>\r\n<smil>\r\n  <head><title>My Mix</title></head>\r\n"
      "  <body><seq>\r\n    <media src=\"..\\music\\Intro.mp3\"/>\r\n"
      "    <media src=\"..\\music\\Bj\xC3\xB6rk\\J\xC3\xB3ga.mp3\" tid=\"{1}\"/>\r\n"
      "    <media src=\"..\\music\\Rock &amp; Roll.mp3\"/>\r\n  </seq></body>\r\n</smil>\r\n";
  const std::string wpl_out =
      "Copying '..\\music\\Intro.mp3' to out/Intro.mp3...succeeded\r\n"
      "Copying '..\\music\\Bj\xC3\xB6rk\\J\xC3\xB3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n"
      "Copying '..\\music\\Rock & Roll.mp3' to out/Rock & Roll.mp3...succeeded\r\n";
  const std::string pls =
      "\r\n[playlist]\r\nFile1=../music/Intro.mp3\r\nTitle1=Intro\r\nLength1=200\r\n"
      "File2=../music/Bj\xC3\xB6rk/J\xC3\xB3ga.mp3\r\nfile3=../music/Rock & Roll.mp3\r\n"
      "File4=http://radio.example:8000/live\r\nNumberOfEntries=4\r\nVersion=2\r\n";
  const std::string pls_out =
      "Copying '../music/Intro.mp3' to out/Intro.mp3...succeeded\r\n"
      "Copying '../music/Bj\xC3\xB6rk/J\xC3\xB3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n"
      "Copying '../music/Rock & Roll.mp3' to out/Rock & Roll.mp3...succeeded\r\n";
  // name in lists/, or where it says ("music/x").
  auto with = [&](const std::string& name, const std::string& content, Files files = {}) {
    if (files.empty()) files = music;
    files[name.find('/') == std::string::npos || name.rfind("sub/", 0) == 0 ? "lists/" + name : name] =
        content;
    return files;
  };
  const std::string xspf_head = "<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList><track>";
  const std::string cannot = "Couldn't read lists/x.xspf.  Exiting LISKO.\r\n";
  std::string b300, c300;  // 600 characters each
  for (int i = 0; i < 300; ++i) b300 += "b/", c300 += "c/";
  std::string nested = "<smil>", nested_out;  // 64 deep, then 65
  for (int i = 0; i < 63; ++i) nested += "<a>", nested_out += "</a>";
  nested_out += "</smil>";
  // clang-format off
  const Case cases[] = {
      {"XSPF", with("mix.xspf", xspf), "", {"lists/mix.xspf", "out/"}, xspf_out, 0, copied},
      {"WPL", with("mix.wpl", wpl), "", {"lists/mix.wpl", "out/"}, wpl_out, 0, copied},
      {"PLS", with("mix.pls", pls), "", {"lists/mix.pls", "out/"}, pls_out, 0, copied},
      {"WPL in UTF-16", with("mix.wpl", utf16(u"<smil><body><media src=\"..\\music\\Intro.mp3\"/>"
                                             u"</body></smil>")), "", {"lists/mix.wpl", "out/"},
       "Copying '..\\music\\Intro.mp3' to out/Intro.mp3...succeeded\r\n", 0,
       {{"out/Intro.mp3", "I"}}},
      {"an encoding lisko does not read", with("x.xspf", "<?xml version=\"1.0\" "
       "encoding=\"ISO-8859-1\"?>\n<playlist xmlns=\"http://xspf.org/ns/0/\"/>"), "",
       {"lists/x.xspf", "out/"}, cannot, 2, {}, "", "lisko: lists/x.xspf: line 1: the playlist "
       "says it is in ISO-8859-1, which lisko does not read (save it as UTF-8)\n"},
      {"an entity of the playlist's own (a billion laughs)", with("x.xspf", "<?xml version=\"1.0\"?>"
       "\n<!DOCTYPE p [<!ENTITY a \"aaaa\"><!ENTITY b \"&a;&a;&a;\">]>\n" + xspf_head +
       "<location>&b;</location></track></trackList></playlist>"), "", {"lists/x.xspf", "out/"},
       cannot, 2, {}, "", "lisko: lists/x.xspf: line 3: the reference &b;, which no playlist may "
       "define (lisko reads no DTD)\n"},
      {"an element never closed: what came before it is copied", with("x.xspf", xspf_head +
       "<location>../music/Intro.mp3</location></track>\n"), "", {"lists/x.xspf", "out/"},
       "Copying '../music/Intro.mp3' to out/Intro.mp3...succeeded\r\n" + cannot, 2,
       {{"out/Intro.mp3", "I"}}, "", "lisko: lists/x.xspf: line 2: the playlist ends inside "
       "<trackList>\n"},
      {"64 levels of nesting", with("x.wpl", nested + nested_out), "", {"lists/x.wpl", "out/"}, "",
       0, {}},
      {"65 levels of nesting", with("x.xspf", nested + "<a>"), "",
       {"lists/x.xspf", "out/"}, cannot, 2, {}, "", "lisko: lists/x.xspf: line 1: elements nested "
       "deeper than 64\n"},
      {"an end tag that closes another element", with("x.xspf", "<smil><body><media src=\"a\">"
       "</body></smil>"), "", {"lists/x.xspf", "out/"}, "Copying 'a' to out/a...failed: *\r\n" +
       cannot, 2, {}, "", "lisko: lists/x.xspf: line 1: </body> where another element is open\n"},
      {"an entry longer than the limit", with("x.xspf", xspf_head + "<location>" +
       std::string(1100, 'n') + "</location></track></trackList></playlist>"), "",
       {"lists/x.xspf", "out/"}, "Skipping a playlist line longer than 1023 characters.\r\n", 3, {}},
      {"XML of another kind", with("x.xspf", "<?xml version=\"1.0\"?>\n<rss/>"), "",
       {"lists/x.xspf", "out/"}, cannot, 2, {}, "", "lisko: lists/x.xspf: line 2: an XML file "
       "whose root is <rss>, not a playlist lisko reads\n"},
      {"a <playlist> of no namespace without a <trackList>", with("x.xspf", "<playlist><title>"
       "t</title></playlist>"), "", {"lists/x.xspf", "out/"}, cannot, 2, {}, "", "lisko: "
       "lists/x.xspf: line 1: an XML file whose root is <playlist>, not a playlist lisko reads\n"},
      {"a WPL of bare names, run from its own folder", with("music/mix.wpl", "<smil><body>"
       "<media src=\"Intro.mp3\"/><media src=\"Rock &amp; Roll.mp3\"/></body></smil>"), "",
       {"mix.wpl", "../out/"}, "Copying 'Intro.mp3' to ../out/Intro.mp3...succeeded\r\n"
       "Copying 'Rock & Roll.mp3' to ../out/Rock & Roll.mp3...succeeded\r\n", 0,
       {{"out/Intro.mp3", "I"}, {"out/Rock & Roll.mp3", "R"}}, "music/"},
      {"a ZPL", with("mix.zpl", "<?zpl version=\"2.0\"?>\r\n<smil><body><seq><media src=\"..\\"
       "music\\Intro.mp3\"/></seq></body></smil>\r\n"), "", {"lists/mix.zpl", "out/"},
       "Copying '..\\music\\Intro.mp3' to out/Intro.mp3...succeeded\r\n", 0,
       {{"out/Intro.mp3", "I"}}},
      {"a PLS after a MIME line and a comment, blanks around =, a name from the root",
       with("mix.pls", "audio/x-scpls\r\n# saved by hand\r\n[Playlist]\r\n"
       "File1 = ../music/Intro.mp3 \r\nFile2={box}/music/Rock & Roll.mp3\r\n"), "",
       {"lists/mix.pls", "out/"}, "Copying '../music/Intro.mp3' to out/Intro.mp3...succeeded\r\n"
       "Copying '{box}/music/Rock & Roll.mp3' to out/Rock & Roll.mp3...succeeded\r\n",
       0, {{"out/Intro.mp3", "I"}, {"out/Rock & Roll.mp3", "R"}}},
      {"an XSPF of no namespace after a comment and a DOCTYPE, with xml:base and a bare &",
       with("x.xspf", "<!-- by hand -->\n<!DOCTYPE playlist>\n<playlist xml:base=\"../\">"
       "<trackList xml:base=\"music/\">\n<track><location>Intro.mp3</location></track>\n"
       "<track xml:base=\"Bj%C3%B6rk/\"><location>J%C3%B3ga.mp3</location></track>\n"
       "<track><location>Rock & Roll.mp3</location></track>\n</trackList></playlist>\n"), "",
       {"lists/x.xspf", "out/"}, "Copying '../music/Intro.mp3' to out/Intro.mp3...succeeded\r\n"
       "Copying '../music/Bj%C3%B6rk/J%C3%B3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n"
       "Copying '../music/Rock & Roll.mp3' to out/Rock & Roll.mp3...succeeded\r\n", 0, copied,
       "", "lisko: lists/x.xspf: line 6: a \"&\" that begins no reference, read as the character "
       "\"&\"\n"},
      {"a PLS's long lines, a long name with its folder, an empty FileN=", with("music/Bj\xC3\xB6rk/x.pls",
       "[playlist]\r\nTitle1=" + std::string(1100, 't') + "\r\nFile1=" + kLongName.substr(3) +
       "\r\nFile2=\r\nFile3=../Intro.mp3\r\n"), "", {"music/Bj\xC3\xB6rk/x.pls", "out/"},
       "Skipping a playlist line longer than 1023 characters.\r\nSkipping '" + kLongName.substr(3) +
       "': with the playlist's folder before it, the name would be longer than 1023 characters."
       "\r\nCopying '../Intro.mp3' to out/Intro.mp3...succeeded\r\n", 3, {{"out/Intro.mp3", "I"}}},
      {"a WPL's src is a name, not a URI; single quotes; an empty src", with("x.wpl",
       "<smil><body><media src='..\\music\\a%20b.mp3'/><media src=\"\"/></body></smil>"), "",
       {"lists/x.wpl", "out/"}, "Copying '..\\music\\a%20b.mp3' to out/a%20b.mp3...failed: *\r\n",
       3, {}},
      {"references in a location; only a <track>'s <location>, its blanks and line ends trimmed",
       with("x.xspf", "<playlist xmlns=\"http://xspf.org/ns/0/\"><location>../music/Intro.mp3"
       "</location><trackList><track><location>\r\n  ../music/Bj&#xF6;rk/J&#243;ga.mp3 \n"
       "</location></track><track><location>&lt;x&gt;.mp3</location></track></trackList>"
       "</playlist>"), "", {"lists/x.xspf", "out/"},
       "Copying '../music/Bj\xC3\xB6rk/J\xC3\xB3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n"
       "Copying '<x>.mp3' to out/<x>.mp3...failed: *\r\n", 3, {{"out/J\xC3\xB3ga.mp3", "J"}}},
      {"reasons: %00, a name too long with the playlist's folder, and &#0;", with("x.xspf",
       xspf_head + "<location>a%00.mp3</location></track><track><location>" + kLongName +
       "</location></track><track><location>a&#0;.mp3</location></track></trackList></playlist>"),
       "", {"lists/x.xspf", "out/"}, "Skipping 'a%00.mp3" + kNotAName + "Skipping '" + kLongName +
       "': with the playlist's folder before it, the name would be longer than 1023 characters."
       "\r\n" + cannot, 2, {}, "", "lisko: lists/x.xspf: line 1: the reference &#0;, a character "
       "no name may hold\n"},
      {"CDATA, quotes in a DOCTYPE's subset, a location too long with its xml:base",
       with("x.xspf", "<!DOCTYPE playlist [<!ENTITY t \"a]><x>\">]>\n<playlist><trackList><track>"
       "<location><![CDATA[../music/Rock & Roll.mp3]]></location></track>\n<track><location>"
       "<![CDATA[../music/a]b>c.mp3]]></location></track>\n<track xml:base=\"" + b300 +
       "\"><location>" + c300 + "x.mp3</location></track></trackList></playlist>\n"), "",
       {"lists/x.xspf", "out/"}, "Copying '../music/Rock & Roll.mp3' to out/Rock & Roll.mp3..."
       "succeeded\r\nCopying '../music/a]b>c.mp3' to out/a]b>c.mp3...failed: " +
       native_or_any("No such file or directory") + "\r\n" +
       "Skipping a playlist line longer than 1023 characters.\r\n", 3,
       {{"out/Rock & Roll.mp3", "R"}}},
      {"a PLS after a line of mime.types", with("mix.pls", "audio/x-scpls           pls\r\n"
       "[playlist]\r\nFile1=../music/Intro.mp3\r\nNumberOfEntries=1\r\n"), "",
       {"lists/mix.pls", "out/"}, "Copying '../music/Intro.mp3' to out/Intro.mp3...succeeded\r\n",
       0, {{"out/Intro.mp3", "I"}}},
      {"xml:base with dot segments names the file whatever folders the dots step over",
       {{"lists/three/four.mp3", "4"}, {"out/", ""}, {"lists/x.xspf", "<playlist xml:base=\"one/\">"
       "<trackList xml:base=\"two/\"><track xml:base=\"../../three/\"><location>four.mp3"
       "</location></track></trackList></playlist>"}}, "", {"lists/x.xspf", "out/"},
       "Copying 'three/four.mp3' to out/four.mp3...succeeded\r\n", 0, {{"out/four.mp3", "4"}}},
      {"an ASX of fallbacks and an ENTRYREF, named as a WAX", with("mix.wax",
       "<ASX version=\"3.0\">\r\n<Title>Mix</Title>\r\n<Entry><Ref href=\"mms://radio/live\"/>\r\n"
       "<REF HREF = \"..\\music\\Gone.mp3\"/><ref href=\"..\\music\\Intro.mp3\"/></ENTRY>\r\n"
       "<ENTRYREF HREF=\"sub\\more.asx\"/><entryref href=\"mix.wax\"/>\r\n</ASX>\r\n", with("sub/more.asx",
       "<asx><entry><ref href=\"../../music/Rock &amp; Roll.mp3\"/></entry></asx>")), "",
       {"lists/mix.wax", "out/"}, "Copying '..\\music\\Intro.mp3' to out/Intro.mp3...succeeded\r\n"
       "Copying 'sub\\../../music/Rock & Roll.mp3' to out/Rock & Roll.mp3...succeeded\r\n", 0,
       {{"out/Intro.mp3", "I"}, {"out/Rock & Roll.mp3", "R"}}},
      {"a PLS name from the root of the playlist's drive, written with backslashes",
       with("x.pls", "[playlist]\r\nFile1={\\box}\\music\\Intro.mp3\r\n"), "", {"lists/x.pls", "out/"},
       "Copying '{\\box}\\music\\Intro.mp3' to out/Intro.mp3...succeeded\r\n", 0, {{"out/Intro.mp3", "I"}}},
      {"an ASX in its INI form", with("x.asx", "[Reference]\r\nRef1=http://radio/live\r\n"
       "Ref2=../music/Intro.mp3\r\n"), "", {"lists/x.asx", "out/"},
       "Copying '../music/Intro.mp3' to out/Intro.mp3...succeeded\r\n", 0, {{"out/Intro.mp3", "I"}}},
      {"a broken ASX says where", with("x.asx", "<asx>\r\n<entry><ref href=\"../music/Intro.mp3\""),
       "", {"lists/x.asx", "out/"}, "Couldn't read lists/x.asx.  Exiting LISKO.\r\n", 2, {}, "",
       "lisko: lists/x.asx: line 2: the playlist ends inside the tag <ref>\n"},
      {"a B4S", with("x.b4s", "<?xml version=\"1.0\" encoding='UTF-8' standalone=\"yes\"?>\r\n"
       "<WinampXML>\r\n<playlist num_entries=\"2\" label=\"Mix\">\r\n<entry Playstring=\"file:..\\"
       "music\\Intro.mp3\"><Name>Intro</Name><Length>200</Length></entry>\r\n<entry Playstring="
       "\"http://radio/live\"/>\r\n</playlist>\r\n</WinampXML>\r\n"), "", {"lists/x.b4s", "out/"},
       "Copying '..\\music\\Intro.mp3' to out/Intro.mp3...succeeded\r\n", 0, {{"out/Intro.mp3", "I"}}},
      {"a NUL byte inside an attribute's value", with("x.wpl", std::string("<smil><body><media "
       "src=\"a\0b.mp3\"/></body></smil>", 48)), "", {"lists/x.wpl", "out/"},
       "Couldn't read lists/x.wpl.  Exiting LISKO.\r\n", 2, {}, "",
       "lisko: lists/x.wpl: line 1: a character that XML does not allow\n"},
  };
  // clang-format on
  for (const Case& c : cases) check(c);
}

}  // namespace
