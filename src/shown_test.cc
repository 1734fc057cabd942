#include "shown.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string written;
void keep(const char* piece) { written += piece; }

std::string shown(const std::string& name) {
  written.clear();
  write_shown(name.c_str(), keep);
  return written;
}

// What a terminal is shown of a name: no byte of it can command the
// terminal, and all else is as it is.
TEST(Shown, ControlsAreMadeVisible) {
  const struct {
    const char* what;
    std::string name;
    std::string shown;
  } cases[] = {
      {"plain", "Intro.mp3", "Intro.mp3"},
      {"ESC, BEL, a tab, DEL", "a\x1b[2Jb\a\t\x7f", "a^[[2Jb^G^I^?"},
      {"the first and last C0 controls", std::string("\x01\x1f", 2), "^A^_"},
      {"a blank and a tilde are no controls", " ~", " ~"},
      {"CSI as UTF-8 (U+009B)", "x\xC2\x9B" "2J", "xM-^[2J"},
      {"U+0080 and U+009F", "\xC2\x80\xC2\x9F", "M-^@M-^_"},
      {"U+00A0 and U+00E9 are letters", "\xC2\xA0\xC3\xA9", "\xC2\xA0\xC3\xA9"},
      {"C2 at the end", "a\xC2", "a\xC2"},
      {"a lone 9B byte of a code page passes", "\x9B" "2J", "\x9B" "2J"},
      {"CJK", "\xE6\x9B\xB2", "\xE6\x9B\xB2"},
  };
  for (const auto& c : cases) EXPECT_EQ(shown(c.name), c.shown) << c.what;
}

// A long name goes in pieces, none cut inside what a control becomes.
TEST(Shown, LongNamesWholeInPieces) {
  std::string name, expected;
  for (int i = 0; i < 600; ++i) name += "a\x1b\xC2\x9B", expected += "a^[M-^[";
  EXPECT_EQ(shown(name), expected);
}

}  // namespace
