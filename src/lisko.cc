// lisko: copies the files that an M3U playlist lists to one destination.
//
// The run:
//   1. Check the arguments: exactly m3uFile and dest, and a dest that fits.
//   2. Open the playlist.
//   3. For each entry: find the file it names and its target name, dest
//      followed directly by the name part (what follows its last folder
//      separator); an entry that names no file in a folder is passed over,
//      and one whose target cannot be formed is skipped, saying why. Print
//      the progress message, copy, replacing what is there, and finish the
//      line with the result. A failed copy never ends the run.
//   4. Put the copies on their medium, so that a stick may be pulled the
//      moment lisko ends; close the playlist and return the status.
#include "lisko.h"

#include <cstring>

#include "messages.h"
#include "names.h"
#include "platform.h"
#include "playlist.h"

static_assert(kLineSize <= kPathSize, "every entry line fits the copy's names");

namespace {

// Copies the file that one entry line names to its target name. Returns
// false when the entry names a file to copy and it was not copied.
bool copy_entry(const char* line) {
  char source[kPathSize];
  char target[kTargetNameSize];
  NameCode code = kCodePage;
  FormResult formed = find_source(line, source);
  if (formed == kFormed) {
    code = read_entry_as(source);
    formed = form_target_name(source, code, dest_in(code), target);
  }
  if (formed != kFormed) return report_not_formed(line, formed);
  print_copying(line, target);
  const char* why = copy_file(source, target, code);
  print_copy_result(why);
  return why == nullptr;
}

// Copies every entry of the open playlist. Returns the run's status.
int copy_entries(Playlist* playlist, const char* m3u_file) {
  char line[kLineSize];
  int status = 0;
  for (;;) {
    LineStatus got = next_entry(playlist, line);
    if (got == kEndOfPlaylist) return status;
    if (got == kReadFailed) {
      print_cannot_read(m3u_file);
      return 2;
    }
    if (got == kLineTooLong)
      print_line_too_long();
    else if (got == kLineNotText)
      print_line_not_utf16();
    if (got != kEntryLine || !copy_entry(line)) status = 3;
  }
}

}  // namespace

int run_lisko(int argc, char* argv[]) {
  start_messages(start_platform());
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
  Playlist playlist;
  if (!open_for_run(m3u_file, &playlist)) {
    print_cannot_open(m3u_file);
    return 2;
  }
  int status = copy_entries(&playlist, m3u_file);
  const char* why = flush_copies();
  if (why != nullptr) {
    print_flush_failure(why);
    if (status != 2) status = 3;
  }
  close_after_run(&playlist);
  return status;
}
