#include "name_rules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Every byte from 0x80 of Windows-1252 in UTF-8, as Python's codec reads
// it, and the five bytes it leaves undefined as the control characters
// of their value, as Windows reads them; "" where there is no python3.
std::string windows1252_by_python() {
  FILE* python = popen("python3 -c 'import sys; sys.stdout.buffer.write(bytes(range(0x80, 0x100))"
                       ".decode(\"cp1252\", errors=\"replace\").replace(\"\\ufffd\", \"{}\").format("
                       "*map(chr, (0x81, 0x8d, 0x8f, 0x90, 0x9d))).encode())'",
                       "r");
  std::string text;
  char buffer[512];
  for (size_t got; python != nullptr && (got = fread(buffer, 1, sizeof buffer, python)) > 0;)
    text.append(buffer, got);
  if (python != nullptr) pclose(python);
  return text;
}

// An ANSI playlist's name, on POSIX: Windows-1252 in UTF-8 where its bytes
// are no UTF-8; a UTF-8 one as it stands.
TEST(NameRulesPosix, AnsiNamesAreWindows1252InUtf8) {
  std::string every;
  for (int byte = 0x80; byte < 0x100; ++byte) every += static_cast<char>(byte);
  char here[kPathSize];
  ASSERT_TRUE(ansi_name_here(every.c_str(), here));
  std::string expected = windows1252_by_python();
  if (expected.empty()) GTEST_SKIP() << "no python3";
  EXPECT_EQ(here, expected);
  EXPECT_TRUE(ansi_name_here("D\xE9j\xE0 vu.mp3", here));
  EXPECT_STREQ(here, "D\xC3\xA9j\xC3\xA0 vu.mp3");
  EXPECT_FALSE(ansi_name_here("D\xC3\xA9j\xC3\xA0 vu.mp3", here)) << "UTF-8 already";
  EXPECT_FALSE(ansi_name_here(std::string(600, '\xE9').c_str(), here)) << "1,200 bytes do not fit";
}

}  // namespace
