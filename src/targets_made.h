// The targets this run has copied to, so that an entry whose copy replaces
// the copy of an earlier entry (two entries with one name part) is told,
// never silent.
#ifndef LISKO_TARGETS_MADE_H
#define LISKO_TARGETS_MADE_H

#include <cstdint>

#include "file_system.h"

// The copies that are told apart; past them no earlier copy is found, and
// targets_made_full says so once.
constexpr unsigned kTargetsKept = 8192;

// The copy of an earlier entry that a copy replaced.
struct EarlierCopy {
  const char* entry;  // its entry line, as long as the run lasts
  bool same_source;   // a copy of the same file, however named: nothing is lost
  bool kept;          // a target that held its bytes already, not written
};

// Records that entry's copy now stands at target, read in code, with done
// what the copy did. Returns true when an earlier entry's copy stood there,
// with *earlier what it was: found by target's name, or as the file
// replaced, which catches the names that the medium takes as one, as a FAT
// stick does `A.mp3` and `a.mp3`.
bool replaces_earlier_copy(const char* target, NameCode code, const CopyDone& done,
                           const char* entry, EarlierCopy* earlier);

// True once, on the first call after the record filled up.
bool targets_made_full();

// The key of target's name, which the names this platform takes as one
// file share (on Windows those that differ only in ASCII case).
uint64_t key_of_target(const char* target);

#endif
