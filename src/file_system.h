// What lisko asks of the file system: the playlist's opening, looking at
// dest's folder and at files, copying one file, and putting the copies on
// their medium. One source file per platform implements it, with the copy
// of one file beneath it; CMake picks the one that is built. The rules for
// names are in name_rules.h, the terminal in terminal.h.
#ifndef LISKO_FILE_SYSTEM_H
#define LISKO_FILE_SYSTEM_H

#include <cstdio>

#include "name_rules.h"

// Sets the process up for the copies, once, before any: a stop (a signal,
// Ctrl+C) leaves no half-written copy, and ends the terminal's line
// (end_line_on_stop); a file-size limit fails the one copy that passes it.
void start_copies();

// How far the copy in flight is: bytes done of the whole. The copy calls
// it from time to time, at most every piece of the copy; null, never.
using CopyProgress = void (*)(unsigned long long done, unsigned long long total);
void report_copy_progress(CopyProgress report);

// Opens the playlist for reading only, letting other processes go on
// reading and writing it. Returns null when it cannot be opened or names a
// folder, with *why the reason.
FILE* open_playlist(const char* m3u_file, const char** why);

// Opens a playlist that another names (an ASX file's ENTRYREF), name as
// the playlist holds it, for reading only. Returns null where it cannot
// be opened or is no regular file: that playlist is passed over, as a
// player passes over what it cannot open, so no reason is kept.
FILE* open_listed_playlist(const char* name);

// What a missing dest folder asks the user, in this platform's words: "is
// the stick mounted?".
const char* missing_medium_question();

// True when dest, as taken, names an existing folder.
bool dest_is_folder();

// The folder that dest's copies go into: whether it exists, and where its
// file system tells, the bytes it has free for lisko.
struct DestFolder {
  bool exists;
  bool free_known;
  unsigned long long free_bytes;
};
DestFolder look_at_dest_folder();

// The size of name, read in code, where it names a regular file (not a
// folder, a pipe or a device); false where it does not.
bool regular_file_size(const char* name, NameCode code, unsigned long long* size);

// True when name, read in code, names an existing file or folder.
bool file_exists(const char* name, NameCode code);

// True when the system says that name, read in code, names nothing: it,
// or a folder on its way, does not exist. False where it exists, and
// where the system cannot tell (a folder that may not be searched, a name
// it refuses): no other folder is then looked in.
bool is_missing(const char* name, NameCode code);

// What tells one file from another while the run lasts: its device and
// file number (on Windows its volume and file index). Where the medium
// takes two names as one (a FAT stick's `A.mp3` and `a.mp3`), both lead to
// one id.
struct FileId {
  unsigned long long volume;
  unsigned long long file;
};

// True where target's folder lists one name only that equals target's
// name part in any case (case_fold.h): a medium that took two such names
// as one file. Where file ids tell that (on Windows), false.
bool one_name_in_any_case(const char* target, NameCode code);

// The folder of the file file, a name from the command line, as a full
// name. Returns false when it
// cannot be told or does not fit.
bool full_folder_of(const char* file, char (&folder)[kPathSize]);

// What a copy that succeeded did: kept a target that held the source's
// bytes already, or wrote bytes; which file it copied (with its size and
// time of change, as it was copied), which it replaced (where one stood at
// the target) and which it made, where the system told.
struct CopyDone {
  bool kept;
  unsigned long long bytes;
  bool replaced_known;
  FileId replaced;
  bool made_known;
  FileId made;
  bool source_known;
  FileId source;
  unsigned long long source_size;
  long long source_time;
};

// Copies the file source to the name target, replacing a file that is
// already there. After a crash the target is the earlier file or the copy,
// never neither. Both names are read in code, as they stand in the
// playlist and on the command line, and target begins with dest_in(code);
// each is at most kPathSize - 1 bytes long. made_this_run says that the
// file at the target is a copy this run made: it is compared with the
// source as the system holds it, whatever the medium, and kept where they
// are equal. Returns null on success, with *done what it did, and
// otherwise the platform's description of the failure, valid until the
// next call.
const char* copy_file(const char* source, const char* target, NameCode code, bool made_this_run,
                      CopyDone* done);

// Puts every copy made so far on its medium, so that a crash or a pulled
// stick from then on loses none of them: every file system the copies
// went into, where dest's folder changed during the run too. Sets *hidden
// to the copies that are not in dest's folder as it is now (one mounted
// on it during the run hides those made before). Returns null when they
// are there (or no copy was made), and otherwise the platform's
// description of the failure.
const char* flush_copies(unsigned long* hidden);

#endif
