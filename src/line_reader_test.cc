#include "line_reader.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sandbox.h"
#include "terminal.h"

namespace {

const char kTooLong[] = "<too long>";
const char kNotText[] = "<not text>";

// Everything the reader hands over for these playlist bytes, up to the end.
std::vector<std::string> read_all(const std::string& bytes) {
  FILE* playlist = tmpfile();
  fwrite(bytes.data(), 1, bytes.size(), playlist);
  rewind(playlist);
  std::vector<std::string> lines;
  char line[kLineSize];
  LineReader reader = start_line_reader(playlist);
  for (LineStatus status; (status = next_entry_line(&reader, line)) != kEndOfPlaylist;) {
    if (status == kReadFailed) {
      lines.push_back("<read failed>");
      break;
    }
    lines.push_back(status == kLineTooLong ? kTooLong : status == kLineNotText ? kNotText : line);
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
  std::string accents;  // 511 times U+00E9: 1,022 bytes of UTF-8
  for (int i = 0; i < 511; ++i) accents += "\xC3\xA9";
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
      {"FF or FE without its pair is content", "\xFFx\\y\n\xFE", {"\xFFx\\y", "\xFE"}},
      {"UTF-16LE with CR LF, handed over in UTF-8",
       utf16(u"#EXTM3U\r\nM\\Bj\u00F6rk.mp3\r\n\r\n\u97F3\\x\ry\r"),
       {"M\\Bj\xC3\xB6rk.mp3", "\xE9\x9F\xB3\\x", "y"}},
      {"UTF-16BE with LF, a character beyond 16 bits", utf16(u"a\\\U0001F3B5.mp3\nb", true),
       {"a\\\xF0\x9F\x8E\xB5.mp3", "b"}},
      {"unpaired surrogates; a # line is passed over whatever it holds",
       utf16(u"a\xD800\r\n\xDC00\n#\xD800\nb\xD800\xD800\xDC00\n"), {kNotText, kNotText, kNotText}},
      {"a high surrogate is no low one", utf16(u"c\xD800\xDBFFx\n"), {kNotText}},
      {"nor is a low one a high one", utf16(u"d\xDC00\xDC00x\n"), {kNotText}},
      {"the first character of each UTF-8 length, and the last before it",
       utf16(u"\u007F\u0080\u07FF\u0800\uFFFD\U00010000\U0010FFFF\n"),
       {"\x7F\xC2\x80\xDF\xBF\xE0\xA0\x80\xEF\xBF\xBD\xF0\x90\x80\x80\xF4\x8F\xBF\xBF"}},
      {"0x0000 cuts a UTF-16 line, and a lone last byte is dropped",
       utf16(std::u16string(u"a\\b\0c\nd", 7)) + "\x01", {"a\\b", "d"}},
      {"UTF-16 lines are as long as their UTF-8",
       utf16(std::u16string(511, u'\u00E9') + u"x\n" + std::u16string(512, u'\u00E9')),
       {accents + "x", kTooLong}},
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
  LineReader reader = start_line_reader(write_only);
  EXPECT_EQ(next_entry_line(&reader, line), kReadFailed);
  fclose(write_only);
  fclose(playlist);
}

}  // namespace

namespace {

// A reading with a time to end by that has passed ends within 64 KiB: a
// long run of comments is not read to its end first.
TEST(LineReader, EndsWhereItsTimeIsUp) {
  FILE* playlist = tmpfile();
  std::string comment = "# a line that names no song\n";
  for (int i = 0; i < 40000; ++i) fputs(comment.c_str(), playlist);
  fputs("a.mp3\n", playlist);
  rewind(playlist);
  LineReader reader = start_line_reader(playlist);
  reader.give_up_at = seconds_now() - 1;
  char line[kLineSize];
  EXPECT_EQ(next_entry_line(&reader, line), kEndOfPlaylist);
  EXPECT_TRUE(reader.gave_up);
  EXPECT_LE(ftell(playlist), 72 << 10);
  fclose(playlist);
}

}  // namespace
