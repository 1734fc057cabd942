#include "case_fold.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "sandbox.h"

namespace {

TEST(CaseFold, NamesAreOneAsWindowsUpperCaseTableMakesThem) {
  const struct {
    const char* one;
    const char* other;
    bool same;
  } cases[] = {
      {"Song.mp3", "SONG.MP3", true},
      {"\xC3\x84rger.mp3", "\xC3\xA4rger.mp3", true},           // Ärger, ärger
      {"\xC5\x92uvre", "\xC5\x93uvre", true},                   // Œuvre, œuvre
      {"\xC3\xBF", "\xC5\xB8", true},                           // ÿ, Ÿ: across blocks
      {"\xD0\x90\xD0\xB1", "\xD0\xB0\xD0\x91", true},           // Cyrillic
      {"\xC4\xB1", "I", false},                                 // dotless ı: not in the table
      {"\xC3\x9F", "SS", false},                                // ß is one letter
      {"\xC3\xA9\xFF.mp3", "\xC3\x89\xFF.mp3", true},           // a byte of no character, as it is
      {"\xE9.mp3", "\xC9.mp3", false},                          // bytes of a code page: as they are
      {"a.mp3", "a.mp", false},
      {"\xF0\x9F\x8E\xB5", "\xF0\x9F\x8E\xB5", true},           // beyond the table
  };
  for (const auto& c : cases) EXPECT_EQ(same_in_any_case(c.one, c.other), c.same) << c.one;
}

// The table against the one mkfs.exfat writes, every code point.
TEST(CaseFold, TableIsTheOneAnExfatStickCarries) {
  Sandbox box;
  const std::string image = (box / "stick.img").string();
  if (!run_quietly("truncate -s 8M " + image + " && mkfs.exfat " + image))
    GTEST_SKIP() << "no mkfs.exfat (apt-get install exfatprogs)";
  std::string stick = read_file(image);
  auto u32 = [&](size_t at) { uint32_t v; memcpy(&v, &stick[at], 4); return v; };
  size_t sector = size_t{1} << static_cast<unsigned char>(stick[108]);
  size_t cluster = sector << static_cast<unsigned char>(stick[109]);
  auto cluster_at = [&](uint32_t n) { return u32(88) * sector + (n - 2) * cluster; };
  size_t root = cluster_at(u32(96));
  size_t entry = root;
  while (entry < root + cluster && static_cast<unsigned char>(stick[entry]) != 0x82) entry += 32;
  ASSERT_LT(entry, root + cluster) << "no up-case table in the image";
  size_t at = cluster_at(u32(entry + 20)), end = at + u32(entry + 24);
  std::vector<unsigned long> table;
  for (; at + 1 < end; at += 2) {
    unsigned unit = static_cast<unsigned char>(stick[at]) | static_cast<unsigned char>(stick[at + 1]) << 8;
    unsigned run = static_cast<unsigned char>(stick[at + 2]) | static_cast<unsigned char>(stick[at + 3]) << 8;
    if (unit == 0xFFFF && at + 3 < end) {  // a run of code points that stay as they are
      for (unsigned i = 0; i < run; ++i) table.push_back(table.size());
      at += 2;
    } else {
      table.push_back(unit);
    }
  }
  ASSERT_EQ(table.size(), 0x10000u);
  for (unsigned long c = 0; c < table.size(); ++c) EXPECT_EQ(upper_case(c), table[c]) << std::hex << c;
}

}  // namespace
