// lisko: copies the files that an M3U playlist lists to one destination.
//
// The run:
//   1. Check the arguments: exactly m3uFile and dest, and a dest that fits.
//   2. Open the playlist.
//   3. For each entry line: find the file it names, the line itself or the
//      path of a file: URL (any other URL is passed over); ask the platform
//      how its names are read (on Windows, UTF-8 or the code page); find its
//      name part, what follows its last folder separator, where the first
//      character does not count (a source without one names no file in a
//      folder and is passed over); refuse a name part that is no file name,
//      so that no target ever leaves the folder that dest names; form the
//      target name, dest followed directly by the name part; print the
//      progress message; copy, replacing what is there; finish the line
//      with the result. A failed copy never ends the run.
//   4. Put the copies on their medium, so that a stick may be pulled the
//      moment lisko ends; close the playlist and return the status.
//
// Messages are written with the standard library; the platform has made
// standard output a byte stream, so every line end is written as "\r\n".
// On a terminal, the control bytes of a name are shown in caret notation,
// so that a playlist cannot hide its lines behind escape sequences, and
// the platform writes the name as text (on Windows, decoded for the
// console).
// Their results are not checked: a message that cannot be written (a
// reader that went away) changes neither the run nor its status.
#include "lisko.h"

#include <cctype>
#include <cstring>

#include "line_reader.h"
#include "names.h"
#include "platform.h"

static_assert(kTargetNameSize <= kPathSize, "every target name fits the copy's names");
static_assert(kLineSize <= kPathSize, "every entry line fits the copy's names");

namespace {

bool to_terminal = false;

void print(const char* text) { fputs(text, stdout); }

// A name from the playlist, the command line or the system, written whole:
// byte for byte to a file or a pipe, and on a terminal with each control
// byte as "^" and a letter (0x1B as "^[", 0x7F as "^?"), as cat -v shows
// them. A name longer than any entry (only a playlist's) reaches the
// terminal in pieces.
void print_name(const char* name) {
  if (!to_terminal) {
    fputs(name, stdout);
    return;
  }
  char shown[2 * kPathSize];
  size_t length = 0;
  for (const char* at = name;; ++at) {
    if (*at == '\0' || length + 2 >= sizeof shown) {
      shown[length] = '\0';
      write_to_terminal(shown);
      length = 0;
    }
    if (*at == '\0') return;
    unsigned char byte = static_cast<unsigned char>(*at);
    bool control = byte < 0x20 || byte == 0x7F;
    if (control) shown[length++] = '^';
    shown[length++] = static_cast<char>(control ? byte ^ 0x40 : byte);
  }
}

// On a terminal a message stands on the screen the moment it is printed,
// so that a progress line shows while its copy runs.
void show() {
  if (to_terminal) fflush(stdout);
}

void print_usage() {
  print("Usage: Lisko [m3uFile] [dest]\r\n");
  print(" where m3uFile is a valid mp3 playlist and\r\n dest is a valid DOS destination path.\r\n");
  show();
}

// "Couldn't open NAME.  Exiting LISKO." and its like.
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

// Says why an entry line whose target could not be formed is not copied,
// where it names a file to copy. Returns false when it does.
bool report_not_formed(const char* line, FormResult formed) {
  if (formed == kNoNamePart) return true;
  print_skipping(line);
  if (formed == kNotAFileName)
    print("the name after its last separator is not a file name.\r\n");
  else
    printf("the target name would be longer than %u characters.\r\n", kTargetNameSize - 1);
  show();
  return false;
}

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
  print("Copying '");
  print_name(line);
  print("' to ");
  print_name(target);
  print("...");
  show();
  const char* why = copy_file(source, target, code);
  if (why == nullptr) {
    print("succeeded\r\n");
  } else {
    print("failed: ");
    print_name(why);
    print("\r\n");
  }
  show();
  return why == nullptr;
}

// Copies every entry of the open playlist. Returns the run's status.
int copy_entries(FILE* playlist, const char* m3u_file) {
  char line[kLineSize];
  LineReader reader = {playlist, kNotYetRead, -1};
  int status = 0;
  for (;;) {
    LineStatus got = next_entry_line(&reader, line);
    if (got == kEndOfPlaylist) return status;
    if (got == kReadFailed) {
      print_playlist_failure("Couldn't read ", m3u_file);
      return 2;
    }
    if (got == kLineTooLong) {
      printf("Skipping a playlist line longer than %u characters.\r\n", kLineSize - 1);
      show();
      status = 3;
    } else if (got == kLineNotText) {
      print("Skipping a playlist line that is not valid UTF-16.\r\n");
      show();
      status = 3;
    } else if (!copy_entry(line)) {
      status = 3;
    }
  }
}

}  // namespace

int run_lisko(int argc, char* argv[]) {
  to_terminal = start_platform();
  if (argc != 3) {
    print_usage();
    return 1;
  }
  const char* m3u_file = argv[1];
  const char* dest = argv[2];
  if (strlen(dest) >= kDestSize || !take_dest(dest)) {
    printf("Destination is longer than %u characters.  Exiting LISKO.\r\n", kDestSize - 1);
    show();
    return 1;
  }
  FILE* playlist = open_playlist(m3u_file);
  if (playlist == nullptr) {
    print_playlist_failure("Couldn't open ", m3u_file);
    return 2;
  }
  int status = copy_entries(playlist, m3u_file);
  const char* why = flush_copies();
  if (why != nullptr) {
    printf("Couldn't write the copies out to their medium: %s.\r\n", why);
    show();
    if (status != 2) status = 3;
  }
  fclose(playlist);
  return status;
}
