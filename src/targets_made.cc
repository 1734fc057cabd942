// The targets this run has copied to: an open-addressed table of keys,
// each with the entry whose copy stands there, whose text is kept in a
// fixed pool. Each copy has three keys: the hash of its target's name
// (names that the platform takes as one file, on Windows names that differ
// only in ASCII case, hash alike); the hash of the file's id, which the
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

struct Slot {
  uint64_t key;    // 0: free
  uint32_t entry;  // where the entry's text begins in the pool
};

Slot slots[kSlots];
char pool[kPoolSize];
unsigned pool_used = 0;
unsigned keys_kept = 0;
bool full = false;
bool full_told = false;

uint64_t fnv1a(uint64_t hash, unsigned char byte) { return (hash ^ byte) * 1099511628211ull; }

// any_case: the key of the name in any ASCII case, which begins where no
// other does.
uint64_t key_of_name(const char* target, bool any_case = false) {
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

// The entry kept under key, or null.
const char* entry_of(uint64_t key) {
  const Slot* slot = slot_of(key);
  return slot->key == key ? pool + slot->entry : nullptr;
}

// Keeps entry's text in the pool; returns where it begins, or false when full.
bool keep_entry(const char* entry, uint32_t* at) {
  size_t length = strlen(entry) + 1;
  if (length > kPoolSize - pool_used) return false;
  memcpy(pool + pool_used, entry, length);
  *at = pool_used;
  pool_used += static_cast<unsigned>(length);
  return true;
}

// Puts the entry at pool offset entry under key, in place of what was
// there. Returns false when no key is left.
bool put_key(uint64_t key, uint32_t entry) {
  Slot* slot = slot_of(key);
  if (slot->key != key) {
    if (keys_kept == kKeysKept) return false;
    ++keys_kept;
    slot->key = key;
  }
  slot->entry = entry;
  return true;
}

// The entry whose copy stood at target, read in code, before its copy, where
// replaced is the file that stood there; null where none did.
const char* earlier_copy(const char* target, NameCode code, const FileId* replaced) {
  const char* found = entry_of(key_of_name(target));
  if (found != nullptr || replaced == nullptr) return found;
  found = entry_of(key_of_file(*replaced));
  if (found != nullptr) return found;
  found = entry_of(key_of_name(target, true));
  return found != nullptr && one_name_in_any_case(target, code) ? found : nullptr;
}

}  // namespace

bool replaces_earlier_copy(const char* target, NameCode code, const FileId* replaced,
                           const FileId* made, const char* entry, char (&earlier)[kLineSize]) {
  const char* found = earlier_copy(target, code, replaced);
  earlier[0] = '\0';
  if (found != nullptr) strncat(earlier, found, sizeof earlier - 1);  // every kept entry fits: it came from a line
  uint32_t at = 0;
  if (!keep_entry(entry, &at) || !put_key(key_of_name(target), at) ||
      !put_key(key_of_name(target, true), at) || (made != nullptr && !put_key(key_of_file(*made), at)))
    full = true;
  return found != nullptr;
}

bool targets_made_full() {
  if (!full || full_told) return false;
  full_told = true;
  return true;
}
