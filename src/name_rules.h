// The rules for names that differ by platform: how dest is taken, how the
// names of an entry are read, where a character ends, what the path of a
// file: URL names here, and which name parts are file names. One source
// file per platform implements them; CMake picks the one that is built.
#ifndef LISKO_NAME_RULES_H
#define LISKO_NAME_RULES_H

// Sizes of names, each with room for its zero.
constexpr unsigned kDestSize = 256;   // dest: at most 255 characters
constexpr unsigned kPathSize = 1024;  // any name lisko hands the system

// How the names of one entry line are read. On POSIX systems a name is the
// bytes it is; on Windows it is read in the ANSI code page, as a program
// that knows no Unicode reads it, or in UTF-8.
enum NameCode { kCodePage, kUtf8 };

// Takes dest for the run, once, before any copy. On Windows its UTF-8 form
// for the lines read in UTF-8 comes from the wide command line, so that it
// holds what the code page cannot spell. Returns false when a form of it
// is longer than 255 bytes.
bool take_dest(const char* dest);

// dest in the form that names read in code are formed with.
const char* dest_in(NameCode code);

// How the names of line are read: on Windows in UTF-8 where its bytes are
// UTF-8 beyond plain ASCII and a file of that UTF-8 name exists, and
// otherwise in the code page; on POSIX always as the bytes they are.
NameCode read_entry_as(const char* line);

// The bytes of the character that begins at text, read in code: 2 for a
// double-byte character of the ANSI code page (whose second byte may be a
// backslash), otherwise 1. Never steps over the terminating zero.
unsigned char_length(const char* text, NameCode code);

// Turns path, the %XX-decoded path of a file: URL ("/..."), or "//HOST/..."
// where the URL names another host, into this platform's name of the file,
// in place. Returns false where it names no file here. On Windows
// "/C:/a.mp3" names C:\a.mp3 and "//server/share/a.mp3" names
// \\server\share\a.mp3; on POSIX a file on another host is none of ours.
bool localize_url_path(char (&path)[kPathSize], bool on_other_host);

// True when name, the last part of a target name (what follows its last
// separator), read in code, names a file in its folder on this platform.
// On Windows a drive or a stream (":"), a device (NUL, CON, COM1, COM¹ and
// their like, alone or before a dot), and a name ending in a dot or a blank
// (which Windows drops) name none.
bool is_file_name(const char* name, NameCode code);

// True when name, a source, is found from the current folder.
bool is_relative(const char* name);

// The drive or share that full, a full name, begins with, into root: on
// Windows "C:" or "\\server\share"; on POSIX, which has neither, "".
void root_of(const char* full, char (&root)[kPathSize]);

// True where dest ends with a quote that the command line made of what
// was typed as its last backslash and a closing quote ("E:\My Music\"),
// as Windows' does; never on POSIX, where a name may end with a quote.
bool dest_swallowed_a_quote(const char* dest);

// True where names that differ only in the case of their ASCII letters
// name one file, as on Windows.
bool names_ignore_case();

// The separator that ends a folder's name in dest, as users write it here:
// "/" on POSIX, "\" on Windows.
const char* dest_separator();

// Where the bytes of name, an entry of a playlist, are no UTF-8: the name
// a file of it has here, read in the ANSI code page of the Windows that
// wrote the playlist. On POSIX systems, whose names are UTF-8 as a rule,
// Windows-1252 turned into UTF-8, into here; false where name is UTF-8
// already, or that does not fit. On Windows, whose code page reads the
// bytes as they stand, always false.
bool ansi_name_here(const char* name, char (&here)[kPathSize]);

// The length of the folder part of name, a name given on the command line
// (the playlist's): up to and including its last separator, as this
// platform reads its own names ("/" on POSIX, where a backslash is part of
// a name; "\" or "/", or a drive's colon, on Windows); 0 where it has none.
unsigned long folder_part_length(const char* name);

#endif
