// What an entry line names: the file to copy and its target name.
#ifndef LISKO_NAMES_H
#define LISKO_NAMES_H

#include <cstddef>

#include "name_rules.h"

// A target name holds at most 1,023 characters and its zero.
constexpr unsigned kTargetNameSize = 1024;
static_assert(kTargetNameSize <= kPathSize, "every target name fits the copy's names");

// The bytes that separate folders in a name from the playlist, on every
// platform. The name part of an entry is what follows the last of them.
constexpr char kFolderSeparators[] = "\\/";

enum FormResult {
  kFormed,        // the name was formed
  kNoNamePart,     // a URL, or an empty source: no file to copy
  kNotAFileName,   // the name part names no file in dest's folder here
  kTargetTooLong,  // dest and the name part do not fit together
  kSourceTooLong   // the playlist's folder and the entry do not fit together
};

// Copies text into out with every %XX (two hex digits) decoded to its
// byte; any other "%" stays. Returns false where a byte decodes to 0x00,
// which no name holds, or (never, as out is larger than any entry line)
// where out is full.
bool percent_decode(const char* text, char (&out)[kPathSize]);

// Resolves reference, a URI reference, against base ("" for none), as RFC
// 3986 does (section 5.2), into out, a buffer of size bytes: the dot
// segments of its path are removed, but for the ".." that begin a relative
// result. Returns false where the result does not fit.
bool resolve_uri(const char* reference, const char* base, char* out, size_t size);

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
// folder separator (the whole source where it has none), so that every
// target lies in the folder that dest names. Stores nothing in target
// unless the whole name fits.
FormResult form_target_name(const char* source, NameCode code, const char* dest,
                            char (&target)[kTargetNameSize]);

// True when text begins with prefix, a lowercase ASCII text, in any case.
bool begins_with_any_case(const char* text, const char* prefix);

// True where name begins with a drive ("C:"), which on POSIX systems
// reads as relative, though no folder holds such a name.
bool begins_with_drive(const char* name);

// dest's folder part, as typed, into folder ("" where dest has none: the
// current folder).
void take_dest_folder(const char* dest, char (&folder)[kPathSize]);

#endif
