#include "pls_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Every entry the PLS reader hands over for these bytes, up to the end.
std::vector<std::string> entries_of(const std::string& bytes) {
  FILE* playlist = tmpfile();
  fwrite(bytes.data(), 1, bytes.size(), playlist);
  rewind(playlist);
  LineReader reader = start_line_reader(playlist);
  std::vector<std::string> entries;
  char entry[kLineSize];
  for (LineStatus status; (status = next_pls_entry(&reader, entry)) != kEndOfPlaylist;)
    entries.push_back(status == kEntryLine ? entry : status == kLineTooLong ? "<too long>" : "<?>");
  fclose(playlist);
  return entries;
}

// Each entry is the value of a FileN= line, in the order the lines stand.
TEST(PlsReader, EntriesAreTheValuesOfFileLines) {
  const struct {
    const char* what;
    std::string bytes;
    std::vector<std::string> entries;
  } cases[] = {
      {"keys in any case, numbers of any length", "[playlist]\nFile1=a.mp3\nfile2=b.mp3\nFILE10=c.mp3\n",
       {"a.mp3", "b.mp3", "c.mp3"}},
      {"blanks around the key, the = and the value", "  File1 = My Song.mp3 \t\n\tFile2=\tb.mp3\n",
       {"My Song.mp3", "b.mp3"}},
      {"the order of the lines, not of the numbers", "File2=b.mp3\nFile1=a.mp3\n", {"b.mp3", "a.mp3"}},
      {"an = in the value", "File1=a=b.mp3\n", {"a=b.mp3"}},
      {"no number, no entry", "File=x.mp3\nFiles1=y.mp3\nFile1x=z.mp3\nFile1\n", {}},
      {"an empty value, no entry", "File1=\nFile2=  \nFile3=c.mp3\n", {"c.mp3"}},
      {"other keys and sections", "[playlist]\nTitle1=Song\nLength1=200\nNumberOfEntries=1\n"
       "Version=2\n", {}},
      {"a long line, of any key, said", "Title1=" + std::string(1100, 't') + "\nFile1=a.mp3\n",
       {"<too long>", "a.mp3"}},
      {"CR LF and no last line end", "[playlist]\r\nFile1=a.mp3\r\nFile2=b.mp3", {"a.mp3", "b.mp3"}},
  };
  for (const auto& c : cases) EXPECT_EQ(entries_of(c.bytes), c.entries) << c.what;
}

}  // namespace
