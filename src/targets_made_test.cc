#include "targets_made.h"

#include <gtest/gtest.h>

#include <string>

#include "sandbox.h"

namespace {

// What a copy did, as the record takes it: the file it copied and the file
// it made, and the one it replaced (0: none stood there).
CopyDone done(unsigned long long source, unsigned long long made, unsigned long long replaced = 0,
              bool kept = false) {
  CopyDone copy = {};
  copy.kept = kept;
  copy.source_known = source != 0;
  copy.source = {1, source};
  copy.made_known = made != 0;
  copy.made = {1, made};
  copy.replaced_known = replaced != 0;
  copy.replaced = {1, replaced};
  return copy;
}

// The record tells a copy that replaces an earlier entry's: by the
// target's name, by the file it replaced, and (where the folder lists the
// name in one case only) by the name in any case; and whether the two
// copied one file, however named.
TEST(TargetsMade, TellsACopyThatReplacesAnEarlierOne) {
  Sandbox box;
  box.add({{"fat/Beat.mp3", ""}});
  const std::string fat = (box / "fat/").string();
  const struct {
    const char* what;
    std::string target;
    CopyDone done;
    const char* entry;
    bool replaces;
    const char* earlier = "";
    bool same_source = false;
    bool kept = false;
  } cases[] = {
      {"a first copy", "out/a.mp3", done(11, 101), "x\\a.mp3", false},
      {"a second entry, another file", "out/a.mp3", done(12, 102, 101), "y\\a.mp3", true, "x\\a.mp3"},
      {"the same file, otherwise named", "out/a.mp3", done(12, 103, 102), "/m/y/a.mp3", true,
       "y\\a.mp3", true},
      {"a kept copy", "out/b.mp3", done(13, 104, 0, true), "x\\b.mp3", false},
      {"replaced, it was kept", "out/b.mp3", done(14, 105, 104), "y\\b.mp3", true, "x\\b.mp3", false,
       true},
      {"by the file, under another name", "out/B.mp3", done(15, 106, 105), "z\\B.mp3", true,
       "y\\b.mp3"},
      {"sources unknown: by the entries", "out/c.mp3", done(0, 107), "x\\c.mp3", false},
      {"unknown, another entry", "out/c.mp3", done(0, 108, 107), "y\\c.mp3", true, "x\\c.mp3"},
      {"unknown, the same entry", "out/c.mp3", done(0, 109, 108), "y\\c.mp3", true, "y\\c.mp3", true},
      {"a file not made in this run", "out/d.mp3", done(16, 110, 999), "x\\d.mp3", false},
      {"names in another case, two files", "out/E.mp3", done(17, 111, 998), "x\\E.mp3", false},
      {"", "out/e.mp3", done(18, 112, 997), "y\\e.mp3", false},
      {"a medium that took them as one", fat + "Beat.mp3", done(19, 113), "x\\Beat.mp3", false},
      {"", fat + "beat.mp3", done(20, 114, 996), "y\\beat.mp3", true, "x\\Beat.mp3"},
  };
  for (const auto& c : cases) {
    EarlierCopy earlier = {"", false, false};
    EXPECT_EQ(replaces_earlier_copy(c.target.c_str(), kCodePage, c.done, c.entry, &earlier), c.replaces)
        << c.what << " " << c.entry;
    if (!c.replaces) continue;
    EXPECT_STREQ(earlier.entry, c.earlier) << c.what;
    EXPECT_EQ(earlier.same_source, c.same_source) << c.what;
    EXPECT_EQ(earlier.kept, c.kept) << c.what;
  }
  EXPECT_FALSE(targets_made_full());
}

// The record holds 8,192 copies: until then it never says it is full; the
// next one it says so, once, and still tells the copies it holds.
TEST(TargetsMade, HoldsEightThousandCopiesThenSaysSoOnce) {
  EarlierCopy earlier = {};
  for (unsigned i = 1; i <= kTargetsKept - 20; ++i) {  // the table above made 20 or fewer
    std::string target = "full/" + std::to_string(i) + ".mp3";
    replaces_earlier_copy(target.c_str(), kCodePage, done(5000 + i, 9000 + i), target.c_str(), &earlier);
    if (targets_made_full()) {
      ADD_FAILURE() << "full after " << i << " copies more";
      break;
    }
  }
  int said = 0;
  for (int more = 0; more < 40; ++more) {
    std::string target = "more/" + std::to_string(more) + ".mp3";
    replaces_earlier_copy(target.c_str(), kCodePage, done(1, 2), "more", &earlier);
    said += targets_made_full() ? 1 : 0;
  }
  EXPECT_EQ(said, 1) << "said once, when full";
  EXPECT_TRUE(replaces_earlier_copy("full/1.mp3", kCodePage, done(77, 78), "again", &earlier));
  EXPECT_STREQ(earlier.entry, "full/1.mp3");
}

}  // namespace
