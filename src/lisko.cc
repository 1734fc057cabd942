// lisko: copies the files that an M3U playlist lists to one destination.
//
// The run:
//   1. Check the arguments: exactly m3uFile and dest, and a dest that fits.
//   2. Open the playlist.
//   3. For each entry line: find its name part, the bytes after its last
//      backslash, where the line's first byte does not count (a line
//      without one names no file in a folder and is passed over); form the
//      target name, dest followed directly by the name part; print the
//      progress message; copy, replacing what is there; finish the line
//      with the result. A failed copy never ends the run.
//   4. Close the playlist and return the status.
//
// Every message goes through print_message, which alone turns each "\n"
// into the platform's line end.
#include "lisko.h"

#include <cstring>

#include "line_reader.h"
#include "platform.h"

namespace {

bool flush_each_message = false;

// Writes text with every "\n" turned into the line end that gives CR LF.
void write_text(const char* text, size_t length) {
  while (length > 0) {
    const char* newline = static_cast<const char*>(memchr(text, '\n', length));
    size_t run = newline == nullptr ? length : static_cast<size_t>(newline - text);
    fwrite(text, 1, run, stdout);
    if (newline == nullptr) return;
    fputs(kOutputLineEnd, stdout);
    length -= run + 1;
    text = newline + 1;
  }
}

// Prints a message whose format holds only "%s" conversions, taken in turn
// from first and second. Arguments of any length are written whole.
void print_message(const char* format, const char* first = nullptr, const char* second = nullptr) {
  const char* arguments[] = {first, second};
  unsigned next = 0;
  for (;;) {
    const char* conversion = strstr(format, "%s");
    if (conversion == nullptr) break;
    write_text(format, static_cast<size_t>(conversion - format));
    const char* argument = next < 2 ? arguments[next++] : nullptr;
    if (argument != nullptr) write_text(argument, strlen(argument));
    format = conversion + 2;
  }
  write_text(format, strlen(format));
  if (flush_each_message) fflush(stdout);
}

// Copies one entry line to its target name. Returns false when the entry
// names a file to copy and it was not copied.
bool copy_entry(const char* line, const char* dest, char (&target)[kTargetNameSize]) {
  TargetName formed = form_target_name(line, dest, target);
  if (formed == kNoNamePart) return true;
  if (formed == kTargetTooLong) {
    print_message("Skipping '%s': the target name would be longer than 1023 characters.\n", line);
    return false;
  }
  print_message("Copying '%s' to %s...", line, target);
  char why[512];
  if (copy_file(line, target, why, sizeof why)) {
    print_message("succeeded\n");
    return true;
  }
  print_message("failed: %s\n", why);
  return false;
}

}  // namespace

TargetName form_target_name(const char* line, const char* dest, char (&target)[kTargetNameSize]) {
  // The name part follows the last backslash; the first byte never counts.
  const char* name_part = nullptr;
  for (size_t i = strlen(line); i > 1 && name_part == nullptr; --i)
    if (line[i - 1] == '\\') name_part = line + i;
  if (name_part == nullptr) return kNoNamePart;
  size_t dest_length = strlen(dest);
  size_t name_length = strlen(name_part);
  if (dest_length + name_length >= sizeof target) return kTargetTooLong;
  memcpy(target, dest, dest_length);
  memcpy(target + dest_length, name_part, name_length + 1);
  return kTargetFormed;
}

int run_lisko(int argc, char* argv[]) {
  flush_each_message = start_output();
  if (argc != 3) {
    print_message("Usage: Lisko [m3uFile] [dest]\n");
    print_message(
        " where m3uFile is a valid mp3 playlist and\n dest is a valid DOS destination path.\n");
    return 1;
  }
  const char* m3u_file = argv[1];
  char dest[kDestSize];
  size_t dest_length = strlen(argv[2]);
  if (dest_length >= sizeof dest) {
    print_message("Destination is longer than 255 characters.  Exiting LISKO.\n");
    return 1;
  }
  memcpy(dest, argv[2], dest_length + 1);

  FILE* playlist = open_playlist(m3u_file);
  if (playlist == nullptr) {
    print_message("Couldn't open %s.  Exiting LISKO.\n", m3u_file);
    return 2;
  }
  char line[kLineSize];
  char target[kTargetNameSize];
  bool at_start = true;
  int status = 0;
  for (;;) {
    LineStatus read = next_entry_line(playlist, line, &at_start);
    if (read == kEndOfPlaylist) break;
    if (read == kReadFailed) {
      print_message("Couldn't read %s.  Exiting LISKO.\n", m3u_file);
      fclose(playlist);
      return 2;
    }
    if (read == kLineTooLong) {
      print_message("Skipping a playlist line longer than 1023 characters.\n");
      status = 3;
    } else if (!copy_entry(line, dest, target)) {
      status = 3;
    }
  }
  fclose(playlist);
  return status;
}
