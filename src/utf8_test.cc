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

}  // namespace
