// Feeds arbitrary bytes as a playlist through the line reader and the
// forming of target names, with dest values of 0, 1, 254 and 255
// characters, and checks what must always hold of what comes out: above
// all, that every target is dest followed by a file name, never a path.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "line_reader.h"
#include "lisko.h"
#include "platform.h"

namespace {

char dests[4][kDestSize];

void require(bool condition, const char* what) {
  if (condition) return;
  fprintf(stderr, "broken: %s\n", what);
  abort();
}

void check_playlist(const uint8_t* data, size_t size, const char* dest) {
  FILE* playlist = fmemopen(const_cast<uint8_t*>(data), size, "rb");
  if (playlist == nullptr) return;  // fmemopen refuses an empty buffer
  char line[kLineSize];
  char target[kTargetNameSize];
  bool at_start = true;
  size_t entries = 0;
  for (LineStatus status;
       (status = next_entry_line(playlist, line, &at_start)) != kEndOfPlaylist;) {
    require(status != kReadFailed, "a memory stream cannot fail");
    require(++entries <= size, "more lines than bytes");
    if (status == kLineTooLong) continue;
    size_t length = strnlen(line, sizeof line);
    require(length < sizeof line, "entry line fits its buffer");
    require(length > 0 && line[0] != '#', "empty and # lines are passed over");
    require(memchr(line, '\r', length) == nullptr && memchr(line, '\n', length) == nullptr,
            "no line end inside an entry line");
    FormResult formed = form_target_name(line, kCodePage, dest, target);
    if (formed != kTargetFormed) continue;
    size_t target_length = strnlen(target, sizeof target);
    require(target_length < sizeof target, "target name fits its buffer");
    require(strncmp(target, dest, strlen(dest)) == 0, "target name begins with dest");
    const char* name_part = target + strlen(dest);
    require(strpbrk(name_part, kFolderSeparators) == nullptr, "name part holds no separator");
    require(is_file_name(name_part), "name part is a file name");
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
  for (const char* dest : dests) check_playlist(data, size, dest);
  return 0;
}
