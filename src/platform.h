// What lisko asks of the platform: setting up the process, opening the
// playlist, and copying one file. One source file per platform implements
// it; CMake picks the one that is built.
#ifndef LISKO_PLATFORM_H
#define LISKO_PLATFORM_H

#include <cstdio>

// The longest name copy_file takes, and its zero.
constexpr unsigned kPathSize = 1024;

// How the names of one entry line are read. On POSIX systems a name is the
// bytes it is; on Windows it is read in the ANSI code page, as a program
// that knows no Unicode reads it, or in UTF-8.
enum NameCode { kCodePage, kUtf8 };

// Sets up the process for the run, once: standard output gathered in
// blocks, written as bytes, so that each "\r\n" reaches it as CR LF; a
// reader that goes away does not end the run; a signal that stops the run
// leaves no half-written copy. Returns true when standard output is a
// terminal, where every message must be written out the moment it is
// printed.
bool start_platform();

// Writes text, a name whose control bytes are already shown in caret
// notation, to the terminal that standard output is: on POSIX as the bytes
// it is; on a Windows console as text, read in UTF-8 where it is valid
// UTF-8 and otherwise in the ANSI code page.
void write_to_terminal(const char* text);

// Opens the playlist for reading only, letting other processes go on
// reading and writing it. Returns null when it cannot be opened or names a
// folder.
FILE* open_playlist(const char* m3u_file);

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

// True when name, the name part of an entry, names a file in dest's folder
// on this platform. On Windows a drive or a stream (":"), a device (NUL,
// CON, COM1 and their like, alone or before a dot), and a name ending in a
// dot or a blank (which Windows drops) name none.
bool is_file_name(const char* name);

// Copies the file source to the name target, replacing a file that is
// already there. After a crash the target is the earlier file or the copy,
// never neither. Both names are read in code, as they stand in the
// playlist and on the command line, and target begins with dest_in(code);
// each is at most kPathSize - 1 bytes long. Returns null on success, and
// otherwise the platform's description of the failure, valid until the
// next call.
const char* copy_file(const char* source, const char* target, NameCode code);

// Puts every copy made so far on its medium, so that a crash or a pulled
// stick from then on loses none of them. Returns null when they are there
// (or no copy was made), and otherwise the platform's description of the
// failure.
const char* flush_copies();

#endif
