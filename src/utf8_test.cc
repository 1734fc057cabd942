#include "utf8.h"

#include <gtest/gtest.h>

namespace {

// Which names a Windows console decodes as UTF-8, and which in the code
// page: every one that is not UTF-8 to the letter.
TEST(Utf8, IsUtf8) {
  const struct {
    const char* text;
    bool utf8;
  } cases[] = {
      {"", true},
      {"plain ASCII\\a.mp3", true},
      {"Bj\xC3\xB6rk \xE6\x9B\xB2 \xF0\x9F\x8E\xB5 \xEF\xBF\xBF", true},
      {"\xC3\xBD", true},    // two half-width katakana of code page 932, by chance
      {"\xC2\x80 \xC2\xA0 \xDF\xBF", true},  // the first and last two-byte characters
      {"\xE9t\xE9", false},  // code page 1252
      {"\xC3", false},       // cut short
      {"\xC3"
       "a",
       false},                      // a lead byte without its continuation
      {"\x80", false},              // a continuation byte first
      {"\xC0\xAF", false},          // overlong "/"
      {"\xE0\x80\xAF", false},      // overlong "/" in three bytes
      {"\xED\xA0\x80", false},      // a surrogate
      {"\xF4\x90\x80\x80", false},  // past U+10FFFF
      {"\xF5\x80\x80\x80", false},
      {"\x95\x5C"
       "a.mp3",
       false},  // code page 932
  };
  for (const auto& c : cases) EXPECT_EQ(is_utf8(c.text), c.utf8) << c.text;
}

// A character read from UTF-8, or where there is none, the bytes of the
// maximal part that could begin one: one replacement character each.
TEST(Utf8, DecodeUtf8) {
  const struct {
    const char* text;
    bool valid;
    unsigned long c;  // where valid
    unsigned length;
  } cases[] = {
      {"a", true, 'a', 1},
      {"\xC3\xA9", true, 0xE9, 2},
      {"\xE0\xA0\x80", true, 0x800, 3},
      {"\xEF\xBF\xBF", true, 0xFFFF, 3},
      {"\xF0\x90\x80\x80", true, 0x10000, 4},
      {"\xF4\x8F\xBF\xBF", true, 0x10FFFF, 4},
      {"\xC2", false, 0, 1},
      {"\xE2\x82", false, 0, 2},
      {"\xE2\x82" "a", false, 0, 2},
      {"\xF0\x9F\x9A", false, 0, 3},
      {"\xED\xA0\x80", false, 0, 1},
      {"\xE0\x9F\xBF", false, 0, 1},
      {"\xF4\x90\x80\x80", false, 0, 1},
      {"\xC0\xAF", false, 0, 1},
      {"\xF8\x88", false, 0, 1},
      {"\x80", false, 0, 1},
  };
  for (const auto& c : cases) {
    unsigned long character = 0;
    unsigned length = 0;
    EXPECT_EQ(decode_utf8(c.text, &character, &length), c.valid) << c.text;
    EXPECT_EQ(length, c.length) << c.text;
    if (c.valid) {
      EXPECT_EQ(character, c.c) << c.text;
    }
  }
}

}  // namespace
