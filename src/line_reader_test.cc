#include "line_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace {

const char kTooLong[] = "<too long>";

// Everything the reader hands over for these playlist bytes, up to the end.
std::vector<std::string> read_all(const std::string& bytes) {
  FILE* playlist = tmpfile();
  fwrite(bytes.data(), 1, bytes.size(), playlist);
  rewind(playlist);
  std::vector<std::string> lines;
  char line[kLineSize];
  bool at_start = true;
  for (LineStatus status;
       (status = next_entry_line(playlist, line, &at_start)) != kEndOfPlaylist;) {
    if (status == kReadFailed) {
      lines.push_back("<read failed>");
      break;
    }
    lines.push_back(status == kLineTooLong ? kTooLong : line);
  }
  fclose(playlist);
  return lines;
}

struct Case {
  const char* what;
  std::string bytes;
  std::vector<std::string> lines;
};

TEST(LineReader, HandsOverEntryLines) {
  const std::string bom = "\xEF\xBB\xBF";
  const std::string longest(1023, 'x');
  // clang-format off
  const Case cases[] = {
      {"empty playlist", "", {}},
      {"only comments and empty lines", "#EXTM3U\r\n\r\n#x\n\n", {}},
      {"CR LF", "C:\\a\\x.mp3\r\nC:\\b\\y.mp3\r\n", {"C:\\a\\x.mp3", "C:\\b\\y.mp3"}},
      {"lone CR keeps the next line's first byte", "C:\\a\\x\rC:\\b\\y\r", {"C:\\a\\x", "C:\\b\\y"}},
      {"lone LF", "a\\x\nb\\y\n", {"a\\x", "b\\y"}},
      {"CR CR LF is a line and an empty line", "a\\x\r\r\nb\\y\r\r\n", {"a\\x", "b\\y"}},
      {"empty lines of every kind", "\r\n\r\na\n\n\nb\r\r\r\n", {"a", "b"}},
      {"last line without a line end", "a\r\nb\\last", {"a", "b\\last"}},
      {"last line ended by a lone CR", "a\r", {"a"}},
      {"byte-order mark before a comment", bom + "#EXTM3U\r\nx\\y\r\n", {"x\\y"}},
      {"byte-order mark before an entry", bom + "C:\\a.mp3", {"C:\\a.mp3"}},
      {"byte-order mark alone", bom, {}},
      {"byte-order mark later is content", "a\n" + bom + "#b\n", {"a", bom + "#b"}},
      {"half a byte-order mark is content", "\xEF\xBB#x\n\xEF", {"\xEF\xBB#x", "\xEF"}},
      {"first byte EF then a line end", "\xEF\nx", {"\xEF", "x"}},
      {"only the very first byte counts for #", " #a\n\t#b\n", {" #a", "\t#b"}},
      {"code-page bytes pass unchanged", "\x80\xE9\xFF\\\xC3\xA9.mp3\r\n", {"\x80\xE9\xFF\\\xC3\xA9.mp3"}},
      {"0x00 cuts a line, a leading 0x00 passes it over",
       std::string("a\\b\0c\r\n\0d\\e\r\nf", 14), {"a\\b", "f"}},
      {"nothing trimmed", " \"a\\b\" \t\r\n", {" \"a\\b\" \t"}},
      {"1,023 bytes is an entry line", longest + "\r\n", {longest}},
      {"1,024 bytes is too long, and the next line follows",
       longest + "y\r\nnext\r\n", {kTooLong, "next"}},
      {"too long without any line end", std::string(5000, 'z'), {kTooLong}},
      {"too long # and 0x00 lines are passed over silently",
       "#" + longest + "\n" + std::string(1, '\0') + longest + "\na", {"a"}},
  };
  // clang-format on
  for (const Case& c : cases) EXPECT_EQ(read_all(c.bytes), c.lines) << c.what;
}

TEST(LineReader, ReportsAFailedRead) {
  FILE* playlist = tmpfile();
  fputs("a\\b\r\n", playlist);
  fflush(playlist);
  FILE* write_only = fdopen(dup(fileno(playlist)), "w");  // reading it fails
  char line[kLineSize];
  bool at_start = true;
  EXPECT_EQ(next_entry_line(write_only, line, &at_start), kReadFailed);
  fclose(write_only);
  fclose(playlist);
}

}  // namespace
