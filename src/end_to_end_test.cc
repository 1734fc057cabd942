// End-to-end tests of what lisko does on every platform: each runs the
// built lisko in a fresh temporary folder and checks the exact output
// bytes, the exit status and every file left. The EndToEnd suite runs
// against the native program and, under Wine, the Windows one; the Posix
// suite (posix_test.cc) only against the native program, and the Windows
// suite (windows_test.cc) only under Wine.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "cases.h"

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "Usage: Lisko [m3uFile] [dest]\r\n"
    " where m3uFile is a valid mp3 playlist and\r\n"
    " dest is a valid DOS destination path.\r\n";

// What a missing dest folder asks, in each platform's words.
const std::string kMountQuestion =
    native_or_wine("is the stick mounted?", "is the drive plugged in?");

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
       "End dest with '" + native_or_wine("/", "\\") + "' to copy into it.\n"},
      {"an M3U named with its folder: what the current folder lacks is taken from the playlist's",
       {{"music/Album/01 Song.mp3", "beside"}, {"music/Album/02 Here.mp3", "beside"},
        {"music/Album/04 Also.mp3", "also"}, {"Album/02 Here.mp3", "here"}, {"music/mix.m3u",
        "Album\\01 Song.mp3\r\nAlbum\\02 Here.mp3\r\nAlbum\\04 Also.mp3\r\nAlbum\\03 Gone.mp3\r\n"},
        {"out/", ""}},
       "", {"music/mix.m3u", "out/"},
       "Copying 'Album\\01 Song.mp3' to out/01 Song.mp3...succeeded\r\n"
       "Copying 'Album\\02 Here.mp3' to out/02 Here.mp3...succeeded\r\n"
       "Copying 'Album\\04 Also.mp3' to out/04 Also.mp3...succeeded\r\n"
       "Copying 'Album\\03 Gone.mp3' to out/03 Gone.mp3...failed: " +
       native_or_any("No such file or directory") + " (nor has the playlist's folder " +
       (under_wine() ? "*music" : "{box}/music") + ": run lisko in the folder its entries start "
       "from)\r\n", 3, {{"out/01 Song.mp3", "beside"}, {"out/02 Here.mp3", "here"},
       {"out/04 Also.mp3", "also"}}, "",
       "lisko: relative entries that the current folder lacks are taken from the playlist's "
       "folder, music/\n"},
      {"dest of 256 characters", music, "src\\a.mp3\r\n", {"list.m3u", std::string(256, 'd')},
       "Destination is longer than 255 characters.  Exiting LISKO.\r\n", 1, {}},
      {"no wildcard expansion", music, "src\\a.mp3\r\n", {"*.m3u", "out/"},
       "Couldn't open *.m3u.  Exiting LISKO.\r\n", 2, {}, "",
       "lisko: *.m3u: " + native_or_wine("No such file or directory", "Invalid argument") + "\n"},
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
       "Copying 'y\\s.mp3' to out/s.mp3...succeeded\r\n", 3, {{"out/s.mp3", "2"}}, "",
       "lisko: out/s.mp3: the copy of 'y\\s.mp3' replaced the copy of 'x\\s.mp3' made earlier in "
       "this run (two entries with one name)\n"},
      {"the same file twice, however it is named, is no clash", music,
       "src\\a.mp3\r\n{box}/src/a.mp3\r\nfile://{box}/src/a.mp3\r\n", kListToOut,
       "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n"
       "Copying '{box}/src/a.mp3' to out/a.mp3...succeeded\r\n"
       "Copying 'file://{box}/src/a.mp3' to out/a.mp3...succeeded\r\n", 0, {{"out/a.mp3", "A"}}},
      {"a failed copy ends its line and the run goes on", music,
       "src\\gone.mp3\r\nsrc\\a.mp3\r\n", kListToOut,
       "Copying 'src\\gone.mp3' to out/gone.mp3...failed: *\r\n"
       "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n", 3, {{"out/a.mp3", "A"}}},
      {"an entry ending in a backslash names a folder", music, "src\\\r\n", kListToOut,
       "Copying 'src\\' to out/...failed: *\r\n", 3, {}},
      {"a missing target folder", music, "src\\a.mp3\r\n", {"list.m3u", "none/x-"},
       "Copying 'src\\a.mp3' to none/x-a.mp3...failed: " +
       native_or_wine("no folder none/ (No such file or directory)", "no folder none/ (*)") +
       "\r\n", 3, {}, "", "lisko: no folder none/: every copy would fail; " + kMountQuestion + "\n"},
      {"a file: URL that holds %00 is skipped, and the run fails", music,
       "file:///src/a%00.mp3\r\n", kListToOut, "Skipping 'file:///src/a%00.mp3" + kNotAName, 3, {}},
      {"a file where dest's folder should be", {{"src/a.mp3", "A"}, {"notes", "N"}},
       "src\\a.mp3\r\n", {"list.m3u", "notes/"},
       "Copying 'src\\a.mp3' to notes/a.mp3...failed: " +
       native_or_wine("no folder notes/ (Not a directory)", "no folder notes/ (*)") + "\r\n", 3,
       {}, "", "lisko: no folder notes/: every copy would fail; " + kMountQuestion + "\n"},
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

TEST(EndToEnd, ClosedOutputNeitherStopsTheRunNorChangesTheStatus) {
  Sandbox box;
  box.add({{"src/a.mp3", "A"}, {"out/", ""}, {"list.m3u", "src\\a.mp3\r\nsrc\\a.mp3\r\n"}});
  EXPECT_EQ(run_in(box / "", kListToOut, false, true).status, 0);
  EXPECT_EQ(read_file(box / "out/a.mp3"), "A");
}

// A full stick fails the copy that does not fit and keeps the file that
// was there; natively, a fresh copy said so by a temporary name too (where
// no unnamed file can be linked in place).
TEST(EndToEnd, FullStickFailsTheCopyAndLosesNothing) {
  for (const char* faults : {"", "linkat:EPERM"}) {
    if (*faults != '\0' && under_wine()) continue;  // the fault library is Linux's
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
    if (*faults != '\0') preload_faults(faults);
    Result result = box.run({"list.m3u", "small/"});
    unsetenv("LD_PRELOAD");
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
        << faults << ": " << result.out;
    EXPECT_NE(result.err.find("lisko: the copies need 4.2 MB; small/ has 1.0 MB free"),
              std::string::npos)
        << result.err;
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(names, (std::vector<std::string>{"a.mp3", "big.mp3"})) << faults;
    EXPECT_EQ(left, (Files{{"big.mp3", "earlier"}, {"a.mp3", "A"}})) << faults;
  }
}

}  // namespace
