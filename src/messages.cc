// Every line lisko prints.
#include "messages.h"

#include <cstdio>
#include <cstring>

#include "columns.h"
#include "line_reader.h"
#include "note.h"
#include "shown.h"
#include "terminal.h"

namespace {

bool on_terminal = false;

// The run so far, for the summary: the entries that name a file, each
// counted once, as what became of it: copied (bytes written), kept (already
// there), failed, skipped, or replaced by a later entry's copy.
struct Counts {
  unsigned long copied, kept, failed, skipped, replaced, hidden;
  unsigned long long written;
};
Counts counts = {0, 0, 0, 0, 0, 0, 0};
double run_start = 0;  // seconds_now() at the start
// A dest that names a folder without its separator, said again at the end
// where copies failed: the cause is long out of sight by then.
const char* beside_dest = nullptr;
const char* beside_separator = "";

// The columns of the progress line printed so far, on a terminal.
unsigned column = 0;

void print(const char* text) { fputs(text, stdout); }

void write_and_count(const char* shown) {
  write_to_terminal(shown);
  column += columns_of(shown);
}

void write_error(const char* shown) { fputs(shown, stderr); }

// A name from the playlist, the command line or the system, written whole:
// byte for byte to a file or a pipe, and on a terminal as it is shown
// there (shown.h).
void print_name(const char* name) {
  if (on_terminal)
    write_shown(name, write_and_count);
  else
    fputs(name, stdout);
}

// The same on standard error.
void print_error_name(const char* name) {
  if (errors_to_terminal())
    write_shown(name, write_error);
  else
    fputs(name, stderr);
}

// On a terminal a message stands on the screen the moment it is printed,
// so that a progress line shows while its copy runs.
void show() {
  if (on_terminal) fflush(stdout);
}

void print_playlist_failure(const char* what, const char* m3u_file) {
  print(what);
  print_name(m3u_file);
  print(".  Exiting LISKO.\r\n");
  show();
}

// "Skipping 'LINE': ", which the reason follows.
void print_skipping(const char* line) {
  print("Skipping '");
  print_name(line);
  print("': ");
}

}  // namespace

void start_messages(bool to_terminal) {
  on_terminal = to_terminal;
  run_start = seconds_now();
  if (on_terminal) report_copy_progress(note_progress);
}

void print_usage() {
  print("Usage: Lisko [m3uFile] [dest]\r\n");
  print(" where m3uFile is a valid mp3 playlist and\r\n dest is a valid DOS destination path.\r\n");
  show();
}

void print_dest_too_long() {
  printf("Destination is longer than %u characters.  Exiting LISKO.\r\n", kDestSize - 1);
  show();
}

void print_cannot_open(const char* m3u_file, const char* why) {
  print_playlist_failure("Couldn't open ", m3u_file);
  print_playlist_note(m3u_file, why);
}

void print_dest_beside_folder(const char* dest, const char* separator) {
  beside_dest = dest;
  beside_separator = separator;
  fputs("lisko: dest '", stderr);
  print_error_name(dest);
  fputs("' is a folder; the copies go beside it, as '", stderr);
  print_error_name(dest);
  fprintf(stderr, "' followed by each name. End dest with '%s' to copy into it.\n", separator);
}

void print_cannot_read(const char* m3u_file, const char* why) {
  print_playlist_failure("Couldn't read ", m3u_file);
  if (why != nullptr) print_playlist_note(m3u_file, why);
}

void print_line_too_long() {
  ++counts.skipped;
  printf("Skipping a playlist line longer than %u characters.\r\n", kLineSize - 1);
  show();
}

void print_line_not_utf16() {
  ++counts.skipped;
  print("Skipping a playlist line that is not valid UTF-16.\r\n");
  show();
}

bool report_not_formed(const char* line, FormResult formed) {
  if (formed == kNoNamePart) return true;
  ++counts.skipped;
  print_skipping(line);
  if (formed == kNotAFileName)
    print("the name after its last separator is not a file name.\r\n");
  else if (formed == kSourceTooLong)
    printf("with the playlist's folder before it, the name would be longer than %u "
           "characters.\r\n", kPathSize - 1);
  else
    printf("the target name would be longer than %u characters.\r\n", kTargetNameSize - 1);
  show();
  return false;
}

void print_copying(const char* line, const char* target) {
  column = 0;
  print("Copying '");
  print_name(line);
  print("' to ");
  print_name(target);
  print("...");
  column += strlen("Copying '' to ...");
  show();
  if (on_terminal) start_note(column);
}

void print_copy_result(const char* why, const char* playlist_folder, const CopyDone& done) {
  if (on_terminal) end_note();
  if (why == nullptr) {
    ++(done.kept ? counts.kept : counts.copied);
    counts.written += done.bytes;
    print("succeeded\r\n");
  } else {
    ++counts.failed;
    print("failed: ");
    print_name(why);
    if (playlist_folder != nullptr) {
      print(" (nor has the playlist's folder ");
      print_name(playlist_folder);
      print(": run lisko in the folder its entries start from)");
    }
    print("\r\n");
  }
  show();
}

void print_replaced_copy(const char* line, const EarlierCopy& earlier, const char* target) {
  --(earlier.kept ? counts.kept : counts.copied);
  ++counts.replaced;
  fputs("lisko: ", stderr);
  print_error_name(target);
  fputs(": the copy of '", stderr);
  print_error_name(line);
  if (earlier.entry != nullptr) {
    fputs("' replaced the copy of '", stderr);
    print_error_name(earlier.entry);
    fputs("'", stderr);
  } else {
    fprintf(stderr, "' replaced the copy of entry %lu", earlier.number);
  }
  fputs(" made earlier in this run (two entries with one name)\n", stderr);
}

void print_targets_made_full(unsigned long kept) {
  fprintf(stderr,
          "lisko: more than %lu copies in this run: a later copy that replaces an earlier one "
          "is no longer told\n",
          kept);
}

void print_found_beside_playlist(const char* folder) {
  static bool told = false;
  if (told) return;
  told = true;
  fputs("lisko: relative entries that the current folder lacks are taken from the playlist's "
        "folder, ", stderr);
  print_error_name(folder);
  fputs("\n", stderr);
}

void print_playlist_note(const char* m3u_file, const char* note) {
  fputs("lisko: ", stderr);
  print_error_name(m3u_file);
  fputs(": ", stderr);
  print_error_name(note);
  fputs("\n", stderr);
}

void print_no_dest_folder(const char* folder) {
  fputs("lisko: no folder ", stderr);
  print_error_name(folder);
  fprintf(stderr, ": every copy would fail; %s\n", missing_medium_question());
}

void print_too_little_room(unsigned long long need, unsigned long long room, const char* folder) {
  char need_text[16], room_text[16];
  format_size(need, need_text);
  format_size(room, room_text);
  fprintf(stderr, "lisko: the copies need %s; ", need_text);
  print_error_name(folder[0] != '\0' ? folder : "the current folder");
  fprintf(stderr, " has %s free\n", room_text);
}

void print_dest_swallowed_a_quote(const char* dest) {
  size_t length = strlen(dest) - 1;  // without the quote
  int shown = static_cast<int>(length);
  fputs("lisko: dest '", stderr);
  print_error_name(dest);
  fprintf(stderr,
          "' ends with a quote: the command line read the backslash before it as part of "
          "the quote. Write \"%.*s\\\\\"",
          shown, dest);
  // Without quotes a name holds no blank: only there is the plain form one.
  if (memchr(dest, ' ', length) == nullptr) fprintf(stderr, " or %.*s\\", shown, dest);
  fputs(" to copy into the folder.\n", stderr);
}

void print_flush_failure(const char* why) {
  printf("Couldn't write the copies out to their medium: %s.\r\n", why);
  show();
}

void print_copies_hidden(const char* dest, unsigned long count) {
  unsigned long from_kept = count > counts.copied ? count - counts.copied : 0;
  counts.copied -= count - from_kept;
  counts.kept -= from_kept < counts.kept ? from_kept : counts.kept;
  counts.hidden += count;
  char folder[kPathSize];
  take_dest_folder(dest, folder);
  fputs("lisko: ", stderr);
  print_error_name(folder[0] != '\0' ? folder : "the current folder");
  fprintf(stderr,
          ": another file system was mounted on it during the run: %lu %s made before %s "
          "beneath it, not on it\n",
          count, count == 1 ? "copy" : "copies", count == 1 ? "lies" : "lie");
}

void print_summary() {
  if (!errors_to_terminal()) return;
  double seconds = seconds_now() - run_start;
  char written[16], took[32];
  format_size(counts.written, written);
  format_duration(seconds, took);
  unsigned long listed = counts.copied + counts.kept + counts.failed + counts.skipped +
                         counts.replaced + counts.hidden;
  fprintf(stderr, "lisko: %lu listed: %lu copied", listed, counts.copied);
  if (counts.kept > 0) fprintf(stderr, ", %lu already there", counts.kept);
  if (counts.failed > 0) fprintf(stderr, ", %lu failed", counts.failed);
  if (counts.skipped > 0) fprintf(stderr, ", %lu skipped", counts.skipped);
  if (counts.replaced == 1) fputs(", 1 replaced by a later entry with the same name", stderr);
  if (counts.replaced > 1)
    fprintf(stderr, ", %lu replaced by later entries with the same name", counts.replaced);
  if (counts.hidden > 0) fprintf(stderr, ", %lu beneath a file system mounted later", counts.hidden);
  fprintf(stderr, "; %s written in %s\n", counts.written > 0 ? written : "nothing", took);
  if (beside_dest == nullptr || counts.failed == 0) return;
  fputs("lisko: the copies went beside the folder '", stderr);
  print_error_name(beside_dest);
  fprintf(stderr, "', not into it: end dest with '%s' to copy into it\n", beside_separator);
}
