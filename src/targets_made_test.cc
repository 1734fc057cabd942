#include "targets_made.h"

#include <gtest/gtest.h>

#include <string>

#include "sandbox.h"

namespace {

// What a copy did, as the record takes it: the file it copied, with its
// size, the file it made, and the one it replaced (0: none stood there).
CopyDone done(unsigned long long source, unsigned long long made, unsigned long long replaced = 0,
              bool kept = false, unsigned long long size = 100) {
  CopyDone copy = {};
  copy.kept = kept;
  copy.source_known = source != 0;
  copy.source = {1, source};
  copy.source_size = size;
  copy.source_time = 1234;
  copy.made_known = made != 0;
  copy.made = {1, made};
  copy.replaced_known = replaced != 0;
  copy.replaced = {1, replaced};
  return copy;
}

// The record finds an earlier entry's copy where a copy goes: by the
// target's name, by a name in another case where the folder lists one of
// them only (a medium that took both as one), and after the copy by the
// file it replaced; and tells whether the two hold one song.
TEST(TargetsMade, FindsAnEarlierEntrysCopyAndTellsWhetherItIsTheSameSong) {
  Sandbox box;
  box.add({{"fat/Beat.mp3", ""}, {"fat/\xC3\x84rger.mp3", ""}, {"fat/\xC5\x92uvre.mp3", ""}});
  const std::string fat = (box / "fat/").string();
  const struct {
    const char* what;
    std::string target;
    CopyDone done;
    const char* entry;
    const char* earlier;  // its entry, or null where none is found
    bool same_song = false;
  } cases[] = {
      {"a first copy", "out/a.mp3", done(11, 101), "x\\a.mp3", nullptr},
      {"a second entry, another song", "out/a.mp3", done(12, 102, 101), "y\\a.mp3", "x\\a.mp3"},
      {"the same file, otherwise named", "out/a.mp3", done(12, 103, 102), "/m/y/a.mp3", "y\\a.mp3",
       true},
      {"one id, another size: two files a union shows as one", "out/a.mp3",
       done(12, 104, 103, false, 99), "z\\a.mp3", "/m/y/a.mp3"},
      {"a kept copy", "out/b.mp3", done(13, 105, 0, true), "x\\b.mp3", nullptr},
      {"another file with the same bytes: kept", "out/b.mp3", done(14, 105, 105, true), "y\\b.mp3",
       "x\\b.mp3", true},
      {"by the file, under another name", "out/B.mp3", done(15, 106, 105), "z\\B.mp3", "y\\b.mp3"},
      {"sources unknown: by the entries", "out/c.mp3", done(0, 107), "x\\c.mp3", nullptr},
      {"unknown, another entry", "out/c.mp3", done(0, 108, 107), "y\\c.mp3", "x\\c.mp3"},
      {"unknown, the same entry", "out/c.mp3", done(0, 109, 108), "y\\c.mp3", "y\\c.mp3", true},
      {"a file not made in this run", "out/d.mp3", done(16, 110, 999), "x\\d.mp3", nullptr},
      {"names in another case, two files", "out/E.mp3", done(17, 111, 998), "x\\E.mp3", nullptr},
      {"", "out/e.mp3", done(18, 112, 997), "y\\e.mp3", nullptr},
      {"a medium that took them as one", fat + "Beat.mp3", done(19, 113), "x\\Beat.mp3", nullptr},
      {"", fat + "beat.mp3", done(20, 114, 996), "y\\beat.mp3", "x\\Beat.mp3"},
      {"beyond ASCII", fat + "\xC3\x84rger.mp3", done(21, 115), "x\\\xC3\x84rger.mp3", nullptr},
      {"", fat + "\xC3\xA4rger.mp3", done(22, 116, 995), "y\\\xC3\xA4rger.mp3", "x\\\xC3\x84rger.mp3"},
      {"", fat + "\xC5\x92uvre.mp3", done(23, 117), "x\\\xC5\x92uvre.mp3", nullptr},
      {"", fat + "\xC5\x93uvre.mp3", done(24, 118, 994), "y\\\xC5\x93uvre.mp3", "x\\\xC5\x92uvre.mp3"},
  };
  unsigned long number = 0;
  for (const auto& c : cases) {
    EarlierCopy earlier = {};
    bool found = find_earlier_copy(c.target.c_str(), kCodePage, &earlier) ||
                 find_replaced_copy(c.done, &earlier);
    EXPECT_EQ(found, c.earlier != nullptr) << c.what << " " << c.entry;
    if (found && c.earlier != nullptr) {
      EXPECT_STREQ(earlier.entry, c.earlier) << c.what;
      EXPECT_EQ(holds_the_same_song(earlier, c.done, c.entry), c.same_song) << c.what << " " << c.entry;
    }
    record_copy(c.target.c_str(), c.done, c.entry, ++number);
  }
  EXPECT_FALSE(targets_made_full());
}

// The record holds a million copies, and their entries' text as long as
// its pool has room (a copy whose text it could not keep is told by its
// entry's number): until then it never says it is full; the next one it
// says so, once, and still finds the copies it holds.
TEST(TargetsMade, HoldsAMillionCopiesThenSaysSoOnce) {
  const std::string long_entry(837, 'e');
  unsigned long number = 1000;
  for (unsigned long i = 1; i <= kTargetsKept - 30; ++i) {  // the table above made 30 or fewer
    std::string target = "full/" + std::to_string(i) + ".mp3";
    record_copy(target.c_str(), done(5000 + i, 9000 + i), i < 6000 ? long_entry.c_str() : "e", ++number);
    if (targets_made_full()) {
      ADD_FAILURE() << "full after " << i << " copies more";
      break;
    }
  }
  int said = 0;
  for (int more = 0; more < 40; ++more) {
    std::string target = "more/" + std::to_string(more) + ".mp3";
    record_copy(target.c_str(), done(1, 2), "more", ++number);
    said += targets_made_full() ? 1 : 0;
  }
  EXPECT_EQ(said, 1) << "said once, when full";
  EarlierCopy earlier = {};
  EXPECT_TRUE(find_earlier_copy("full/1.mp3", kCodePage, &earlier));
  EXPECT_EQ(earlier.entry, long_entry);
  EXPECT_TRUE(find_earlier_copy("full/5999.mp3", kCodePage, &earlier));
  EXPECT_EQ(earlier.entry, nullptr) << "the pool of texts ran out before";
  EXPECT_EQ(earlier.number, 1000u + 5999u);
  EXPECT_FALSE(find_earlier_copy("more/39.mp3", kCodePage, &earlier)) << "past the record";
  EXPECT_TRUE(find_replaced_copy(done(1, 77, 9000 + 1), &earlier)) << "by its file, after the table grew";
  EXPECT_EQ(earlier.number, 1001u);
}

}  // namespace
