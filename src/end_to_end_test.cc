// End-to-end tests: each runs the built lisko in a fresh temporary folder
// and checks the exact output bytes, the exit status and every file left.
// The EndToEnd suite runs against the native program and, under Wine, the
// Windows one; the Posix suite only against the native program, and the
// Windows suite only under Wine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "sandbox.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "Usage: Lisko [m3uFile] [dest]\r\n"
    " where m3uFile is a valid mp3 playlist and\r\n"
    " dest is a valid DOS destination path.\r\n";

struct Case {
  const char* what;
  Files before;          // files (and folders, ending in "/") made first
  std::string playlist;  // written to list.m3u
  std::vector<std::string> args;
  std::string out;  // "*" stands for any text within a line
  int status;
  Files changed;            // files that differ afterwards; all others are as before
  std::string folder = "";  // where the playlist lies and lisko runs
  std::string err = "";     // standard error, natively
};

// Puts the sandbox's own path where text says "{box}".
std::string with_box(std::string text, const Sandbox& box) {
  std::string path = (box / "").string();
  path.pop_back();
  for (size_t at; (at = text.find("{box}")) != std::string::npos;) text.replace(at, 5, path);
  return text;
}

void check(const Case& c) {
  Sandbox box;
  Files before = c.before;
  for (auto& file : before) file.second = with_box(file.second, box);
  before[c.folder + "list.m3u"] = with_box(c.playlist, box);
  before[c.folder + "ro.m3u"] = with_box(c.playlist, box);
  before["my out/"] = "";
  box.add(before);
  chmod((box / (c.folder + "ro.m3u")).c_str(), 0444);
  Result result = run_in(box / c.folder, c.args);
  std::string out = with_box(c.out, box);
  EXPECT_TRUE(matches(out.c_str(), result.out.c_str()))
      << c.what << "\nexpected: " << out << "\nactual:   " << result.out;
  EXPECT_EQ(result.status, c.status) << c.what << "\nstandard error: " << result.err;
  if (!under_wine()) {
    EXPECT_EQ(result.err, with_box(c.err, box)) << c.what << ": standard error";
  }
  Files expected;
  for (const auto& [name, content] : before)
    if (name.back() != '/') expected[name] = content;
  for (const auto& [name, content] : c.changed) expected[name] = content;
  EXPECT_EQ(box.files(), expected) << c.what;
}

const std::vector<std::string> kListToOut = {"list.m3u", "out/"};
// The reason a copy failed: lisko's own words natively; under Wine the
// system's, which vary.
std::string native_or_any(const std::string& reason) { return under_wine() ? "*" : reason; }
std::string native_or_wine(const std::string& reason, const std::string& wine) {
  return under_wine() ? wine : reason;
}

const std::string kNotAName = "': the name after its last separator is not a file name.\r\n";
const std::string kLongName(1020, 'n');
const std::string kDots255 = [] {
  std::string dots;
  for (int i = 0; i < 127; ++i) dots += "./";
  return dots + "o";
}();

TEST(EndToEnd, CommandLineAndPlaylist) {
  const Files music = {{"src/a.mp3", "A"}, {"src/b.mp3", "B"}, {"out/", ""}};
  // clang-format off
  const Case cases[] = {
      {"no argument", {}, "", {}, kUsage, 1, {}},
      {"one argument", {}, "", {"list.m3u"}, kUsage, 1, {}},
      {"three arguments", music, "src\\a.mp3\r\n", {"list.m3u", "out/", "x"}, kUsage, 1, {}},
      {"missing playlist", {}, "", {"none.m3u", "out/"},
       "Couldn't open none.m3u.  Exiting LISKO.\r\n", 2, {}, "",
       "lisko: none.m3u: No such file or directory\n"},
      {"playlist is a folder", {{"dir.m3u/", ""}}, "", {"dir.m3u", "out/"},
       "Couldn't open dir.m3u.  Exiting LISKO.\r\n", 2, {}, "", "lisko: dir.m3u: is a folder\n"},
      {"a dest that names a folder, without its separator", music, "src\\a.mp3\r\n",
       {"list.m3u", "out"}, "Copying 'src\\a.mp3' to outa.mp3...succeeded\r\n", 0,
       {{"outa.mp3", "A"}}, "",
       "lisko: dest 'out' is a folder; the copies go beside it, as 'out' followed by each name. "
       "End dest with '/' to copy into it.\n"},
      {"a relative entry that only the playlist's folder has",
       {{"sub/Album/01 Song.mp3", "S"}, {"sub/list.m3u", "Album\\01 Song.mp3\r\n"}, {"out/", ""}},
       "", {"sub/list.m3u", "out/"},
       "Copying 'Album\\01 Song.mp3' to out/01 Song.mp3...failed: " +
       native_or_any("No such file or directory") + " (the playlist's folder has it: run lisko in " +
       (under_wine() ? "*sub" : "{box}/sub") + ")\r\n", 3, {}},
      {"dest of 256 characters", music, "src\\a.mp3\r\n", {"list.m3u", std::string(256, 'd')},
       "Destination is longer than 255 characters.  Exiting LISKO.\r\n", 1, {}},
      {"no wildcard expansion", music, "src\\a.mp3\r\n", {"*.m3u", "out/"},
       "Couldn't open *.m3u.  Exiting LISKO.\r\n", 2, {}, "",
       "lisko: *.m3u: No such file or directory\n"},
      {"dest of 255 characters", music, "src\\a.mp3\r\n", {"list.m3u", kDots255},
       "Copying 'src\\a.mp3' to " + kDots255 + "a.mp3...succeeded\r\n", 0, {{"oa.mp3", "A"}}},
      {"a read-only playlist", music, "src\\a.mp3\r\n", {"ro.m3u", "my out/"},
       "Copying 'src\\a.mp3' to my out/a.mp3...succeeded\r\n", 0, {{"my out/a.mp3", "A"}}},
      {"nothing to copy", music, "#EXTM3U\r\n\r\n \t\t#EXTINF:-1,Song\r\n \t\r\n#src\\a.mp3\r\n"
       "http://radio.example/live\r\n", kListToOut, "", 0, {}},
      {"bare names, as players save them beside their songs", {{"Come Together.mp3", "C"},
       {"LPT Song.mp3", "L"}, {"out/", ""}}, "Come Together.mp3\r\nLPT Song.mp3\r\n", kListToOut,
       "Copying 'Come Together.mp3' to out/Come Together.mp3...succeeded\r\n"
       "Copying 'LPT Song.mp3' to out/LPT Song.mp3...succeeded\r\n", 0,
       {{"out/Come Together.mp3", "C"}, {"out/LPT Song.mp3", "L"}}},
      {"CR LF playlist", music, "#EXTM3U\r\nsrc\\a.mp3\r\nsrc\\b.mp3\r\n", kListToOut,
       "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n"
       "Copying 'src\\b.mp3' to out/b.mp3...succeeded\r\n", 0,
       {{"out/a.mp3", "A"}, {"out/b.mp3", "B"}}},
      {"lone CR, lone LF, a byte-order mark and no final line end", music,
       "\xEF\xBB\xBFsrc\\a.mp3\rsrc\\b.mp3\n\nsrc\\a.mp3", {"list.m3u", "out\\x-"},
       "Copying 'src\\a.mp3' to out\\x-a.mp3...succeeded\r\n"
       "Copying 'src\\b.mp3' to out\\x-b.mp3...succeeded\r\n"
       "Copying 'src\\a.mp3' to out\\x-a.mp3...succeeded\r\n", 0,
       {{"out/x-a.mp3", "A"}, {"out/x-b.mp3", "B"}}},
      {"empty dest copies into the current folder", music, "src\\a.mp3\r\n", {"list.m3u", ""},
       "Copying 'src\\a.mp3' to a.mp3...succeeded\r\n", 0, {{"a.mp3", "A"}}},
      {"same name part twice: the second replaces the first",
       {{"x/s.mp3", "1"}, {"y/s.mp3", "2"}, {"out/s.mp3", "old"}}, "x\\s.mp3\ny\\s.mp3\n",
       kListToOut,
       "Copying 'x\\s.mp3' to out/s.mp3...succeeded\r\n"
       "Copying 'y\\s.mp3' to out/s.mp3...succeeded\r\n", 0, {{"out/s.mp3", "2"}}, "",
       "lisko: out/s.mp3: the copy of 'y\\s.mp3' replaced the copy of 'x\\s.mp3' made earlier in "
       "this run (two entries with one name)\n"},
      {"a failed copy ends its line and the run goes on", music,
       "src\\gone.mp3\r\nsrc\\a.mp3\r\n", kListToOut,
       "Copying 'src\\gone.mp3' to out/gone.mp3...failed: *\r\n"
       "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n", 3, {{"out/a.mp3", "A"}}},
      {"an entry ending in a backslash names a folder", music, "src\\\r\n", kListToOut,
       "Copying 'src\\' to out/...failed: *\r\n", 3, {}},
      {"a missing target folder", music, "src\\a.mp3\r\n", {"list.m3u", "none/"},
       "Copying 'src\\a.mp3' to none/a.mp3...failed: " +
       native_or_wine("no folder none/ (No such file or directory)", "no folder none/ (*)") +
       "\r\n", 3, {}, "", "lisko: no folder none/: every copy would fail; is the stick mounted?\n"},
      {"a file where dest's folder should be", {{"src/a.mp3", "A"}, {"notes", "N"}},
       "src\\a.mp3\r\n", {"list.m3u", "notes/"},
       "Copying 'src\\a.mp3' to notes/a.mp3...failed: " +
       native_or_wine("no folder notes/ (Not a directory)", "no folder notes/ (*)") + "\r\n", 3,
       {}, "", "lisko: no folder notes/: every copy would fail; is the stick mounted?\n"},
      {"a folder at the target", {{"src/a.mp3", "A"}, {"out/a.mp3/", ""}}, "src\\a.mp3\r\n",
       kListToOut, "Copying 'src\\a.mp3' to out/a.mp3...failed: *\r\n", 3, {}},
      {"a folder as the source", {{"src/d.mp3/", ""}, {"out/", ""}}, "src\\d.mp3\r\n",
       kListToOut, "Copying 'src\\d.mp3' to out/d.mp3...failed: *\r\n", 3, {}},
      {"a file copied onto itself keeps its content", {{"out/a.mp3", "A"}}, "out\\a.mp3\r\n",
       kListToOut, "Copying 'out\\a.mp3' to out/a.mp3...failed: the target is the source itself\r\n",
       3, {}},
      {"a line of 1,024 bytes is skipped", music,
       "src\\" + std::string(1020, 'l') + "\r\nsrc\\a.mp3\r\n", kListToOut,
       "Skipping a playlist line longer than 1023 characters.\r\n"
       "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n", 3, {{"out/a.mp3", "A"}}},
      {"a target name of 1,024 characters is skipped", music,
       "s\\" + kLongName + "\r\nsrc\\a.mp3\r\n", {"list.m3u", "dest"},
       "Skipping 's\\" + kLongName + "': the target name would be longer than 1023 "
       "characters.\r\nCopying 'src\\a.mp3' to desta.mp3...succeeded\r\n", 3,
       {{"desta.mp3", "A"}}},
      {"a target name of 1,023 characters is attempted", music,
       "s\\" + kLongName.substr(1) + "\r\n", {"list.m3u", "dest"},
       "Copying 's\\" + kLongName.substr(1) + "' to dest" + kLongName.substr(1) +
       "...failed: *\r\n", 3, {}},
      {"an entry with two folders", {{"a/b/c.mp3", "C"}, {"out/", ""}}, "a\\b\\c.mp3\r\n",
       kListToOut, "Copying 'a\\b\\c.mp3' to out/c.mp3...succeeded\r\n", 0,
       {{"out/c.mp3", "C"}}},
      {"a 0x00 byte cuts the line", music, std::string("src\\a.mp3\0junk\r\n", 16), kListToOut,
       "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n", 0, {{"out/a.mp3", "A"}}},
      {"UTF-16LE with CR LF", {{"src/\xC3\xA9.mp3", "E"}, {"out/", ""}},
       utf16(u"#EXTM3U\r\nsrc\\\u00E9.mp3\r\n"), kListToOut,
       "Copying 'src\\\xC3\xA9.mp3' to out/\xC3\xA9.mp3...succeeded\r\n", 0,
       {{"out/\xC3\xA9.mp3", "E"}}},
      {"UTF-16BE with LF, and a line that is not UTF-16", music,
       utf16(u"src\\a.mp3\nsrc\\\xD800.mp3\nsrc\\b.mp3", true), kListToOut,
       "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n"
       "Skipping a playlist line that is not valid UTF-16.\r\n"
       "Copying 'src\\b.mp3' to out/b.mp3...succeeded\r\n", 3,
       {{"out/a.mp3", "A"}, {"out/b.mp3", "B"}}},
      {"file: URLs of this host", {{"m/My Song.mp3", "S"}, {"m/\xC3\xA9.mp3", "E"},
       {"m/Artist/", ""}, {"c.mp3", "C"}, {"out/", ""}},
       "file://{box}/m/My%20Song.mp3\nfile://{box}/m/%C3%A9.mp3\n"
       "FILE://LocalHost{box}/m/Artist%2F..%2F..%2Fc.mp3\nfile://{box}/m/b%00.mp3\n", kListToOut,
       "Copying 'file://{box}/m/My%20Song.mp3' to out/My Song.mp3...succeeded\r\n"
       "Copying 'file://{box}/m/%C3%A9.mp3' to out/\xC3\xA9.mp3...succeeded\r\n"
       "Copying 'FILE://LocalHost{box}/m/Artist%2F..%2F..%2Fc.mp3' to out/c.mp3...succeeded\r\n"
       "Skipping 'file://{box}/m/b%00.mp3" + kNotAName, 3,
       {{"out/My Song.mp3", "S"}, {"out/\xC3\xA9.mp3", "E"}, {"out/c.mp3", "C"}}},
  };
  // clang-format on
  for (const Case& c : cases) check(c);
}

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
  auto with = [&](const std::string& name, const std::string& content) {
    Files files = music;
    files[name.find('/') == std::string::npos ? "lists/" + name : name] = content;
    return files;
  };
  const std::string xspf_head = "<playlist xmlns=\"http://xspf.org/ns/0/\"><trackList><track>";
  const std::string cannot = "Couldn't read lists/x.xspf.  Exiting LISKO.\r\n";
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
      {"a PLS after a MIME line and a comment, blanks around =", with("mix.pls", "audio/x-scpls"
       "\r\n# saved by hand\r\n[Playlist]\r\nFile1 = ../music/Intro.mp3 \r\n"), "",
       {"lists/mix.pls", "out/"}, "Copying '../music/Intro.mp3' to out/Intro.mp3...succeeded\r\n",
       0, {{"out/Intro.mp3", "I"}}},
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
  };
  // clang-format on
  for (const Case& c : cases) check(c);
}

// A playlist shipped in a folder tree of its own, run from inside it, aims
// at the user's files beside it: nothing outside dest's folder changes.
TEST(EndToEnd, NamesNeverLeaveTheDestFolder) {
  const Files bundle = {{"home/.profile", "mine"},
                        {"music/song.mp3", "my song"},
                        {"y/x", "mine"},
                        {"stick/", ""},
                        {"bundle/a/C:x.mp3", "c"},
                        {"bundle/home/.profile", "evil"},
                        {"bundle/music/song.mp3", "bad"},
                        {"bundle/q/", ""},
                        {"bundle/y/x", "evil"}};
  const std::string aimed = "a\\../home/.profile\r\na\\../music/song.mp3\r\na\\C:x.mp3\r\n";
  const std::vector<std::string> to_stick = {"list.m3u", "../stick/"};
  const std::string names_after_the_last_slash =
      "Copying 'a\\../home/.profile' to ../stick/.profile...succeeded\r\n"
      "Copying 'a\\../music/song.mp3' to ../stick/song.mp3...succeeded\r\n";
  const Files copied = {{"stick/.profile", "evil"}, {"stick/song.mp3", "bad"}};
  Files with_drive_name = copied;
  with_drive_name["stick/C:x.mp3"] = "c";
  // clang-format off
  const Case cases[] = {
      under_wine()
          ? Case{"a name part with a colon is refused", bundle, aimed, to_stick,
                 names_after_the_last_slash + "Skipping 'a\\C:x.mp3" + kNotAName, 3, copied,
                 "bundle/"}
          : Case{"names after the last slash", bundle, aimed, to_stick,
                 names_after_the_last_slash +
                 "Copying 'a\\C:x.mp3' to ../stick/C:x.mp3...succeeded\r\n", 0,
                 with_drive_name, "bundle/"},
      {"an empty dest keeps the copy in the current folder", bundle, "q\\../y/x\r\n",
       {"list.m3u", ""}, "Copying 'q\\../y/x' to x...succeeded\r\n", 0, {{"bundle/x", "evil"}},
       "bundle/"},
  };
  // clang-format on
  for (const Case& c : cases) check(c);
}

TEST(Posix, FailedCopySaysWhy) {
  const Case c = {"missing source",
                  {{"out/", ""}},
                  "src\\gone.mp3\r\n",
                  kListToOut,
                  "Copying 'src\\gone.mp3' to out/gone.mp3...failed: No such file or "
                  "directory\r\n",
                  3,
                  {}};
  check(c);
}

// Cases whose setup is POSIX's own: names with any bytes, special files,
// symbolic links.
TEST(Posix, NamesAndSpecialFiles) {
  // clang-format off
  const Case cases[] = {
      {"code-page bytes pass unchanged", {{"src/\xE9\xFF.mp3", "E"}, {"out/", ""}},
       "src\\\xE9\xFF.mp3\r\n", kListToOut,
       "Copying 'src\\\xE9\xFF.mp3' to out/\xE9\xFF.mp3...succeeded\r\n", 0,
       {{"out/\xE9\xFF.mp3", "E"}}},
      {"a playlist written on Linux", {{"m/Artist/01 Song.mp3", "1"}, {"m/b.mp3", "2"}, {"m:/1/b.mp3", "2"},
       {"c.mp3", "3"}, {"bare.mp3", "4"}, {"out/", ""}},
       "#EXTM3U\n{box}/m/Artist/01 Song.mp3\nm/b.mp3\nm/Artist/../../c.mp3\n"
       "m\\Artist/01 Song.mp3\nhttp://radio.invalid/live\nfile://server/m/b.mp3\n"
       "HTTPS://x.invalid/y.mp3\nbare.mp3\nm://1/b.mp3\n", kListToOut,
       "Copying '{box}/m/Artist/01 Song.mp3' to out/01 Song.mp3...succeeded\r\n"
       "Copying 'm/b.mp3' to out/b.mp3...succeeded\r\n"
       "Copying 'm/Artist/../../c.mp3' to out/c.mp3...succeeded\r\n"
       "Copying 'm\\Artist/01 Song.mp3' to out/01 Song.mp3...succeeded\r\n"
       "Copying 'bare.mp3' to out/bare.mp3...succeeded\r\n"
       "Copying 'm://1/b.mp3' to out/b.mp3...succeeded\r\n", 0,
       {{"out/01 Song.mp3", "1"}, {"out/b.mp3", "2"}, {"out/c.mp3", "3"}, {"out/bare.mp3", "4"}},
       "", "lisko: out/01 Song.mp3: the copy of 'm\\Artist/01 Song.mp3' replaced the copy of "
       "'{box}/m/Artist/01 Song.mp3' made earlier in this run (two entries with one name)\n"
       "lisko: out/b.mp3: the copy of 'm://1/b.mp3' replaced the copy of 'm/b.mp3' made earlier "
       "in this run (two entries with one name)\n"},
      {"a file whose size the kernel hides is copied whole", {{"out/", ""}}, "\\proc\\version\r\n",
       kListToOut, "Copying '\\proc\\version' to out/version...succeeded\r\n", 0,
       {{"out/version", read_file("/proc/version")}}},
      {"a device is no file to copy", {{"out/", ""}}, "\\dev\\zero\r\n", kListToOut,
       "Copying '\\dev\\zero' to out/zero...failed: Operation not supported\r\n", 3, {}},
  };
  // clang-format on
  for (const Case& c : cases) check(c);
}

TEST(Posix, FifoSourceFailsWithoutHanging) {
  Sandbox box;
  box.add({{"out/", ""}, {"list.m3u", "p\\fifo\r\n"}, {"p/", ""}});
  ASSERT_EQ(mkfifo((box / "p/fifo").c_str(), 0644), 0);
  Result result = box.run(kListToOut);
  EXPECT_EQ(result.out, "Copying 'p\\fifo' to out/fifo...failed: Operation not supported\r\n");
  EXPECT_EQ(result.status, 3);
}

// A playlist written into a pipe line by line: its first song is copied
// before the writer has written more.
TEST(Posix, PlaylistInAPipeStartsAtOnce) {
  Sandbox box;
  box.add({{"a.mp3", "A"}, {"out/", ""}});
  ASSERT_EQ(mkfifo((box / "list.m3u").c_str(), 0644), 0);
  int nowhere = open("/dev/null", O_WRONLY);
  pid_t child = start_lisko(box / "", kListToOut, nowhere);
  close(nowhere);
  int playlist = open((box / "list.m3u").c_str(), O_WRONLY);
  ASSERT_EQ(write(playlist, "a.mp3\n", 6), 6);
  bool copied = false;
  for (int i = 0; i < 200 && !copied; ++i) {  // 20 s at most
    copied = read_file(box / "out/a.mp3") == "A";
    if (!copied) std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  close(playlist);
  EXPECT_EQ(wait_for(child), 0);
  EXPECT_TRUE(copied) << "the first song waited for more of the playlist";
}

TEST(Posix, SymbolicLinkAtTargetIsReplacedNotFollowed) {
  for (const char* link : {"../keep.mp3", "../keep/", "../src/a.mp3"}) {
    Sandbox box;
    box.add({{"src/a.mp3", "new"},
             {"keep.mp3", "kept"},
             {"keep/", ""},
             {"out/", ""},
             {"list.m3u", "src\\a.mp3"}});
    fs::create_symlink(link, box / "out/a.mp3");
    Result result = box.run(kListToOut);
    EXPECT_EQ(result.out, "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n") << link;
    EXPECT_FALSE(fs::is_symlink(box / "out/a.mp3")) << link;
    EXPECT_EQ(read_file(box / "out/a.mp3"), "new") << link;
    EXPECT_EQ(read_file(box / "keep.mp3"), "kept") << link;
    EXPECT_EQ(read_file(box / "src/a.mp3"), "new") << link;
  }
}

TEST(EndToEnd, CopyKeepsPermissionBitsAndModificationTime) {
  Sandbox box;
  box.add({{"src/a.mp3", "A"}, {"out/a.mp3", "old"}, {"list.m3u", "src\\a.mp3\r\n"}});
  chmod((box / "src/a.mp3").c_str(), 06440);  // read-only; set-user-ID and set-group-ID too
  const struct timespec times[2] = {{1000000000, 0}, {1234567890, 0}};
  utimensat(AT_FDCWD, (box / "src/a.mp3").c_str(), times, 0);
  EXPECT_EQ(box.run(kListToOut).status, 0);
  struct stat copy;
  ASSERT_EQ(stat((box / "out/a.mp3").c_str(), &copy), 0);
  EXPECT_EQ(copy.st_mtime, 1234567890);
  if (!under_wine()) {
    EXPECT_EQ(copy.st_mode & 07777, 0440u);  // no set-user-ID copy on a stick
  }
}

// A second run of a playlist finds the copies of the first: a copy that
// holds the source's bytes is kept (its file, and no temporary file made
// for it), and one of the same size with one byte changed is replaced.
TEST(EndToEnd, SecondRunKeepsWhatIsCopiedAlready) {
  Sandbox box;
  std::string song(3 << 20, '\0');
  for (size_t i = 0; i < song.size(); ++i) song[i] = static_cast<char>(i * 31 + i / 509);
  box.add({{"src/a.mp3", song},
           {"src/b.mp3", "bbbb"},
           {"src/c.mp3", "cccc"},
           {"out/", ""},
           {"list.m3u", "src\\a.mp3\r\nsrc\\b.mp3\r\nsrc\\c.mp3\r\n"}});
  ASSERT_EQ(box.run(kListToOut).status, 0);
  write_file(box / "out/b.mp3", "bbxb");
  fs::create_hard_link(box / "out/c.mp3", box / "other.mp3");  // never kept: the other changes
  const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, (box / "out/a.mp3").c_str(), old_times, 0);  // kept, it takes the source's
  struct stat a_first, b_first, c_first, a_second, b_second, c_second, source;
  stat((box / "out/a.mp3").c_str(), &a_first);
  stat((box / "out/b.mp3").c_str(), &b_first);
  stat((box / "out/c.mp3").c_str(), &c_first);
  int watch = inotify_init1(IN_NONBLOCK);
  inotify_add_watch(watch, (box / "out").c_str(), IN_CREATE);
  Result result = box.run(kListToOut);
  alignas(inotify_event) char events[4096];
  ssize_t got = read(watch, events, sizeof events);
  close(watch);
  int made = 0;  // files made in out/
  for (ssize_t at = 0; at < got; ++made)
    at += static_cast<ssize_t>(sizeof(inotify_event) +
                               reinterpret_cast<inotify_event*>(events + at)->len);
  stat((box / "out/a.mp3").c_str(), &a_second);
  stat((box / "out/b.mp3").c_str(), &b_second);
  stat((box / "out/c.mp3").c_str(), &c_second);
  EXPECT_EQ(result.out,
            "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n"
            "Copying 'src\\b.mp3' to out/b.mp3...succeeded\r\n"
            "Copying 'src\\c.mp3' to out/c.mp3...succeeded\r\n");
  EXPECT_EQ(a_second.st_ino, a_first.st_ino);
  stat((box / "src/a.mp3").c_str(), &source);
  EXPECT_EQ(a_second.st_mtime, source.st_mtime);
  EXPECT_NE(b_second.st_ino, b_first.st_ino);
  EXPECT_NE(c_second.st_ino, c_first.st_ino) << "a hard-linked target was kept";
  EXPECT_EQ(read_file(box / "other.mp3"), "cccc");
  EXPECT_EQ(made, 2) << "one temporary file each, for b.mp3 and c.mp3";
  EXPECT_EQ(read_file(box / "out/b.mp3"), "bbbb");
  EXPECT_TRUE(read_file(box / "out/a.mp3") == song);
}

// A target is kept only where it can be made what a fresh copy would be:
// the source's bytes on the medium, its permission bits and times. Another
// user's target whose times cannot be set, and one that another name
// shares (a hard link, whose other file must not change), are replaced.
TEST(Posix, SecondRunKeepsOnlyWhatItCanMakeTheCopy) {
  const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  const struct {
    const char* what;
    mode_t target_mode;  // the target's after the first run, or 0 to leave it
    bool old_times;      // the target's times changed after the first run
    bool hard_link;      // the target is named elsewhere too
    const char* faults;
    bool as_other_user;  // run as nobody, the target root's
    bool kept;
    const char* result = "succeeded";
  } cases[] = {
      {"bits of its own", 0600, false, false, "", false, true},
      {"times of its own", 0, true, false, "", false, true},
      {"no O_NOATIME on it", 0, false, false, "open:noatime", false, true},
      {"a hard link", 0600, true, true, "", false, false},
      {"another user's, times the same", 0, false, false, "", true, true},
      {"another user's, times differ", 0, true, false, "", true, false},
      {"written while it is compared", 0, false, false, "pread:scribble", false, false},
      {"its file system refuses times", 0, true, false, "futimens:EPERM", false, true},
      {"its source written while compared", 0, false, false, "pread:scribblesource", false, true,
       "failed: the source changed while it was copied"},
  };
  for (const auto& c : cases) {
    if (c.as_other_user && geteuid() != 0) continue;  // only root makes another user's file
    Sandbox box;
    box.add({{"src/a.mp3", "AAAA"}, {"out/", ""}, {"list.m3u", "src\\a.mp3\r\n"}});
    const struct timespec times[2] = {{1100000000, 0}, {1234567890, 0}};
    utimensat(AT_FDCWD, (box / "src/a.mp3").c_str(), times, 0);
    ASSERT_EQ(box.run(kListToOut).status, 0);
    fs::path target = box / "out/a.mp3";
    if (c.hard_link) fs::create_hard_link(target, box / "other.mp3");
    if (c.target_mode != 0) chmod(target.c_str(), c.target_mode);
    if (c.old_times) utimensat(AT_FDCWD, target.c_str(), old_times, 0);
    if (c.as_other_user) chmod((box / "out").c_str(), 0777);
    struct stat before, after;
    stat(target.c_str(), &before);
    Result result = run_with_faults(box, c.faults, c.as_other_user);
    stat(target.c_str(), &after);
    EXPECT_EQ(result.out, std::string("Copying 'src\\a.mp3' to out/a.mp3...") + c.result + "\r\n")
        << c.what;
    EXPECT_EQ(after.st_ino == before.st_ino, c.kept) << c.what;
    EXPECT_EQ(read_file(target), "AAAA") << c.what;
    EXPECT_EQ(after.st_mode & 0777, 0644u) << c.what;
    bool times_refused = strstr(c.faults, "futimens") != nullptr;
    EXPECT_EQ(after.st_mtime, times_refused ? 1000000000 : 1234567890) << c.what;
    if (c.hard_link) {
      struct stat other;
      stat((box / "other.mp3").c_str(), &other);
      EXPECT_EQ(other.st_mode & 0777, c.target_mode) << c.what << ": the other name's file changed";
      EXPECT_EQ(other.st_mtime, 1000000000) << c.what << ": the other name's file changed";
    }
  }
}

// Permissions bind only a user other than root: these run as nobody.
TEST(Posix, ReadOnlyPlacesAndUnreadableSources) {
  Sandbox box;
  box.add({{"src/a.mp3", "A"},
           {"src/secret.mp3", "S"},
           {"src/d.mp3", "D"},
           {"ro/a.mp3", "old"},
           {"ro/d.mp3/", ""},
           {"list.m3u", "src\\a.mp3\r\nsrc\\secret.mp3\r\nsrc\\d.mp3\r\n"}});
  chmod((box / "list.m3u").c_str(), 0444);
  chmod((box / "src/secret.mp3").c_str(), 0);
  chmod((box / "ro").c_str(), 0555);
  Result result = box.run({"list.m3u", "ro/"}, true);
  EXPECT_EQ(result.out,
            "Copying 'src\\a.mp3' to ro/a.mp3...failed: cannot write in folder ro/ (Permission "
            "denied)\r\n"
            "Copying 'src\\secret.mp3' to ro/secret.mp3...failed: Permission denied\r\n"
            "Copying 'src\\d.mp3' to ro/d.mp3...failed: Is a directory\r\n");
  EXPECT_EQ(result.status, 3);
  chmod((box / "src/secret.mp3").c_str(), 0644);  // for a test run by a user other than root
  EXPECT_EQ(box.files(), (Files{{"src/a.mp3", "A"},
                                {"src/secret.mp3", "S"},
                                {"src/d.mp3", "D"},
                                {"ro/a.mp3", "old"},
                                {"list.m3u", "src\\a.mp3\r\nsrc\\secret.mp3\r\nsrc\\d.mp3\r\n"}}));

  // A drop folder may be written and searched but not listed.
  box.add({{"drop/", ""}});
  chmod((box / "drop").c_str(), 0333);
  chmod((box / "src/secret.mp3").c_str(), 0);
  EXPECT_EQ(box.run({"list.m3u", "drop/"}, true).status, 3);  // the secret still fails
  chmod((box / "drop").c_str(), 0777);
  EXPECT_EQ(read_file(box / "drop/a.mp3"), "A");

  // A folder on the way that may not be searched is named in the reason.
  box.add({{"locked/sub/", ""}, {"one.m3u", "src\\a.mp3\r\n"}});
  chmod((box / "locked").c_str(), 0);
  result = box.run({"one.m3u", "locked/sub/"}, true);
  chmod((box / "locked").c_str(), 0755);
  EXPECT_EQ(result.out,
            "Copying 'src\\a.mp3' to locked/sub/a.mp3...failed: cannot write in folder "
            "locked/sub/ (Permission denied)\r\n");

  // Targets the system will not let lisko replace: root's in a sticky
  // folder, for another user; an immutable one (where chattr works).
  if (geteuid() != 0) return;
  box.add({{"sticky/a.mp3", "root's"}, {"fixed/a.mp3", "fixed"}});
  chmod((box / "sticky").c_str(), 01777);
  const std::string refused = "Copying 'src\\a.mp3' to *...failed: the system will not let lisko "
                              "replace the target (Operation not permitted)\r\n";
  EXPECT_TRUE(matches(refused.c_str(), box.run({"one.m3u", "sticky/"}, true).out.c_str()));
  if (system(("chattr +i " + (box / "fixed/a.mp3").string() + " 2>/dev/null").c_str()) != 0) return;
  result = box.run({"one.m3u", "fixed/"});
  EXPECT_EQ(system(("chattr -i " + (box / "fixed/a.mp3").string()).c_str()), 0);
  EXPECT_TRUE(matches(refused.c_str(), result.out.c_str())) << result.out;
  EXPECT_EQ(read_file(box / "fixed/a.mp3"), "fixed");
}

TEST(EndToEnd, ClosedOutputNeitherStopsTheRunNorChangesTheStatus) {
  Sandbox box;
  box.add({{"src/a.mp3", "A"}, {"out/", ""}, {"list.m3u", "src\\a.mp3\r\nsrc\\a.mp3\r\n"}});
  EXPECT_EQ(run_in(box / "", kListToOut, false, true).status, 0);
  EXPECT_EQ(read_file(box / "out/a.mp3"), "A");
}

TEST(Posix, PlaylistThatCannotBeReadEndsTheRun) {
  Sandbox box;
  Result result = box.run({"/proc/self/mem", "out/"});
  EXPECT_EQ(result.out, "Couldn't read /proc/self/mem.  Exiting LISKO.\r\n");
  EXPECT_EQ(result.status, 2);
}

TEST(EndToEnd, FullStickFailsTheCopyAndLosesNothing) {
  Sandbox box;
  box.add({{"src/big.mp3", std::string(2 << 20, 'b')},
           {"src/new.mp3", std::string(2 << 20, 'n')},
           {"src/a.mp3", "A"},
           {"small/", ""},
           {"list.m3u", "src\\big.mp3\r\nsrc\\a.mp3\r\nsrc\\new.mp3\r\n"}});
  if (mount("tmpfs", (box / "small").c_str(), "tmpfs", 0, "size=1m") != 0) {
    GTEST_SKIP() << "cannot mount a 1 MiB tmpfs here: " << strerror(errno);
  }
  write_file(box / "small/big.mp3", "earlier");
  Result result = box.run({"list.m3u", "small/"});
  Files left = {{"big.mp3", read_file(box / "small/big.mp3")},
                {"a.mp3", read_file(box / "small/a.mp3")}};
  std::vector<std::string> names = names_in(box / "small");
  umount((box / "small").c_str());

  std::string why = "no room for the new copy beside the old one (" +
                    native_or_wine("No space left on device", "*") + ")";
  std::string no_room = "no room on the target's medium (" +
                        native_or_wine("No space left on device", "*") + ")";
  EXPECT_TRUE(matches(("Copying 'src\\big.mp3' to small/big.mp3...failed: " + why +
                       "\r\nCopying 'src\\a.mp3' to small/a.mp3...succeeded\r\n"
                       "Copying 'src\\new.mp3' to small/new.mp3...failed: " +
                       (under_wine() ? "*" : no_room) + "\r\n")
                          .c_str(),
                      result.out.c_str()))
      << result.out;
  EXPECT_NE(result.err.find("lisko: the copies need 4.2 MB; small/ has 1.0 MB free"),
            std::string::npos)
      << result.err;
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(names, (std::vector<std::string>{"a.mp3", "big.mp3"}));
  EXPECT_EQ(left, (Files{{"big.mp3", "earlier"}, {"a.mp3", "A"}}));
}

// Wine turns SIGINT into the console's Ctrl+C. The copy in flight stops at
// once: its temporary file is removed, the earlier target kept, and
// lisko.exe ends with the status of a program stopped so (0xC000013A, of
// which a POSIX parent sees the low byte).
TEST(Windows, CtrlCStopsACopyAtOnce) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows console";
  }
  Sandbox box;
  pid_t child = start_big_copy(box);
  kill(child, SIGINT);
  EXPECT_EQ(wait_for(child), 0x3A);
  EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
  EXPECT_EQ(read_file(box / "out/big.mp3"), "earlier");
}

// Windows's own names, run only against the Windows program.
TEST(Windows, DriveLetterAndForwardSlashes) {
  if (!under_wine()) {
    GTEST_SKIP() << "Windows names";
  }
  Sandbox box;  // Wine shows the root of the Unix file system as Z:
  std::string folder = "Z:" + (box / "").string();
  std::string entry = "Z:" + (box / "src/a.mp3").string();
  for (char& c : entry) c = c == '/' ? '\\' : c;
  box.add({{"src/a.mp3", "A"}, {"out/", ""}, {"list.m3u", entry + "\r\n"}});
  Result result = box.run({"list.m3u", folder + "out/"});
  EXPECT_EQ(result.out, "Copying '" + entry + "' to " + folder + "out/a.mp3...succeeded\r\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(read_file(box / "out/a.mp3"), "A");
}

// The names of today's Windows playlists: UTF-8 beside code-page bytes (the
// code page here is 1252), forward slashes, and names that Windows would
// not keep as files in dest's folder.
TEST(Windows, NamesOfTodaysPlaylists) {
  if (!under_wine()) {
    GTEST_SKIP() << "Windows names";
  }
  const Files music = {{"src/a.mp3", "A"},
                       {"src/\xC3\xA9t\xC3\xA9.mp3", "E"},
                       {"Bj\xC3\xB6rk/J\xC3\xB3ga.mp3", "J"},
                       {"\xE6\x9B\xB2/\xE6\x97\xA5.mp3", "N"},
                       {"out/", ""},
                       {"\xE6\x97\xA5/", ""}};
  const std::string refused =
      "src\\nul.mp3\nsrc\\AUX\nsrc\\Con .ogg\nsrc\\com1.txt\n"
      "src\\conout$\nsrc\\a.mp3.\nsrc\\a.mp3 \nsrc\\CON .mp3\nsrc\\lpt\xB2.txt\n";
  std::string skipped;
  for (const char* name : {"nul.mp3", "AUX", "Con .ogg", "com1.txt", "conout$", "a.mp3.", "a.mp3 ",
                           "CON .mp3", "lpt\xB2.txt"})
    skipped += std::string("Skipping 'src\\") + name + kNotAName;
  Files look_alikes = {{"out/", ""}}, look_alike_copies;
  std::string look_alike_list, look_alikes_copied;
  for (const char* name : {"Come Together.mp3", "Comet", "COM10.mp3", "Lpt", "Console.mp3",
                           "Auxiliary", "Nullify.mp3", "Prince.mp3", "COM.mp3"}) {
    look_alikes[std::string("src/") + name] = name;
    look_alike_copies[std::string("out/") + name] = name;
    look_alike_list += std::string("src\\") + name + "\r\n";
    look_alikes_copied += std::string("Copying 'src\\") + name + "' to out/" + name + "...succeeded\r\n";
  }
  // clang-format off
  const Case cases[] = {
      {"UTF-8 names beside a code-page line", music,
       "Bj\xC3\xB6rk\\J\xC3\xB3ga.mp3\r\n\xE6\x9B\xB2\\\xE6\x97\xA5.mp3\r\nsrc\\\xE9t\xE9.mp3\r\n",
       kListToOut,
       "Copying 'Bj\xC3\xB6rk\\J\xC3\xB3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n"
       "Copying '\xE6\x9B\xB2\\\xE6\x97\xA5.mp3' to out/\xE6\x97\xA5.mp3...succeeded\r\n"
       "Copying 'src\\\xE9t\xE9.mp3' to out/\xE9t\xE9.mp3...succeeded\r\n", 0,
       {{"out/J\xC3\xB3ga.mp3", "J"}, {"out/\xE6\x97\xA5.mp3", "N"}, {"out/\xC3\xA9t\xC3\xA9.mp3", "E"}}},
      {"a dest the code page cannot spell", music,
       "src\\a.mp3\r\nBj\xC3\xB6rk\\J\xC3\xB3ga.mp3\r\n", {"list.m3u", "\xE6\x97\xA5/"},
       "Copying 'src\\a.mp3' to ?/a.mp3...succeeded\r\n"
       "Copying 'Bj\xC3\xB6rk\\J\xC3\xB3ga.mp3' to \xE6\x97\xA5/J\xC3\xB3ga.mp3...succeeded\r\n", 0,
       {{"\xE6\x97\xA5/a.mp3", "A"}, {"\xE6\x97\xA5/J\xC3\xB3ga.mp3", "J"}}},
      {"forward slashes", music, "src/a.mp3\r\nsrc\\../Bj\xC3\xB6rk/J\xC3\xB3ga.mp3\r\n",
       kListToOut,
       "Copying 'src/a.mp3' to out/a.mp3...succeeded\r\n"
       "Copying 'src\\../Bj\xC3\xB6rk/J\xC3\xB3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n", 0,
       {{"out/a.mp3", "A"}, {"out/J\xC3\xB3ga.mp3", "J"}}},
      {"devices, and names ending in a dot or a blank", music, refused, kListToOut, skipped, 3, {}},
      {"names that only begin like a device's are songs", look_alikes, look_alike_list,
       kListToOut, look_alikes_copied, 0, look_alike_copies},
      {"COM and LPT with a superscript digit are devices too", music,
       "src\\COM\xB9.mp3\nsrc\\LPT\xB3.mp3\nsrc\\com\xB2\n", kListToOut,
       "Skipping 'src\\COM\xB9.mp3" + kNotAName + "Skipping 'src\\LPT\xB3.mp3" + kNotAName +
       "Skipping 'src\\com\xB2" + kNotAName, 3, {}},
      {"dest's last part joined with the name part into a device", music, "src\\N.mp3\n",
       {"list.m3u", "out\\CO"}, "Skipping 'src\\N.mp3" + kNotAName, 3, {}},
      {"dest's last part joined with the name part into a stream", music, "src\\N.mp3\n",
       {"list.m3u", "out\\a.mp3:"}, "Skipping 'src\\N.mp3" + kNotAName, 3, {}},
      {"a hidden target is refused, as CopyFileA refuses it (Wine hides dot files)",
       {{"src/.h.mp3", "new"}, {"out/.h.mp3", "old"}}, "src\\.h.mp3\r\n", kListToOut,
       "Copying 'src\\.h.mp3' to out/.h.mp3...failed: *\r\n", 3, {}},
      {"a file: URL with a drive letter", music, "file:///Z:{box}/src/a.mp3\r\n", kListToOut,
       "Copying 'file:///Z:{box}/src/a.mp3' to out/a.mp3...succeeded\r\n", 0, {{"out/a.mp3", "A"}}},
  };
  // clang-format on
  for (const Case& c : cases) check(c);

  // cmd reads "E:\My Music\" as E:\My Music": lisko says how to write it.
  Sandbox box;
  box.add({{"src/a.mp3", "A"}, {"list.m3u", "src\\a.mp3\r\n"}});
  Result result = box.run({"list.m3u", "my out\""});
  EXPECT_NE(result.err.find("lisko: dest 'my out\"' ends with a quote: the command line read the "
                            "backslash before it as part of the quote. Write \"my out\\\\\" or "
                            "\"my out\" to copy into the folder."),
            std::string::npos)
      << result.err;

  // Names that differ only in the case of a letter beyond ASCII are one
  // file to Windows: the second copy replaces the first, and lisko says so.
  Sandbox cased;
  cased.add({{"src/\xC3\xA9t\xC3\xA9.mp3", "e"}, {"up/\xC3\x89T\xC3\x89.mp3", "E"}, {"out/", ""},
             {"list.m3u", "src\\\xC3\xA9t\xC3\xA9.mp3\nup\\\xC3\x89T\xC3\x89.mp3\n"}});
  result = cased.run(kListToOut);
  EXPECT_EQ(result.err,
            "lisko: out/\xC3\x89T\xC3\x89.mp3: the copy of 'up\\\xC3\x89T\xC3\x89.mp3' replaced the "
            "copy of 'src\\\xC3\xA9t\xC3\xA9.mp3' made earlier in this run (two entries with one name)\r\n");
  EXPECT_EQ(read_file(cased / "out/\xC3\xA9t\xC3\xA9.mp3"), "E");
}

// A source rewritten at its size while lisko.exe copies it: the copy
// fails, saying so, and the earlier target stays as it was.
TEST(Windows, SourceRewrittenDuringItsCopyFails) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows copy";
  }
  Sandbox box;
  box.add({{"src/big.mp3", ""}, {"out/big.mp3", "earlier"}, {"list.m3u", "src\\big.mp3\r\n"}});
  fs::resize_file(box / "src/big.mp3", std::uintmax_t{1} << 30);  // sparse: quick to make
  FILE* out = tmpfile();
  pid_t child = start_lisko(box / "", kListToOut, fileno(out));
  bool copying = false;
  for (int i = 0; i < 2000 && !copying; ++i) {  // 20 s at most
    copying = names_in(box / "out").size() > 1;
    if (!copying) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  int source = open((box / "src/big.mp3").c_str(), O_WRONLY);
  EXPECT_EQ(pwrite(source, "new!", 4, 0), 4);
  close(source);
  EXPECT_EQ(wait_for(child), 3);
  EXPECT_TRUE(copying) << "no temporary file appeared";
  EXPECT_EQ(read_file("/proc/self/fd/" + std::to_string(fileno(out))),
            "Copying 'src\\big.mp3' to out/big.mp3...failed: the source changed while it was "
            "copied\r\n");
  fclose(out);
  EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
  EXPECT_EQ(read_file(box / "out/big.mp3"), "earlier");
}

// lisko.exe waits for a key only after a double click (Explorer started
// it in a console of its own): run from a terminal under Wine, as scripts
// run it, it ends at once.
TEST(Windows, NoKeyIsWaitedForOutsideADoubleClick) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows console";
  }
  Sandbox box;
  int terminal, screen;
  ASSERT_TRUE(open_raw_terminal(&terminal, &screen));
  int saved_input = dup(STDIN_FILENO);
  dup2(screen, STDIN_FILENO);  // inherited by lisko.exe: the console's keyboard
  pid_t child = start_lisko(box / "", {}, screen);
  dup2(saved_input, STDIN_FILENO);
  close(saved_input);
  close(screen);
  EXPECT_EQ(wait_for(child), 1);  // bounded: a wait for a key fails here
  std::string shown;
  char buffer[256];
  struct pollfd ready = {terminal, POLLIN, 0};
  for (ssize_t got; poll(&ready, 1, 100) > 0 && (got = read(terminal, buffer, sizeof buffer)) > 0;)
    shown.append(buffer, static_cast<size_t>(got));
  EXPECT_EQ(shown.find("Press any key"), std::string::npos) << shown;
  close(terminal);
}

// Ctrl+C while lisko.exe compares a target with its source (no copy in
// flight) ends it as Windows ends a console program so, the target as it
// was.
TEST(Windows, CtrlCDuringAComparisonEndsTheRun) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows console";
  }
  Sandbox box;
  box.add({{"src/big.mp3", ""}, {"out/big.mp3", ""}, {"list.m3u", "src\\big.mp3\r\n"}});
  fs::resize_file(box / "src/big.mp3", std::uintmax_t{1} << 30);  // sparse: quick to make
  fs::resize_file(box / "out/big.mp3", std::uintmax_t{1} << 30);
  int null = open("/dev/null", O_WRONLY);
  pid_t child = start_lisko(box / "", {"list.m3u", "out/"}, null);
  close(null);
  std::string io = "/proc/" + std::to_string(child) + "/io";
  auto read_so_far = [&] {
    std::string text = read_file(io);
    size_t at = text.find("rchar: ");
    return at == std::string::npos ? 0ull : std::stoull(text.substr(at + 7));
  };
  for (int i = 0; i < 1000 && read_so_far() < (64u << 20); ++i)  // 10 s at most
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(child, SIGINT);
  EXPECT_EQ(wait_for(child), 0x3A);
  EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
  EXPECT_EQ(fs::file_size(box / "out/big.mp3"), std::uintmax_t{1} << 30);
}

// In the double-byte code pages the second byte of many characters is a
// backslash (0x5C). Wine takes the code page from the locale: 932 here.
TEST(Windows, DoubleByteCodePage) {
  if (!under_wine()) {
    GTEST_SKIP() << "Windows names";
  }
  Sandbox locales;
  std::string make = "localedef -i ja_JP -f UTF-8 " + (locales / "ja_JP.UTF-8").string();
  if (system((make + " >/dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << "skipped: no ja_JP locale could be made (apt-get install locales)";
  }
  const char* was = getenv("LC_ALL");
  std::string old_locale = was != nullptr ? was : "C.UTF-8";
  setenv("LOCPATH", (locales / "").c_str(), 1);
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  // 表 is 95 5C, ソ is 83 5C; the half-width ﾃｽ is C3 BD, which is UTF-8 too.
  const Case c = {"a trail byte is no separator",
                  {{"m/\xE8\xA1\xA8"
                    "a.mp3",
                    "1"},
                   {"m/\xE3\x82\xBD"
                    "a.mp3",
                    "2"},
                   {"m/\xEF\xBE\x83\xEF\xBD\xBD.mp3", "3"},
                   {"out/", ""}},
                  "m\\\x95\\a.mp3\r\nm\\\x83\\a.mp3\r\nm\\\xC3\xBD.mp3\r\n",
                  kListToOut,
                  "Copying 'm\\\x95\\a.mp3' to out/\x95\\a.mp3...succeeded\r\n"
                  "Copying 'm\\\x83\\a.mp3' to out/\x83\\a.mp3...succeeded\r\n"
                  "Copying 'm\\\xC3\xBD.mp3' to out/\xC3\xBD.mp3...succeeded\r\n",
                  0,
                  {{"out/\xE8\xA1\xA8"
                    "a.mp3",
                    "1"},
                   {"out/\xE3\x82\xBD"
                    "a.mp3",
                    "2"},
                   {"out/\xEF\xBE\x83\xEF\xBD\xBD.mp3", "3"}}};
  check(c);
  setenv("LC_ALL", old_locale.c_str(), 1);
  unsetenv("LOCPATH");
}

}  // namespace
