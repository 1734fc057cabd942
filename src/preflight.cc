// What lisko tells before the first copy. The room the copies need is
// weighed by reading the playlist once ahead, as the run will: each
// entry's source against the target it would replace.
#include "preflight.h"

#include <cstring>

#include "messages.h"
#include "names.h"
#include "platform.h"
#include "playlist.h"

namespace {

// The bytes line's copy adds on dest's file system: its source's size,
// less that of the target it replaces; none where the target is as large
// (most often the copy itself, which a second run keeps).
unsigned long long bytes_for(const Playlist* playlist, const char* line) {
  char source[kPathSize];
  char target[kTargetNameSize];
  if (locate_entry(playlist, line, source) != kFormed) return 0;
  NameCode code = read_entry_as(source);
  unsigned long long source_size = 0, target_size = 0;
  if (form_target_name(source, code, dest_in(code), target) != kFormed ||
      !regular_file_size(source, code, &source_size))
    return 0;
  if (!regular_file_size(target, code, &target_size)) target_size = 0;
  return source_size > target_size ? source_size - target_size : 0;
}

// The bytes all the playlist's copies add. Returns false where the
// playlist cannot be read ahead.
bool bytes_needed(const char* m3u_file, unsigned long long* need) {
  static Playlist playlist;  // large: kept off the stack
  unsigned long long size = 0;
  const char* why = nullptr;
  if (!regular_file_size(m3u_file, kCodePage, &size) || !open_for_run(m3u_file, &playlist, &why))
    return false;
  char line[kLineSize];
  *need = 0;
  for (LineStatus got = kEntryLine; got != kEndOfPlaylist && got != kReadFailed &&
                                    got != kPlaylistBroken;) {
    got = next_entry(&playlist, line);
    if (got == kEntryLine) *need += bytes_for(&playlist, line);
  }
  close_after_run(&playlist);
  return true;
}

// dest's folder part, as typed, into folder ("" where dest has none: the
// current folder).
void take_dest_folder(const char* dest, char (&folder)[kPathSize]) {
  size_t length = strlen(dest);
  while (length > 0 && strchr(kFolderSeparators, dest[length - 1]) == nullptr) --length;
  memcpy(folder, dest, length);  // fits: dest does
  folder[length] = '\0';
}

}  // namespace

void check_before_copying(const char* m3u_file, const char* dest) {
  if (dest_swallowed_a_quote(dest)) print_dest_swallowed_a_quote(dest);
  char folder[kPathSize];
  take_dest_folder(dest, folder);
  DestFolder found = look_at_dest_folder();
  if (!found.exists && folder[0] != '\0') {
    print_no_dest_folder(folder);
    return;
  }
  unsigned long long need = 0;
  if (found.free_known && bytes_needed(m3u_file, &need) && need > found.free_bytes)
    print_too_little_room(need, found.free_bytes, folder);
}
