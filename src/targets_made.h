// The targets this run has copied to, so that an entry whose copy takes
// the place of an earlier entry's copy of another song (two entries with
// one name part) is told, never silent.
#ifndef LISKO_TARGETS_MADE_H
#define LISKO_TARGETS_MADE_H

#include <cstdint>

#include "file_system.h"

// The copies that are told apart; past them no later copy is recorded,
// and targets_made_full says so once.
constexpr unsigned long kTargetsKept = 1ul << 20;

// The copy of an earlier entry that stands where a copy goes.
struct EarlierCopy {
  const char* entry;     // its entry line, as long as the run lasts; null where not kept
  unsigned long number;  // its entry's number in the playlist, from 1
  bool kept;             // a target that held its bytes already, not written
  bool source_known;
  uint64_t source;  // what tells its source: the file's id, size and time
};

// Finds, before a copy to target (read in code), the copy of an earlier
// entry that stands there: by target's name, or by a name that differs in
// case only where the medium takes both as one (on Windows always; a FAT
// or exFAT stick, whose folder then lists one of them only).
bool find_earlier_copy(const char* target, NameCode code, EarlierCopy* earlier);

// Finds, after a copy that replaced a file (done), an earlier entry's copy
// as that file: a medium that takes two names as one file gives both its
// id.
bool find_replaced_copy(const CopyDone& done, EarlierCopy* earlier);

// True where the earlier copy and entry's, as done tells it, hold one
// song: the target held the source's bytes (kept), or both copied the same
// file, unchanged (its id, size and time), or where a source is not known,
// both entries are the same text.
bool holds_the_same_song(const EarlierCopy& earlier, const CopyDone& done, const char* entry);

// Records that entry, the playlist's entry number, now stands at target
// with done what its copy did.
void record_copy(const char* target, const CopyDone& done, const char* entry, unsigned long number);

// True once, on the first call after the record filled up.
bool targets_made_full();

// The key of target's name, for a table of targets.
uint64_t key_of_target(const char* target);

#endif
