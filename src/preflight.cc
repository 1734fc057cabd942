// What lisko tells before the first copy. The room the copies need is
// weighed by reading the playlist once ahead, as the run will: each
// entry's source against the target it would replace, each target once.
// The weighing never holds the run up: it gives up, silently, once it has
// taken half a second (a slow network file system, a long playlist).
#include "preflight.h"

#include <cstring>

#include "file_system.h"
#include "messages.h"
#include "names.h"
#include "playlist.h"
#include "targets_made.h"
#include "terminal.h"

namespace {

// The targets weighed so far, each with the bytes it was counted for: a
// target that two entries name holds the later one's copy at the end.
struct Weighed {
  uint64_t key;  // 0: free
  unsigned long long counted;
};
// The targets told apart: the weighing of half a second reaches no more.
constexpr unsigned kWeighedKept = 8192;
constexpr unsigned kWeighedSlots = 2 * kWeighedKept;  // half full at most
Weighed weighed[kWeighedSlots];
unsigned weighed_count = 0;

// The place of target in weighed, or null where the record is full: the
// targets past it are counted, not told apart.
Weighed* weighed_place(const char* target) {
  uint64_t key = key_of_target(target);
  unsigned at = static_cast<unsigned>(key % kWeighedSlots);
  while (weighed[at].key != 0 && weighed[at].key != key) at = (at + 1) % kWeighedSlots;
  if (weighed[at].key != key) {
    if (weighed_count == kWeighedKept) return nullptr;  // so never more than half full
    ++weighed_count;
    weighed[at].key = key;
  }
  return &weighed[at];
}

// When the weighing gives up.
double give_up_at = 0;

bool in_time() { return seconds_now() <= give_up_at; }

// The bytes line's copy adds on dest's file system: its source's size,
// less that of the target it replaces; none where the target is as large
// (most often the copy itself, which a second run keeps); less what an
// earlier entry with the same target was counted for.
// Each look at a file is started only in the weighing's time.
long long bytes_for(const Playlist* playlist, const char* line) {
  char source[kPathSize];
  char target[kTargetNameSize];
  if (!in_time() || locate_entry(playlist, line, source) != kFormed) return 0;
  NameCode code = read_entry_as(source);
  unsigned long long source_size = 0, target_size = 0;
  if (form_target_name(source, code, dest_in(code), target) != kFormed || !in_time() ||
      !regular_file_size(source, code, &source_size) || !in_time())
    return 0;
  if (!regular_file_size(target, code, &target_size)) target_size = 0;
  unsigned long long adds = source_size > target_size ? source_size - target_size : 0;
  Weighed* place = weighed_place(target);
  if (place == nullptr) return static_cast<long long>(adds);
  long long more = static_cast<long long>(adds) - static_cast<long long>(place->counted);
  place->counted = adds;
  return more;
}

}  // namespace

bool weigh_copies(const char* m3u_file, unsigned long long* need, double seconds) {
  static Playlist playlist;  // large: kept off the stack
  give_up_at = seconds_now() + seconds;
  memset(weighed, 0, sizeof weighed);
  weighed_count = 0;
  unsigned long long size = 0;
  const char* why = nullptr;
  if (!regular_file_size(m3u_file, kCodePage, &size) || !in_time() ||
      !open_for_run(m3u_file, &playlist, &why))
    return false;
  playlist.reader.give_up_at = give_up_at;  // within a long run of lines that name nothing too
  char line[kLineSize];
  long long needed = 0;
  LineStatus got = kEntryLine;
  while (got != kEndOfPlaylist && got != kReadFailed && got != kPlaylistBroken && in_time()) {
    got = next_entry(&playlist, line);
    if (got == kEntryLine) needed += bytes_for(&playlist, line);
  }
  bool gave_up = playlist.reader.gave_up || !in_time();
  close_after_run(&playlist);
  *need = needed > 0 ? static_cast<unsigned long long>(needed) : 0;
  return !gave_up && (got == kEndOfPlaylist || got == kReadFailed || got == kPlaylistBroken);
}

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
  if (found.free_known && weigh_copies(m3u_file, &need) && need > found.free_bytes)
    print_too_little_room(need, found.free_bytes, folder);
}
