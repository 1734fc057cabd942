// The targets this run has copied to: an open-addressed table of keys,
// each with the copy that stands there: its entry, whose text is kept in a
// fixed pool, and the file it copied. Each copy has three keys: the hash of
// its target's name (names that the platform takes as one file, on Windows
// names that differ only in ASCII case, hash alike); the hash of the file's id, which the
// medium gives to whatever names it takes as that file; and the hash of
// the name in any ASCII case, for the media whose ids tell names apart,
// not files (a FAT stick through FUSE), where the folder's listing tells.
#include "targets_made.h"

#include <cstdint>
#include <cstring>

#include "name_rules.h"

namespace {

constexpr unsigned kKeysKept = 3 * kTargetsKept;  // a name, a file id and a name in any case
constexpr unsigned kSlots = 2 * kKeysKept;        // half full at most: short probes
constexpr unsigned kPoolSize = 1 << 20;           // the entries' text

// One copy of the run: its entry's text in the pool, and what it copied.
struct Copy {
  uint32_t entry;
  bool source_known;
  FileId source;
  bool kept;
};

struct Slot {
  uint64_t key;   // 0: free
  uint32_t copy;  // in copies
};

Slot slots[kSlots];
Copy copies[kTargetsKept];
unsigned copies_kept = 0;
char pool[kPoolSize];
unsigned pool_used = 0;
unsigned keys_kept = 0;
bool full = false;
bool full_told = false;

uint64_t fnv1a(uint64_t hash, unsigned char byte) { return (hash ^ byte) * 1099511628211ull; }

// any_case: the key of the name in any ASCII case, which begins where no
// other does.
uint64_t key_of_name(const char* target, bool any_case) {
  bool fold = any_case || names_ignore_case();
  uint64_t hash = any_case ? fnv1a(fnv1a(14695981039346656037ull, 0), 0) : 14695981039346656037ull;
  for (const char* at = target; *at != '\0'; ++at) {
    char c = fold && *at >= 'A' && *at <= 'Z' ? static_cast<char>(*at | 0x20) : *at;
    hash = fnv1a(hash, static_cast<unsigned char>(c));
  }
  return hash == 0 ? 1 : hash;
}

// Begins where no name's hash does (a name holds no NUL byte).
uint64_t key_of_file(const FileId& id) {
  uint64_t hash = fnv1a(14695981039346656037ull, 0);
  const unsigned long long parts[] = {id.volume, id.file};
  for (unsigned long long part : parts)
    for (int shift = 0; shift < 64; shift += 8) hash = fnv1a(hash, static_cast<unsigned char>(part >> shift));
  return hash == 0 ? 1 : hash;
}

Slot* slot_of(uint64_t key) {
  unsigned at = static_cast<unsigned>(key % kSlots);
  while (slots[at].key != 0 && slots[at].key != key) at = (at + 1) % kSlots;
  return &slots[at];
}

// The copy kept under key, or null.
const Copy* copy_of(uint64_t key) {
  const Slot* slot = slot_of(key);
  return slot->key == key ? &copies[slot->copy] : nullptr;
}

// Keeps entry's copy, as done tells it; returns where, or false when full.
bool keep_copy(const char* entry, const CopyDone& done, uint32_t* at) {
  size_t length = strlen(entry) + 1;
  if (copies_kept == kTargetsKept || length > kPoolSize - pool_used) return false;
  memcpy(pool + pool_used, entry, length);
  copies[copies_kept] = {pool_used, done.source_known, done.source, done.kept};
  pool_used += static_cast<unsigned>(length);
  *at = copies_kept++;
  return true;
}

// Puts the copy at index copy under key, in place of what was there.
// Returns false when no key is left.
bool put_key(uint64_t key, uint32_t copy) {
  Slot* slot = slot_of(key);
  if (slot->key != key) {
    if (keys_kept == kKeysKept) return false;
    ++keys_kept;
    slot->key = key;
  }
  slot->copy = copy;
  return true;
}

// The copy that stood at target, read in code, before this one, where
// replaced is the file that stood there; null where none did.
const Copy* earlier_copy(const char* target, NameCode code, const FileId* replaced) {
  const Copy* found = copy_of(key_of_name(target, false));
  if (found != nullptr || replaced == nullptr) return found;
  found = copy_of(key_of_file(*replaced));
  if (found != nullptr) return found;
  found = copy_of(key_of_name(target, true));
  return found != nullptr && one_name_in_any_case(target, code) ? found : nullptr;
}

// True when the copy earlier and entry's, as done tells it, copied one
// file: by the files' ids, or where one is not known, by the entries.
bool copies_one_file(const Copy& earlier, const CopyDone& done, const char* entry) {
  if (!earlier.source_known || !done.source_known) return strcmp(pool + earlier.entry, entry) == 0;
  return earlier.source.volume == done.source.volume && earlier.source.file == done.source.file;
}

}  // namespace

bool replaces_earlier_copy(const char* target, NameCode code, const CopyDone& done,
                           const char* entry, EarlierCopy* earlier) {
  const Copy* found = earlier_copy(target, code, done.replaced_known ? &done.replaced : nullptr);
  if (found != nullptr)
    *earlier = {pool + found->entry, copies_one_file(*found, done, entry), found->kept};
  uint32_t at = 0;
  if (!keep_copy(entry, done, &at) || !put_key(key_of_name(target, false), at) ||
      !put_key(key_of_name(target, true), at) ||
      (done.made_known && !put_key(key_of_file(done.made), at)))
    full = true;
  return found != nullptr;
}

bool targets_made_full() {
  if (!full || full_told) return false;
  full_told = true;
  return true;
}

uint64_t key_of_target(const char* target) { return key_of_name(target, false); }
