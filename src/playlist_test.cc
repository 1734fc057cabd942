#include "playlist.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "sandbox.h"

namespace {

namespace fs = std::filesystem;

// Runs in a sandbox of its own as the current folder, as lisko runs in
// the folder it is started in.
class PlaylistIn : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(getcwd(old_folder_, sizeof old_folder_), nullptr);
    ASSERT_EQ(chdir((box_ / "").c_str()), 0);
  }
  void TearDown() override { EXPECT_EQ(chdir(old_folder_), 0); }
  Sandbox box_;
  char old_folder_[4096] = "";
};

// The format is told from the first lines, whatever the playlist's name.
TEST_F(PlaylistIn, FormatIsToldByTheFirstLines) {
  const struct {
    const char* what;
    std::string bytes;
    PlaylistFormat format;
  } cases[] = {
      {"[playlist]", "[playlist]\nFile1=a.mp3\n", kPls},
      {"[playlist] indented, in any case", "  \t[Playlist]\r\nFile1=a.mp3\r\n", kPls},
      {"after blank lines and comments", "\n\n; by hand\n# saved\n[playlist]\n", kPls},
      {"after a MIME type", "audio/x-scpls\r\n[playlist]\r\n", kPls},
      {"after a line of mime.types", "audio/x-scpls           pls\n[playlist]\n", kPls},
      {"after one with two extensions", "application/pls+xml pls m3u\n[playlist]\n", kPls},
      {"after one with an extension of one letter", "audio/x-scpls p\n[playlist]\n", kPls},
      {"a song in a folder named audio is no MIME type", "audio/a.mp3\n[playlist]\n", kM3u},
      {"nor one with a blank", "audio/My Song.mp3\n[playlist]\n", kM3u},
      {"a MIME type with blanks after it", "audio/x-scpls \t\n[playlist]\n", kPls},
      {"but not with more than extensions", "audio/x-scpls pls !\n[playlist]\n", kM3u},
      {"a song's type is no PLS's", "audio/mpeg\n[playlist]\na.mp3\n", kM3u},
      {"nor a longer one that begins like it", "audio/x-scplsx\n[playlist]\n", kM3u},
      {"an M3U's #EXTM3U first", "#EXTM3U\n[playlist]\n", kM3u},
      {"an entry first", "a.mp3\n[playlist]\n", kM3u},
      {"a merge's mark is no markup", "<<<<<<< HEAD\nsong.mp3\n=======\n", kM3u},
      {"XML", "<?xml version=\"1.0\"?>\n<playlist/>", kXml},
      {"XML after a comment", "<!-- by hand -->\n<smil/>", kXml},
      {"XML after a blank line", "\n<playlist/>", kXml},
      {"ASX, WAX, WVX: the root <ASX>, in any case", "<Asx version=\"3.0\">", kAsx},
      {"after a declaration, a comment, a DOCTYPE", "<?xml version=\"1.0\"?>\r\n<!-- <smil> -->\n"
       "<!DOCTYPE asx>\n<ASX>", kAsx},
      {"B4S", "<?xml version=\"1.0\" encoding='UTF-8'?>\n<WinampXML><playlist>", kB4s},
      {"a root that begins like ASX's", "<asxx>", kXml},
      {"ASX's INI form", "\r\n [Reference]\r\nRef1=a.mp3\r\n", kAsxIni},
      {"empty", "", kM3u},
  };
  for (const auto& c : cases) {
    write_file(box_ / "x.list", c.bytes);
    Playlist playlist;
    const char* why = nullptr;
    ASSERT_TRUE(open_for_run("x.list", &playlist, &why)) << c.what;
    EXPECT_EQ(playlist.format, c.format) << c.what;
    close_after_run(&playlist);
  }
}

// Where a relative entry is found: an M3U's from the current folder, and
// where that lacks it, from the playlist's; the other formats' from the
// playlist's folder; a name from the root never from the playlist's.
TEST_F(PlaylistIn, RelativeEntriesAreFoundAsPlayersFindThem) {
  box_.add({{"D\xC3\xA9j\xC3\xA0 vu.mp3", "d"}, {"\xE9t\xE9.mp3", "e"}, {"\xC3\xA9t\xC3\xA9.mp3", "E"},
            {"lists/\xE2\x82\xAC.mp3", "euro"}, {"here.mp3", "h"}, {"both.mp3", "b"}, {"lists/both.mp3", "B"},
            {"lists/beside.mp3", "s"}, {"lists/sub/deeper.mp3", "d"}, {"locked/song.mp3", "l"},
            {"lists/locked/song.mp3", "L"}, {"lists/loop/song.mp3", "L"}});
  chmod((box_ / "locked").c_str(), 0);  // its file is there, though only root can tell
  ASSERT_EQ(symlink("loop", (box_ / "loop").c_str()), 0);  // a name no one can resolve, root too
  // The playlist holds the one entry, written as its format writes it.
  auto holding = [](const std::string& playlist, const std::string& entry) {
    if (playlist.find(".pls") != std::string::npos) return "[playlist]\nFile1=" + entry + "\n";
    if (playlist.find(".xspf") == std::string::npos) return entry + "\n";
    return "<playlist><trackList><track><location>" + entry + "</location></track></trackList>"
           "</playlist>";
  };
  const struct {
    const char* playlist;
    std::string entry;
    FormResult result;
    std::string source;
    EntryFound found;
  } cases[] = {
      {"lists/x.m3u", "here.mp3", kFormed, "here.mp3", kAsWritten},
      {"lists/x.m3u", "both.mp3", kFormed, "both.mp3", kAsWritten},
      {"lists/x.m3u", "beside.mp3", kFormed, "lists/beside.mp3", kBesidePlaylist},
      {"lists/x.m3u", "sub\\deeper.mp3", kFormed, "lists/sub\\deeper.mp3", kBesidePlaylist},
      {"lists/x.m3u", "gone.mp3", kFormed, "gone.mp3", kInNeither},
      {"lists/x.m3u", "locked/song.mp3", kFormed, "locked/song.mp3", kAsWritten},
      {"lists/x.m3u", "loop/song.mp3", kFormed, "loop/song.mp3", kAsWritten},
      // Bytes of Windows-1252 that name no file: as its code page spells them.
      {"lists/x.m3u", "D\xE9j\xE0 vu.mp3", kFormed, "D\xC3\xA9j\xC3\xA0 vu.mp3", kAsWritten},
      {"lists/x.m3u", "\xE9t\xE9.mp3", kFormed, "\xE9t\xE9.mp3", kAsWritten},
      {"lists/x.m3u", "\x80.mp3", kFormed, "lists/\xE2\x82\xAC.mp3", kBesidePlaylist},
      {"pl\\x.m3u", "beside.mp3", kFormed, "beside.mp3", kAsWritten},  // one name, in this folder
      // On POSIX a drive reads as a folder of the current one, but no folder holds it.
      {"lists/x.m3u", "a:\\Music\\gone.mp3", kFormed, "a:\\Music\\gone.mp3", kAsWritten},
      {"lists/x.m3u", "Z:\\Music\\gone.mp3", kFormed, "Z:\\Music\\gone.mp3", kAsWritten},
      {"x.m3u", "gone.mp3", kFormed, "gone.mp3", kAsWritten},
      {"./x.m3u", "beside.mp3", kFormed, "beside.mp3", kAsWritten},
      {"lists/x.m3u", "\\beside.mp3", kFormed, "\\beside.mp3", kAsWritten},
      {"lists/x.m3u", "/beside.mp3", kFormed, "/beside.mp3", kAsWritten},
      {"lists/x.m3u", "http://radio.example/beside.mp3", kNoNamePart, "", kAsWritten},
      {"lists/x.pls", "here.mp3", kFormed, "lists/here.mp3", kAsWritten},
      {"lists/x.pls", "/a/b.mp3", kFormed, "/a/b.mp3", kAsWritten},
      {"lists/x.pls", "\\a.mp3", kFormed, "\\a.mp3", kAsWritten},
      {"lists/x.pls", "a%20b.mp3", kFormed, "lists/a%20b.mp3", kAsWritten},
      {"lists/x.xspf", "a%20b.mp3", kFormed, "lists/a b.mp3", kAsWritten},
      {"lists/x.xspf", "a%00b.mp3", kNotAFileName, "", kAsWritten},
      {"lists/x.xspf", std::string(1017, 'n'), kFormed, "lists/" + std::string(1017, 'n'), kAsWritten},
      {"lists/x.xspf", std::string(1018, 'n'), kSourceTooLong, "", kAsWritten},
  };
  for (const auto& c : cases) {
    write_file(box_ / c.playlist, holding(c.playlist, c.entry));
    Playlist playlist;
    const char* why = nullptr;
    ASSERT_TRUE(open_for_run(c.playlist, &playlist, &why)) << c.playlist;
    char entry[kLineSize] = "";
    EXPECT_EQ(next_entry(&playlist, entry), kEntryLine) << c.playlist << ": " << c.entry;
    EXPECT_EQ(entry, c.entry);
    char source[kPathSize] = "";
    EntryFound found = kInNeither;
    EXPECT_EQ(locate_entry(&playlist, entry, source, &found), c.result) << c.entry;
    if (c.result == kFormed) {
      EXPECT_EQ(source, c.source) << c.entry;
    }
    EXPECT_EQ(found, c.found) << c.playlist << ": " << c.entry;
    close_after_run(&playlist);
  }
}

// The playlist's full folder, which lisko names where it takes entries
// from there: told where the name fits, and none where it does not (a
// name of more than 1,023 bytes that the system still opens), whatever
// the memory held before.
TEST_F(PlaylistIn, FullFolderIsToldOrNone) {
  fs::create_directories(box_ / "lists");
  write_file(box_ / "lists/x.m3u", "a.mp3\n");
  auto padded = [](std::string folder, size_t length) {  // folder + "./" ... + "x.m3u"
    while (folder.size() + 5 < length) folder += "./";
    return folder + "x.m3u";
  };
  const std::string lists = fs::canonical(box_ / "lists").string();
  const struct {
    std::string name;
    std::string folder;
  } cases[] = {
      {"lists/x.m3u", lists},
      {"x.m3u", fs::canonical(box_ / "").string()},
      {padded("lists/", 1023), lists},
      {padded("lists//", 1024), ""},
      {padded("lists/", 1101), ""},
  };
  write_file(box_ / "x.m3u", "a.mp3\n");
  for (const auto& c : cases) {
    Playlist playlist;
    memset(&playlist, 'x', sizeof playlist);
    const char* why = nullptr;
    ASSERT_TRUE(open_for_run(c.name.c_str(), &playlist, &why)) << c.name.size();
    EXPECT_EQ(playlist_folder(&playlist), c.folder) << c.name.size();
    close_after_run(&playlist);
  }
}

// An ASX entry is the first of its REFs that names a file lisko can copy;
// where none does, the first that names a file; where all are streams, the
// first. Its names are read as Windows-1252 where they are no UTF-8.
TEST_F(PlaylistIn, AsxEntryIsItsFirstRefThatNamesAFile) {
  box_.add({{"lists/b.mp3", "b"}, {"lists/\xC3\xA9.mp3", "e"}});
  const struct {
    std::string refs;
    std::string entry;
    std::string source;
  } cases[] = {
      {"<ref href=\"http://radio/live\"/><ref href=\"gone.mp3\"/><ref href=\"b.mp3\"/>", "b.mp3",
       "lists/b.mp3"},
      {"<ref href=\"mms://radio\"/><ref href=\"gone.mp3\"/><ref href=\"lost.mp3\"/>", "gone.mp3",
       "lists/gone.mp3"},
      {"<ref href=\"mms://radio\"/><ref href=\"rtsp://radio\"/>", "mms://radio", ""},
      {"<ref href=\"gone.mp3\"/><ref href=\"lost.mp3\"/>", "gone.mp3", "lists/gone.mp3"},
      {"<ref href=\"\xE9.mp3\"/>", "\xE9.mp3", "lists/\xC3\xA9.mp3"},
  };
  for (const auto& c : cases) {
    write_file(box_ / "lists/x.asx", "<asx><entry>" + c.refs + "</entry></asx>");
    Playlist playlist;
    const char* why = nullptr;
    ASSERT_TRUE(open_for_run("lists/x.asx", &playlist, &why));
    char entry[kLineSize] = "";
    EXPECT_EQ(next_entry(&playlist, entry), kEntryLine);
    EXPECT_EQ(entry, c.entry);
    char source[kPathSize] = "";
    EXPECT_EQ(locate_entry(&playlist, entry, source), c.source.empty() ? kNoNamePart : kFormed);
    if (!c.source.empty()) {
      EXPECT_EQ(source, c.source);
    }
    close_after_run(&playlist);
  }
}

}  // namespace
