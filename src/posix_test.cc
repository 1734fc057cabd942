// End to end, what only the native program meets: names with any bytes,
// special files, symbolic links, pipes, permissions and other users.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "cases.h"

namespace fs = std::filesystem;

namespace {

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
      {"bytes of Windows-1252 that name no file, read as that code page", {{"src/D\xC3\xA9j\xC3\xA0 vu.mp3",
       "D"}, {"out/", ""}}, "src\\D\xE9j\xE0 vu.mp3\r\n", kListToOut, "Copying 'src\\D\xE9j\xE0 vu.mp3' to "
       "out/D\xC3\xA9j\xC3\xA0 vu.mp3...succeeded\r\n", 0, {{"out/D\xC3\xA9j\xC3\xA0 vu.mp3", "D"}}},
      {"a playlist written on Linux", {{"m/Artist/01 Song.mp3", "1"}, {"m/b.mp3", "2"}, {"m:/1/b.mp3", "5"},
       {"c.mp3", "3"}, {"bare.mp3", "4"}, {"out/", ""}},
       "#EXTM3U\n{box}/m/Artist/01 Song.mp3\nm/b.mp3\nm/Artist/../../c.mp3\n"
       "m\\Artist/01 Song.mp3\nhttp://radio.invalid/live\nfile://server/m/b.mp3\n"
       "HTTPS://x.invalid/y.mp3\nbare.mp3\nm://1/b.mp3\n", kListToOut,
       "Copying '{box}/m/Artist/01 Song.mp3' to out/01 Song.mp3...succeeded\r\n"
       "Copying 'm/b.mp3' to out/b.mp3...succeeded\r\n"
       "Copying 'm/Artist/../../c.mp3' to out/c.mp3...succeeded\r\n"
       "Copying 'm\\Artist/01 Song.mp3' to out/01 Song.mp3...succeeded\r\n"
       "Copying 'bare.mp3' to out/bare.mp3...succeeded\r\n"
       "Copying 'm://1/b.mp3' to out/b.mp3...succeeded\r\n", 3,
       {{"out/01 Song.mp3", "1"}, {"out/b.mp3", "5"}, {"out/c.mp3", "3"}, {"out/bare.mp3", "4"}},
       "", "lisko: out/b.mp3: the copy of 'm://1/b.mp3' replaced the copy of 'm/b.mp3' made earlier "
       "in this run (two entries with one name)\n"},
      {"names that differ in case are two files here, told as none", {{"src/Song.mp3", "1"},
       {"x/song.mp3", "2"}, {"out/song.mp3", "old"}}, "src\\Song.mp3\nx\\song.mp3\n", kListToOut,
       "Copying 'src\\Song.mp3' to out/Song.mp3...succeeded\r\n"
       "Copying 'x\\song.mp3' to out/song.mp3...succeeded\r\n", 0,
       {{"out/Song.mp3", "1"}, {"out/song.mp3", "2"}}},
      {"a file whose size the kernel hides is copied whole", {{"out/", ""}}, "\\proc\\version\r\n",
       kListToOut, "Copying '\\proc\\version' to out/version...succeeded\r\n", 0,
       {{"out/version", read_file("/proc/version")}}},
      {"and over an empty target, which is not kept", {{"out/version", ""}}, "\\proc\\version\r\n",
       kListToOut, "Copying '\\proc\\version' to out/version...succeeded\r\n", 0,
       {{"out/version", read_file("/proc/version")}}},
      {"a file whose size is nominal (sysfs: 4,096) is copied as it reads", {{"out/", ""}},
       "/sys/devices/system/cpu/online\r\n", kListToOut,
       "Copying '/sys/devices/system/cpu/online' to out/online...succeeded\r\n", 0,
       {{"out/online", read_file("/sys/devices/system/cpu/online")}}},
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

// A playlist whose folder's full name is too long to hold (more than
// 1,023 bytes): its M3U entries are found as ever, and no failure names
// that folder.
TEST(Posix, PlaylistInAFolderTooLongToName) {
  Sandbox box;
  std::string deep;
  for (int i = 0; i < 5; ++i) deep += std::string(200, 'd') + "/";
  box.add({{deep + "sub/a.mp3", "A"}, {deep + "sub/list.m3u", "a.mp3\nb.mp3\n"}, {deep + "out/", ""}});
  Result result = run_in(box / deep, {"sub/list.m3u", "out/"});
  EXPECT_EQ(result.out,
            "Copying 'a.mp3' to out/a.mp3...succeeded\r\n"
            "Copying 'b.mp3' to out/b.mp3...failed: No such file or directory\r\n");
  EXPECT_EQ(result.err, "lisko: relative entries that the current folder lacks are taken from "
                        "the playlist's folder, sub/\n");
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

// A target is kept only where it can be made what a fresh copy would be:
// the source's bytes on the medium, its permission bits and times. Another
// user's target whose times cannot be set, and one that another name
// shares (a hard link, whose other file must not change), are replaced.
TEST(Posix, SecondRunKeepsOnlyWhatItCanMakeTheCopy) {
  const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  const struct {
    const char* what;
    mode_t target_mode;  // the target's after the first run, or 0 to leave it (07777 bits)
    bool old_times;      // the target's times changed after the first run
    bool hard_link;      // the target is named elsewhere too
    const char* faults;
    bool as_other_user;  // run as nobody, the target root's
    bool kept;
    const char* result = "succeeded";
  } cases[] = {
      {"bits of its own", 0600, false, false, "", false, true},
      {"set-user-ID, set-group-ID and sticky bits the source lacks", 07644, false, false, "", false,
       true},
      {"times of its own", 0, true, false, "", false, true},
      {"no O_NOATIME on it", 0, false, false, "open:noatime", false, true},
      {"a hard link", 0600, true, true, "", false, false},
      {"another user's, times the same", 0, false, false, "", true, true},
      {"another user's, times differ", 0, true, false, "", true, false},
      {"another user's, bits differ", 0600, false, false, "", true, false},
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
    EXPECT_EQ(after.st_mode & 07777, 0644u) << c.what;
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

// A target of the user's own is kept where its file system will not take
// its times (a FAT stick): a fresh copy could hold them no better. Run as
// nobody, whose files these are.
TEST(Posix, SecondRunKeepsItsOwnTargetWhereTimesAreRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "only root runs a case as nobody";
  Sandbox box;
  box.add({{"src/a.mp3", "AAAA"}, {"out/", ""}, {"list.m3u", "src\\a.mp3\r\n"}});
  chmod((box / "out").c_str(), 0777);
  ASSERT_EQ(box.run(kListToOut, true).status, 0);
  const struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  utimensat(AT_FDCWD, (box / "out/a.mp3").c_str(), old_times, 0);
  struct stat before, after;
  stat((box / "out/a.mp3").c_str(), &before);
  EXPECT_EQ(before.st_uid, 65534u);
  EXPECT_EQ(run_with_faults(box, "futimens:EPERM", true).status, 0);
  stat((box / "out/a.mp3").c_str(), &after);
  EXPECT_EQ(after.st_ino, before.st_ino) << "replaced";
}

// A second run onto a tmpfs, whose memory is its medium, keeps what is
// there: the same file, unchanged, nothing written.
TEST(Posix, SecondRunOntoATmpfsKeepsWhatIsThere) {
  Sandbox box;
  char name[] = "/dev/shm/lisko-test-XXXXXX";
  struct statfs shm;
  if (statfs("/dev/shm", &shm) != 0 || shm.f_type != 0x01021994 || mkdtemp(name) == nullptr) {
    GTEST_SKIP() << "no tmpfs at /dev/shm";
  }
  chmod(name, 0777);
  std::string song(300000, '\0');
  for (size_t i = 0; i < song.size(); ++i) song[i] = static_cast<char>(i * 7 + i / 251);
  box.add({{"src/a.mp3", song}, {"list.m3u", "src\\a.mp3\r\n"}});
  std::string dest = std::string(name) + "/";
  Result first = box.run({"list.m3u", dest});
  struct stat before, after;
  stat((dest + "a.mp3").c_str(), &before);
  Result second = box.run({"list.m3u", dest});
  stat((dest + "a.mp3").c_str(), &after);
  bool same = read_file(dest + "a.mp3") == song;
  fs::remove_all(name);
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(second.out, "Copying 'src\\a.mp3' to " + dest + "a.mp3...succeeded\r\n");
  EXPECT_EQ(after.st_ino, before.st_ino) << "rewritten";
  EXPECT_EQ(after.st_ctim.tv_nsec, before.st_ctim.tv_nsec) << "touched";
  EXPECT_TRUE(same);
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
            "Copying 'src\\d.mp3' to ro/d.mp3...failed: the target is a folder (Is a directory)\r\n");
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

// A clash is told however long the playlist: 9,001 entries whose one
// clash is the last.
TEST(Posix, ClashAfterNineThousandCopiesIsTold) {
  Sandbox box;
  box.add({{"song.mp3", "S"}, {"out/", ""}, {"again/s0.mp3", "A"}});
  std::string list;
  fs::create_directories(box / "in");
  for (int i = 0; i < 9000; ++i) {
    std::string name = "s" + std::to_string(i) + ".mp3";
    fs::create_symlink("../song.mp3", box / ("in/" + name));
    list += "in/" + name + "\n";
  }
  write_file(box / "list.m3u", list + "again/s0.mp3\n");
  Result result = box.run(kListToOut);
  EXPECT_EQ(result.status, 3);  // the last copy replaced one of another song
  EXPECT_EQ(result.err,
            "lisko: out/s0.mp3: the copy of 'again/s0.mp3' replaced the copy of 'in/s0.mp3' made "
            "earlier in this run (two entries with one name)\n");
}

TEST(Posix, PlaylistThatCannotBeReadEndsTheRun) {
  Sandbox box;
  Result result = box.run({"/proc/self/mem", "out/"});
  EXPECT_EQ(result.out, "Couldn't read /proc/self/mem.  Exiting LISKO.\r\n");
  EXPECT_EQ(result.status, 2);
}

}  // namespace
