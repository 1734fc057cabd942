// Every line lisko prints.
#include "messages.h"

#include <cstdio>

#include "line_reader.h"
#include "platform.h"

namespace {

bool on_terminal = false;

void print(const char* text) { fputs(text, stdout); }

// A name from the playlist, the command line or the system, written whole:
// byte for byte to a file or a pipe, and on a terminal with each control
// byte as "^" and a letter (0x1B as "^[", 0x7F as "^?"), as cat -v shows
// them. A name longer than any entry (only a playlist's) reaches the
// terminal in pieces.
void print_name(const char* name) {
  if (!on_terminal) {
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

void start_messages(bool to_terminal) { on_terminal = to_terminal; }

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
  fprintf(stderr, "lisko: %s: %s\n", m3u_file, why);
}

void print_dest_beside_folder(const char* dest, const char* separator) {
  fprintf(stderr,
          "lisko: dest '%s' is a folder; the copies go beside it, as '%s' followed by each "
          "name. End dest with '%s' to copy into it.\n",
          dest, dest, separator);
}

void print_cannot_read(const char* m3u_file) { print_playlist_failure("Couldn't read ", m3u_file); }

void print_line_too_long() {
  printf("Skipping a playlist line longer than %u characters.\r\n", kLineSize - 1);
  show();
}

void print_line_not_utf16() {
  print("Skipping a playlist line that is not valid UTF-16.\r\n");
  show();
}

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

void print_copying(const char* line, const char* target) {
  print("Copying '");
  print_name(line);
  print("' to ");
  print_name(target);
  print("...");
  show();
}

void print_copy_result(const char* why, const char* playlist_folder) {
  if (why == nullptr) {
    print("succeeded\r\n");
  } else {
    print("failed: ");
    print_name(why);
    if (playlist_folder != nullptr) {
      print(" (the playlist's folder has it: run lisko in ");
      print_name(playlist_folder);
      print(")");
    }
    print("\r\n");
  }
  show();
}

void print_flush_failure(const char* why) {
  printf("Couldn't write the copies out to their medium: %s.\r\n", why);
  show();
}
