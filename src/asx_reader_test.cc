#include "asx_reader.h"

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "sandbox.h"

namespace {

// The descriptors this process holds.
int open_files() {
  int count = 0;
  DIR* folder = opendir("/proc/self/fd");
  while (folder != nullptr && readdir(folder) != nullptr) ++count;
  if (folder != nullptr) closedir(folder);
  return count;
}

// Every entry the ASX reader hands over for the playlist lists/top.asx
// among files, each as its REFs joined by " | ", up to the end; how the
// reading ended where it did not end well. The reading leaves no file open.
std::vector<std::string> entries_of(const Files& files) {
  int open_before = open_files();
  Sandbox box;
  box.add(files);
  char old_folder[4096] = "";
  EXPECT_NE(getcwd(old_folder, sizeof old_folder), nullptr);
  EXPECT_EQ(chdir((box / "").c_str()), 0);
  FILE* playlist = fopen("lists/top.asx", "rb");
  LineReader reader = start_line_reader(playlist);
  static AsxReader asx;  // large: kept off the stack
  start_asx_reader(&asx, &reader, begins_asx_ini(read_file(box / "lists/top.asx").c_str()),
                   "lists/top.asx", "lists/");
  std::vector<std::string> entries;
  for (LineStatus got; (got = next_asx_entry(&asx)) != kEndOfPlaylist;) {
    if (got == kPlaylistBroken) entries.push_back(std::string("broken: ") + asx.why);
    if (got == kReadFailed) entries.push_back("read failed");
    if (got == kPlaylistBroken || got == kReadFailed) break;
    std::string joined = got == kLineTooLong ? "<too long>" : "";
    for (unsigned i = 0; got == kEntryLine && i < asx.choices.count; ++i)
      joined += (i > 0 ? " | " : "") + std::string(asx.choices.refs[i]);
    entries.push_back(joined);
  }
  close_asx_reader(&asx);
  fclose(playlist);
  EXPECT_EQ(chdir(old_folder), 0);
  EXPECT_EQ(open_files(), open_before) << "files left open";
  return entries;
}

Files top(const std::string& content, Files more = {}) {
  more["lists/top.asx"] = content;
  return more;
}

TEST(AsxReader, EntriesAreTheirRefsAsPlayersReadThem) {
  std::string refs;
  for (int i = 1; i <= 9; ++i) refs += "<ref href=\"" + std::to_string(i) + ".mp3\"/>";
  std::string chain = "<asx><entryref href=\"d1.asx\"/></asx>";
  std::string to_folder;
  for (int i = 0; i < 50; ++i) to_folder += "<entryref href=\".\"/>";
  // "lists/" and then these, cut at 1,023 bytes, would name lists/b.asx.
  std::string dots;
  while (dots.size() + 5 < 1023 - 6) dots += "./";
  Files deep;
  for (int i = 1; i <= 7; ++i)
    deep["lists/d" + std::to_string(i) + ".asx"] = "<asx><entry><ref href=\"" + std::to_string(i) +
        ".mp3\"/></entry><entryref href=\"d" + std::to_string(i + 1) + ".asx\"/></asx>";
  const struct {
    const char* what;
    Files files;
    std::vector<std::string> entries;
  } cases[] = {
      {"fallbacks, names in any case, an end tag in another", top("<Asx Version=\"3.0\"><Entry>"
       "<Ref HREF=\"http://radio/live\"/><REF href='a.mp3'/></ENTRY></asx>"), {"http://radio/live | a.mp3"}},
      {"CR LF, comments, blanks around =, text and its references",
       top("<ASX>\r\n<!-- by hand -->\r\n<TITLE>Rock &amp; Roll &nbsp; & more</TITLE>\r\n<ENTRY>"
           "\r\n<REF HREF = \"a.mp3\" />\r\n</ENTRY>\r\n</ASX>\r\n"), {"a.mp3"}},
      {"a bare & and a reference in a value", top("<asx><entry><ref href=\"Rock & Roll.mp3\"/>"
       "<ref href=\"R&amp;B.mp3\"/></entry></asx>"), {"Rock & Roll.mp3 | R&B.mp3"}},
      {"values without quotes, of bytes as they are, after a longer one", top("<asx><entry "
       "a=b/c><ref href=\"longer.mp3\"/><ref href=a.mp3><ref href=\xE9/b.mp3/><ref href=\"a&nbsp;b\"/>"
       "</entry></asx>"), {"longer.mp3 | a.mp3 | \xE9/b.mp3 | a&nbsp;b"}},
      {"a NUL byte in a value without quotes", top(std::string("<asx><entry><ref href=a\0b>", 27)),
       {"broken: line 1: a character that XML does not allow"}},
      {"a REF outside an entry, an entry without one, BASE", top("<asx><base href=\"http://x/\"/>"
       "<ref href=\"o.mp3\"/><entry></entry><entry/><entry><ref href=\"a.mp3\"/></entry></asx>"),
       {"a.mp3"}},
      {"an entry the file does not end", top("<asx><entry><ref href=\"a.mp3\"/>"), {"a.mp3"}},
      {"eight REFs an entry", top("<asx><entry>" + refs + "</entry></asx>"),
       {"1.mp3 | 2.mp3 | 3.mp3 | 4.mp3 | 5.mp3 | 6.mp3 | 7.mp3 | 8.mp3"}},
      {"a REF too long", top("<asx><entry><ref href=\"" + std::string(1100, 'n') + "\"/></entry>"
       "<entry><ref href=\"" + std::string(1100, 'n') + "\"/><ref href=\"b.mp3\"/></entry></asx>"),
       {"<too long>", "b.mp3"}},
      {"an ENTRYREF, in its place, from its own folder; a file that led to it is not read again",
       top("<asx><entry><ref href=\"a.mp3\"/></entry><ENTRYREF HREF=\"sub\\n.wax\"/><entryref "
           "href=\"top.asx\"/><entry><ref href=\"c.mp3\"/></entry></asx>",
           {{"lists/sub/n.wax", "<asx><entry><ref href=\"b.mp3\"/><ref href=\"/m/b.mp3\"/></entry>"
             "<entryref href=\"../top.asx\"/></asx>"}}),
       {"a.mp3", "sub\\b.mp3 | /m/b.mp3", "c.mp3"}},
      {"an ENTRYREF that is too long from the playlist's folder is not cut to fit",
       top("<asx><entryref href=\"" + dots + "b.asx!!\"/></asx>", {{"lists/b.asx", "<asx><entry><ref href="
       "\"b.mp3\"/></entry></asx>"}}), {}},
      {"five files deep at most", top(chain, deep), {"1.mp3", "2.mp3", "3.mp3", "4.mp3", "5.mp3"}},
      {"ENTRYREFs to a folder, each closed", top("<asx>" + to_folder + "<entry><ref href=\"a.mp3\"/>"
       "</entry></asx>"), {"a.mp3"}},
      {"an ENTRYREF to nothing, to a stream, to a device", top("<asx><entryref href=\"gone.asx\"/>"
       "<entryref href=\"http://x/y.asx\"/><entryref href=\"/dev/zero\"/><entry><ref href=\"a.mp3\"/>"
       "</entry></asx>"), {"a.mp3"}},
      {"an ENTRYREF's file that fails to read", top("<asx><entry><ref href=\"a.mp3\"/></entry>"
       "<entryref href=\"/proc/self/mem\"/></asx>"), {"a.mp3", "read failed"}},
      {"the INI form", top("[Reference]\r\nRef1=http://radio/live\r\nref02 = a.mp3\r\nRef=x\r\n"),
       {"http://radio/live | a.mp3"}},
      {"an ENTRYREF to the INI form", top("<asx><entryref href=\"sub/i.asx\"/></asx>",
       {{"lists/sub/i.asx", "\r\n[REFERENCE]\r\nRef1=b.mp3\r\n"}}), {"sub/b.mp3"}},
      {"UTF-16", top(utf16(u"<asx><entry><ref href=\"\u00e9.mp3\"/></entry></asx>")),
       {"\xC3\xA9.mp3"}},
      {"a broken file says where", top("<asx>\n<entry><ref href=\"a.mp3\""), {"broken: line 2: the "
       "playlist ends inside the tag <ref>"}},
      {"and which", top("<asx><entryref href=\"b.asx\"/></asx>", {{"lists/b.asx", "<asx>\n</"}}),
       {"broken: {box}/lists/b.asx: line 2: markup without a name"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> got = entries_of(c.files);
    for (std::string& entry : got) {
      size_t box = entry.find("/lisko-test-");
      if (box != std::string::npos) entry.replace(0, entry.find("/lists/"), "broken: {box}");
    }
    EXPECT_EQ(got, c.entries) << c.what;
  }
}

}  // namespace
