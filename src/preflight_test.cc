#include "preflight.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "name_rules.h"
#include "sandbox.h"

namespace {

// What the copies add on dest's file system: each source, less the target
// it replaces, each target once, for the last entry that names it.
TEST(Preflight, WeighsWhatTheCopiesAdd) {
  Sandbox box;
  box.add({{"src/new.mp3", std::string(100, 'n')}, {"src/same.mp3", std::string(100, 's')},
           {"src/big.mp3", std::string(100, 'b')}, {"src/small.mp3", std::string(30, 's')}, {"src/one.mp3", "1"},
           {"src2/new.mp3", std::string(30, 'n')}, {"lists/beside.mp3", std::string(7, 'b')},
           {"src/folder.mp3/", ""}, {"out/same.mp3", std::string(100, 'o')},
           {"out/big.mp3", std::string(60, 'o')}, {"out/small.mp3", std::string(40, 'o')}});
  const struct {
    const char* what;
    std::string playlist;
    unsigned long long need;
  } cases[] = {
      {"a fresh copy", "src/new.mp3\n", 100},
      {"a fresh copy of one byte", "src/one.mp3\n", 1},
      {"a target of the source's size needs nothing", "src/same.mp3\n", 0},
      {"a larger source needs what it adds", "src/big.mp3\n", 40},
      {"a larger target, nothing", "src/small.mp3\n", 0},
      {"one target twice: its last entry", "src/new.mp3\nsrc2/new.mp3\n", 30},
      {"one target twice, the other way", "src2/new.mp3\nsrc/new.mp3\n", 100},
      {"two targets, one found beside the playlist", "src/big.mp3\nbeside.mp3\n", 47},
      {"a source that is not there, or not a file, or a stream", "src/gone.mp3\nsrc/folder.mp3\n"
       "http://radio.example/src/new.mp3\n", 0},
  };
  char old_folder[4096] = "";
  ASSERT_NE(getcwd(old_folder, sizeof old_folder), nullptr);
  ASSERT_EQ(chdir((box / "").c_str()), 0);
  take_dest("out/");
  for (const auto& c : cases) {
    write_file(box / "lists/x.m3u", c.playlist);
    unsigned long long need = 99999;
    EXPECT_TRUE(weigh_copies("lists/x.m3u", &need)) << c.what;
    EXPECT_EQ(need, c.need) << c.what;
  }
  unsigned long long need = 0;
  EXPECT_FALSE(weigh_copies("/dev/null", &need)) << "a playlist that is no regular file";
  EXPECT_EQ(chdir(old_folder), 0);
}

// Past the targets it tells apart (8,192), the weighing still counts every
// copy, and ends: 16,400 fresh copies of a byte each need 16,400 bytes.
TEST(Preflight, CountsMoreTargetsThanItTellsApart) {
  Sandbox box(kInMemory);
  box.add({{"src/", ""}, {"out/", ""}});
  std::string playlist;
  for (int i = 0; i < 16400; ++i) {
    std::string name = "src/" + std::to_string(i) + ".mp3";
    write_file(box / name, "x");
    playlist += name + "\n";
  }
  write_file(box / "x.m3u", playlist);
  char old_folder[4096] = "";
  ASSERT_NE(getcwd(old_folder, sizeof old_folder), nullptr);
  ASSERT_EQ(chdir((box / "").c_str()), 0);
  take_dest("out/");
  unsigned long long need = 0;
  // Given all the time it takes, however loaded the machine; given none,
  // it gives up.
  EXPECT_TRUE(weigh_copies("x.m3u", &need, 1e9));
  EXPECT_EQ(need, 16400u);
  EXPECT_FALSE(weigh_copies("x.m3u", &need, -1));
  EXPECT_EQ(chdir(old_folder), 0);
}

// The weighing gives up within a long run of lines that name nothing too,
// as it reads them: 2 MB of comments are not read to their end first.
TEST(Preflight, GivesUpWithinLinesThatNameNothing) {
  Sandbox box(kInMemory);
  std::string comments;
  while (comments.size() < (2u << 20)) comments += "# a comment line that names no song at all\n";
  write_file(box / "x.m3u", comments + "a.mp3\n");
  unsigned long long need = 0;
  EXPECT_FALSE(weigh_copies((box / "x.m3u").c_str(), &need, 0.001));
  EXPECT_TRUE(weigh_copies((box / "x.m3u").c_str(), &need, 1e9));
}

}  // namespace
