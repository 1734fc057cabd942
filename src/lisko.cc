// lisko: copies the files that a playlist (M3U, PLS, XSPF or WPL) lists to
// one destination.
//
// The run:
//   1. Check the arguments: exactly m3uFile and dest, and a dest that fits.
//      A dest that names a folder but does not end with a separator is
//      taken as the prefix it is; standard error says so.
//   2. Open the playlist, and say up front on standard error what would
//      make every copy fail or fall short: dest's folder missing, too
//      little room for the copies.
//   3. For each entry: find the file it names and its target name, dest
//      followed directly by the name part (what follows its last folder
//      separator, or the whole name); an entry that names no file (a
//      stream's URL) is passed over, and one whose target cannot be formed
//      is skipped, saying why. Print the progress message, copy, replacing
//      what is there, and finish the line with the result. A failed copy
//      never ends the run. A relative M3U entry that the current folder
//      lacks is taken from the playlist's folder, where that has it. A copy
//      that replaces one of another file made earlier in the run (two
//      entries with one name part) says so on standard error, and fails
//      the run: that song is no longer on the medium.
//   4. Put the copies on their media, so that a stick may be pulled the
//      moment lisko ends, and say so where a medium mounted on dest's
//      folder during the run hides the copies made before it; close the
//      playlist, say what the run did (on a terminal) and return the
//      status.
#include "lisko.h"

#include <cstdio>
#include <cstring>

#include "file_system.h"
#include "messages.h"
#include "names.h"
#include "playlist.h"
#include "preflight.h"
#include "targets_made.h"
#include "terminal.h"

static_assert(kLineSize <= kPathSize, "every entry line fits the copy's names");

namespace {

// Says so where the copy of line, entry number of the playlist, at target
// (read in code) took the place of an earlier entry's copy of another song
// (found before the copy in *earlier, where over_earlier): that song is no
// longer on the medium. Records the copy. Returns true for such a clash.
bool tell_replaced_copy(const char* line, unsigned long number, const char* target, bool over_earlier,
                        EarlierCopy* earlier, const CopyDone& done) {
  if (!over_earlier) over_earlier = find_replaced_copy(done, earlier);
  bool clash = over_earlier && !holds_the_same_song(*earlier, done, line);
  if (clash) print_replaced_copy(line, *earlier, target);
  record_copy(target, done, line, number);
  if (targets_made_full()) print_targets_made_full(kTargetsKept);
  return clash;
}

// Copies the file that one entry line, the playlist's entry number, names
// to its target name. Returns false when the entry names a file to copy
// and it is not on the medium at the end of the copy: not copied, or its
// copy took the place of an earlier entry's copy of another song.
bool copy_entry(const Playlist* playlist, const char* line, unsigned long number) {
  char source[kPathSize];
  char target[kTargetNameSize];
  NameCode code = kCodePage;
  EntryFound found = kAsWritten;
  FormResult formed = locate_entry(playlist, line, source, &found);
  if (formed == kFormed) {
    code = read_entry_as(source);
    formed = form_target_name(source, code, dest_in(code), target);
  }
  if (formed != kFormed) return report_not_formed(line, formed);
  if (found == kBesidePlaylist) print_found_beside_playlist(playlist_folder_as_named(playlist));
  EarlierCopy earlier = {};
  bool over_earlier = find_earlier_copy(target, code, &earlier);
  print_copying(line, target);
  CopyDone done = {};
  const char* why = copy_file(source, target, code, over_earlier, &done);
  const char* folder = playlist_folder(playlist);
  bool hint = why != nullptr && found == kInNeither && folder[0] != '\0';
  print_copy_result(why, hint ? folder : nullptr, done);
  return why == nullptr && !tell_replaced_copy(line, number, target, over_earlier, &earlier, done);
}

// Reads the next entry, saying what the playlist's reader noted on the way.
LineStatus next_entry_noted(Playlist* playlist, const char* m3u_file, char (&line)[kLineSize]) {
  LineStatus got = next_entry(playlist, line);
  const char* note = playlist_note(playlist);
  if (note != nullptr) print_playlist_note(m3u_file, note);
  return got;
}

// Copies every entry of the open playlist. Returns the run's status.
int copy_entries(Playlist* playlist, const char* m3u_file) {
  char line[kLineSize];
  int status = 0;
  for (unsigned long number = 1;; ++number) {
    LineStatus got = next_entry_noted(playlist, m3u_file, line);
    if (got == kEndOfPlaylist) return status;
    if (got == kReadFailed || got == kPlaylistBroken) {
      print_cannot_read(m3u_file, got == kPlaylistBroken ? playlist_error(playlist) : nullptr);
      return 2;
    }
    if (got == kLineTooLong)
      print_line_too_long();
    else if (got == kLineNotText)
      print_line_not_utf16();
    if (got != kEntryLine || !copy_entry(playlist, line, number)) status = 3;
  }
}

int run(int argc, char* argv[]) {
  if (argc != 3) {
    print_usage();
    return 1;
  }
  const char* m3u_file = argv[1];
  const char* dest = argv[2];
  if (strlen(dest) >= kDestSize || !take_dest(dest)) {
    print_dest_too_long();
    return 1;
  }
  size_t dest_length = strlen(dest);
  bool ends_a_folder = dest_length > 0 && strchr(kFolderSeparators, dest[dest_length - 1]);
  if (!ends_a_folder && dest_is_folder()) print_dest_beside_folder(dest, dest_separator());
  Playlist playlist;
  const char* why = nullptr;
  if (!open_for_run(m3u_file, &playlist, &why)) {
    print_cannot_open(m3u_file, why);
    return 2;
  }
  check_before_copying(m3u_file, dest);
  int status = copy_entries(&playlist, m3u_file);
  unsigned long hidden = 0;
  why = flush_copies(&hidden);
  if (why != nullptr) print_flush_failure(why);
  if (hidden > 0) print_copies_hidden(dest, hidden);
  if ((why != nullptr || hidden > 0) && status != 2) status = 3;
  close_after_run(&playlist);
  print_summary();
  return status;
}

}  // namespace

int run_lisko(int argc, char* argv[]) {
  start_copies();
  start_messages(start_terminal());
  int status = run(argc, argv);
  finish_terminal();
  return status;
}
