// The copy run: lisko's whole behaviour apart from the playlist format and
// the platform's own calls.
#ifndef LISKO_LISKO_H
#define LISKO_LISKO_H

#include "platform.h"

// Sizes of the run's names: each holds its longest text and a zero.
constexpr unsigned kDestSize = 256;         // dest: at most 255 characters
constexpr unsigned kTargetNameSize = 1024;  // a target name: at most 1,023 characters

// The bytes that separate folders in a name from the playlist, on every
// platform. The name part of an entry is what follows the last of them.
constexpr char kFolderSeparators[] = "\\/";

// Copies every file that the playlist argv[1] lists to argv[2] followed by
// the file's name part, printing one progress line per copy. argc counts
// argv[0], which is not used. Returns the exit status:
//   0  every entry with a folder part was copied
//   1  wrong number of arguments, or a dest longer than 255 characters
//   2  the playlist could not be opened or read
//   3  the playlist was read to its end, but one or more entries were not
//      copied
int run_lisko(int argc, char* argv[]);

enum FormResult {
  kFormed,        // the name was formed
  kNoNamePart,    // a URL, or no folder separator after the first byte
  kNotAFileName,  // the name part names no file in dest's folder here
  kTargetTooLong  // dest and the name part do not fit together
};

// True when line begins with a URL scheme and "://" (http://, file://).
bool is_url(const char* line);

// Puts the name of the file that an entry line names into source: the line
// itself, or the path of a file: URL of this host (an empty host or
// localhost) with every %XX decoded, as the platform names it (on Windows
// also a share on another host). Any other URL names no file to copy
// (kNoNamePart), nor does a decoded path that holds 0x00 (kNotAFileName).
FormResult find_source(const char* line, char (&source)[kPathSize]);

// Forms the target name of a source whose names are read in code:
// dest followed directly by the name part, what follows the source's last
// folder separator (its first character does not count), so that every
// target lies in the folder that dest names. Stores nothing in target
// unless the whole name fits.
FormResult form_target_name(const char* source, NameCode code, const char* dest,
                            char (&target)[kTargetNameSize]);

#endif
