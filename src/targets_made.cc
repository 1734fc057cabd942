// The targets this run has copied to: an open-addressed table of the
// targets' hashes, each with the entry whose copy stands there, whose text
// is kept in a fixed pool. Names that the platform takes as one file (on
// Windows, names that differ only in ASCII case) hash alike.
#include "targets_made.h"

#include <cstdint>
#include <cstring>

#include "name_rules.h"

namespace {

constexpr unsigned kSlots = 2 * kTargetsKept;  // half full at most: short probes
constexpr unsigned kPoolSize = 1 << 20;        // the entries' text

struct Slot {
  uint64_t hash;  // 0: free
  uint32_t entry;  // where the entry's text begins in the pool
};

Slot slots[kSlots];
char pool[kPoolSize];
unsigned pool_used = 0;
unsigned targets_kept = 0;
bool full = false;
bool full_told = false;

uint64_t hash_of(const char* target) {
  bool fold = names_ignore_case();
  uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char* at = target; *at != '\0'; ++at) {
    char c = fold && *at >= 'A' && *at <= 'Z' ? static_cast<char>(*at | 0x20) : *at;
    hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  }
  return hash == 0 ? 1 : hash;
}

// Keeps entry in the pool; returns where it begins, or false when full.
bool keep_entry(const char* entry, uint32_t* at) {
  size_t length = strlen(entry) + 1;
  if (length > kPoolSize - pool_used) return false;
  memcpy(pool + pool_used, entry, length);
  *at = pool_used;
  pool_used += static_cast<unsigned>(length);
  return true;
}

}  // namespace

bool replaces_earlier_copy(const char* target, const char* entry, char (&earlier)[kLineSize]) {
  uint64_t hash = hash_of(target);
  unsigned at = static_cast<unsigned>(hash % kSlots);
  while (slots[at].hash != 0 && slots[at].hash != hash) at = (at + 1) % kSlots;
  Slot* slot = &slots[at];
  bool found = slot->hash == hash;
  if (found) strncpy(earlier, pool + slot->entry, sizeof earlier - 1);
  earlier[sizeof earlier - 1] = '\0';  // every kept entry fits: it came from a line
  if ((!found && targets_kept == kTargetsKept) || !keep_entry(entry, &slot->entry)) {
    full = true;
    return found;
  }
  if (!found) ++targets_kept;
  slot->hash = hash;
  return found;
}

bool targets_made_full() {
  if (!full || full_told) return false;
  full_told = true;
  return true;
}
