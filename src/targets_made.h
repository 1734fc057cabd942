// The targets this run has copied to, so that an entry whose copy replaces
// the copy of an earlier entry (two entries with one name part) is told,
// never silent.
#ifndef LISKO_TARGETS_MADE_H
#define LISKO_TARGETS_MADE_H

#include "line_reader.h"
#include "platform.h"

// The copies that are told apart; past them no earlier copy is found, and
// targets_made_full says so once.
constexpr unsigned kTargetsKept = 8192;

// Records that entry's copy now stands at target, read in code, as the
// file made (null where the system did not tell). Returns true when an
// earlier entry's copy stood there, with that entry in earlier: found by
// target's name, or as the file replaced (null where none stood there),
// which catches the names that the medium takes as one, as a FAT stick
// does `A.mp3` and `a.mp3`.
bool replaces_earlier_copy(const char* target, NameCode code, const FileId* replaced,
                           const FileId* made, const char* entry, char (&earlier)[kLineSize]);

// True once, on the first call after the record filled up.
bool targets_made_full();

#endif
