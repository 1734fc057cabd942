#include "b4s_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every entry the B4S reader hands over for these bytes, up to the end.
std::vector<std::string> entries_of(const std::string& bytes) {
  FILE* playlist = tmpfile();
  fwrite(bytes.data(), 1, bytes.size(), playlist);
  rewind(playlist);
  LineReader source = start_line_reader(playlist);
  B4sReader reader;
  start_b4s_reader(&reader, &source);
  std::vector<std::string> entries;
  char entry[kLineSize];
  for (LineStatus got; (got = next_b4s_entry(&reader, entry)) != kEndOfPlaylist;) {
    entries.push_back(got == kEntryLine ? entry : got == kLineTooLong ? "<too long>" : reader.scan.why);
    if (got == kPlaylistBroken) break;
  }
  fclose(playlist);
  return entries;
}

// Each entry is an <entry>'s Playstring without Winamp's "file:".
TEST(B4sReader, EntriesArePlaystringsWithoutWinampsPrefix) {
  const std::string head = "<?xml version=\"1.0\" encoding='UTF-8' standalone=\"yes\"?>\r\n"
                           "<WinampXML>\r\n<playlist num_entries=\"3\" label=\"Mix\">\r\n";
  const struct {
    const char* what;
    std::string body;
    std::vector<std::string> entries;
  } cases[] = {
      {"a drive, a POSIX name, in any case", "<entry Playstring=\"file:C:\\Music\\a.mp3\"><Name>A"
       "</Name><Length>200</Length></entry>\r\n<Entry playstring=\"FILE:/Users/me/b.mp3\"/>"
       "<entry Playstring=\"file:/U/c.mp3\"/>", {"C:\\Music\\a.mp3", "/Users/me/b.mp3", "/U/c.mp3"}},
      {"a file: URL stays one", "<entry Playstring=\"File:///C:/a%20b.mp3\"/>", {"file:///C:/a%20b.mp3"}},
      {"a stream, a bare name", "<entry Playstring=\"http://radio/live\"/><entry Playstring=\"a.mp3\"/>",
       {"http://radio/live", "a.mp3"}},
      {"no Playstring, or an empty one, or \"file:\" alone", "<entry><Name>x</Name></entry>"
       "<entry Playstring=\"\"/><entry Playstring=\"file:\"/>", {}},
      {"a bare & and references", "<entry Playstring=\"file:Rock & Roll &amp; &#233;.mp3\"/>",
       {"Rock & Roll & \xC3\xA9.mp3"}},
      {"too long", "<entry Playstring=\"" + std::string(1100, 'n') + "\"/>", {"<too long>"}},
      {"a broken file says where", "\r\n<entry Playstring=\"a.mp3", {"line 5: a \"<\" inside a "
       "value"}},
  };
  for (const auto& c : cases)
    EXPECT_EQ(entries_of(head + c.body + "</playlist></WinampXML>"), c.entries) << c.what;
}

}  // namespace
