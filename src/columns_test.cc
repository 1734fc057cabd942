#include "columns.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "line_reader.h"

namespace {

std::string utf8(unsigned long c) {
  char text[8];
  unsigned length = 0;
  append_utf8(static_cast<long>(c), text, sizeof text, &length);
  return std::string(text, length);
}

// The columns a terminal gives a name, as wcwidth counts them: so that the
// progress note beside a message never wraps.
TEST(Columns, AsTerminalsCountThem) {
  const struct {
    const char* what;
    const char* text;
    unsigned columns;
  } cases[] = {
      {"ASCII", "Intro.mp3", 9},
      {"letters of two bytes, one column each", "\xC3\xA9\xC3\xA9\xC3\xA9", 3},
      {"U+0800, the first of three bytes", "\xE0\xA0\x80", 1},
      {"U+0FFF", "\xE0\xBF\xBF", 1},
      {"U+0900, a combining sign of Devanagari", "\xE0\xA4\x80", 0},
      {"U+0300, the first combining mark", "e\xCC\x80", 1},
      {"U+036F, the last of them", "e\xCD\xAF", 1},
      {"U+0370, a letter after them", "\xCD\xB0", 1},
      {"U+4E00, the first CJK ideograph", "\xE4\xB8\x80", 2},
      {"U+1F680, a rocket", "\xF0\x9F\x9A\x80", 2},
      {"U+1F67F, a sign before the emoji", "\xF0\x9F\x99\xBF", 1},
      {"U+30000, beyond the second plane", "\xF0\xB0\x80\x80", 2},
      {"U+3FFFD, the last of that plane", "\xF0\xBF\xBF\xBD", 2},
      {"U+40000", "\xF1\x80\x80\x80", 1},
      {"U+E0100, a variation selector", "a\xF3\xA0\x84\x80", 1},
      {"U+10FFFD", "\xF4\x8F\xBF\xBD", 1},
      // No UTF-8: one replacement character, one column, each maximal part.
      {"a cut sequence", "\xE2\x82", 1},
      {"a cut sequence, then a letter", "\xE2\x82" "a", 2},
      {"a lone continuation byte", "\x80", 1},
      {"a code-page letter", "\xE9t\xE9", 3},
      {"an overlong form of two bytes", "\xC0\xAF", 2},
      {"an overlong form of three", "\xE0\x80\xAF", 3},
      {"an encoded surrogate", "\xED\xA0\x80", 3},
      {"past U+10FFFF", "\xF4\x90\x80\x80", 4},
      {"a form of five bytes", "\xF8\x88\x80\x80\x80", 5},
      {"two of three bytes, then four good ones", "\xE4\xB8\xF0\x9F\x9A\x80", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(columns_of(c.text), c.columns) << c.what;
}

// Every character from U+0300 up takes the columns that wcwidth (Debian's
// python3-wcwidth, which pyte uses) gives it: each range of characters of
// no column or of two, and the characters on either side of it.
TEST(Columns, AsWcwidthCountsThem) {
  FILE* ranges = popen(
      "/usr/bin/python3 -c 'from wcwidth import wcwidth\n"
      "start = None\n"
      "for c in list(range(0x300, 0xD800)) + list(range(0xE000, 0x110001)):\n"
      "    w = wcwidth(chr(c)) if c < 0x110000 else 1\n"
      "    w = w if w in (0, 2) else 1\n"
      "    if start is not None and (w != width or c != last + 1):\n"
      "        print(hex(start), hex(last), width)\n"
      "        start = None\n"
      "    if w != 1 and start is None: start, width = c, w\n"
      "    last = c' 2>/dev/null",
      "r");
  unsigned long first = 0, last = 0;
  unsigned width = 0, checked = 0;
  while (fscanf(ranges, "%lx %lx %u", &first, &last, &width) == 3) {
    ++checked;
    EXPECT_EQ(columns_of(utf8(first).c_str()), width) << std::hex << first;
    EXPECT_EQ(columns_of(utf8(last).c_str()), width) << std::hex << last;
    if (first > 0x300 && (first - 1 < 0xD800 || first - 1 > 0xDFFF)) {
      EXPECT_NE(columns_of(utf8(first - 1).c_str()), width) << std::hex << first - 1;
    }
    if (last < 0x10FFFF && (last + 1 < 0xD800 || last + 1 > 0xDFFF)) {
      EXPECT_NE(columns_of(utf8(last + 1).c_str()), width) << std::hex << last + 1;
    }
  }
  if (pclose(ranges) != 0 || checked == 0) GTEST_SKIP() << "no wcwidth (apt-get install python3-wcwidth)";
}

}  // namespace
