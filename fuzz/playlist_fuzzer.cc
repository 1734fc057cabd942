// Feeds arbitrary bytes as a playlist through each reader (M3U lines, PLS,
// XML, B4S, ASX in both forms), the reading of file: URLs and the forming of target names, with
// dest values of 0, 1, 254 and 255 characters, and checks what must always
// hold of what comes out: above all, that every target is dest followed by
// a file name, never a path. Each input is read as it is and as UTF-16
// (behind FF FE), so that the UTF-16 decoding is fuzzed whatever the input
// begins with.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "line_reader.h"
#include "name_rules.h"
#include "names.h"
#include "asx_reader.h"
#include "b4s_reader.h"
#include "pls_reader.h"
#include "xml_reader.h"

namespace {

char dests[4][kDestSize];

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "broken: %s\n", what);
  abort();
}

enum Format { kM3uLines, kPlsLines, kXmlText, kB4sText, kAsxText, kAsxLines };

// Each REF of an ASX entry in turn, as the entries they are.
LineStatus next_asx_ref(LineReader* reader, bool ini, char (&line)[kLineSize]) {
  static AsxReader asx;  // large: kept off the stack
  static unsigned next_ref = 0;
  if (asx.files[0].reader != reader) {
    start_asx_reader(&asx, reader, ini, "fuzz.asx", "./");
    next_ref = asx.choices.count;
  }
  LineStatus status = kEntryLine;
  if (next_ref == asx.choices.count) {
    status = next_asx_entry(&asx);
    next_ref = 0;
  }
  if (status != kEntryLine) {
    close_asx_reader(&asx);
    asx.files[0].reader = nullptr;
    return status;
  }
  require(asx.choices.count > 0 && asx.choices.count <= kRefsKept, "an entry holds 1 to 8 REFs");
  memcpy(line, asx.choices.refs[next_ref++], sizeof line);
  return kEntryLine;
}

LineStatus next_entry(Format format, LineReader* reader, char (&line)[kLineSize]) {
  static XmlReader xml;  // large: kept off the stack
  static B4sReader b4s;
  if (format == kPlsLines) return next_pls_entry(reader, line);
  if (format == kM3uLines) return next_entry_line(reader, line);
  if (format == kAsxText || format == kAsxLines) return next_asx_ref(reader, format == kAsxLines, line);
  if (format == kB4sText) {
    if (b4s.scan.source != reader) start_b4s_reader(&b4s, reader);
    LineStatus status = next_b4s_entry(&b4s, line);
    if (status == kEndOfPlaylist || status == kPlaylistBroken) b4s.scan.source = nullptr;
    return status;
  }
  if (xml.scan.source != reader) start_xml_reader(&xml, reader);
  LineStatus status = next_xml_entry(&xml, line);
  if (status == kEndOfPlaylist || status == kPlaylistBroken) xml.scan.source = nullptr;
  return status;
}

void check_playlist(const uint8_t* data, size_t size, const char* dest, Format format) {
  FILE* playlist = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (playlist == nullptr) return;  // fmemopen refuses an empty buffer
  char line[kLineSize];
  char source[kPathSize];
  char target[kTargetNameSize];
  LineReader reader = start_line_reader(playlist);
  size_t entries = 0;
  for (LineStatus status; (status = next_entry(format, &reader, line)) != kEndOfPlaylist &&
                          status != kPlaylistBroken;) {
    require(status != kReadFailed, "a memory stream cannot fail");
    require(++entries <= size, "more entries than bytes");
    if (status == kLineTooLong || status == kLineNotText) continue;
    size_t length = strnlen(line, sizeof line);
    require(length < sizeof line, "entry line fits its buffer");
    require(length > 0, "an entry is never empty");
    bool lines = format == kM3uLines || format == kPlsLines;
    require(!lines || format == kPlsLines || line[0] != '#', "# lines are passed over");
    require(
        !lines || (memchr(line, '\r', length) == nullptr && memchr(line, '\n', length) == nullptr),
        "no line end inside an entry line");
    if (find_source(line, source) != kFormed) continue;
    require(strlen(source) <= length, "a source is never longer than its line");
    if (form_target_name(source, kCodePage, dest, target) != kFormed) continue;
    size_t target_length = strnlen(target, sizeof target);
    require(target_length < sizeof target, "target name fits its buffer");
    require(strncmp(target, dest, strlen(dest)) == 0, "target name begins with dest");
    const char* name_part = target + strlen(dest);
    require(strpbrk(name_part, kFolderSeparators) == nullptr, "name part holds no separator");
    require(is_file_name(name_part, kCodePage), "name part is a file name");
  }
  fclose(playlist);
}

}  // namespace

// The dest values to try, made once: 0, 1, 254 and 255 characters.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const size_t lengths[] = {0, 1, 254, 255};
  for (int i = 0; i < 4; ++i) {
    memset(dests[i], 'd', lengths[i]);
    dests[i][lengths[i]] = '\0';
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> as_utf16 = {0xFF, 0xFE};
  as_utf16.insert(as_utf16.end(), data, data + size);
  for (Format format : {kM3uLines, kPlsLines, kXmlText, kB4sText, kAsxText, kAsxLines}) {
    for (const char* dest : dests) {
      check_playlist(data, size, dest, format);
      check_playlist(as_utf16.data(), as_utf16.size(), dest, format);
    }
  }
  return 0;
}
