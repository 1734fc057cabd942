// The targets this run has copied to: an open-addressed table of keys,
// each with the copy that stands there: the hash of its exact name, what
// tells its source, and its entry (the text in a fixed pool while there is
// room, and its number). Each copy has two keys: the hash of its target's
// name in the case FAT, exFAT and Windows give it (case_fold.h), checked
// against the exact name or the folder's listing; and the hash of the
// file's id, which a medium that takes two names as one file gives both.
// The table uses as much of its fixed room as the copies need, doubling
// as they come (each copy keeps its keys to be put again), so that a short
// playlist touches little memory.
#include "targets_made.h"

#include <cstring>

#include "case_fold.h"
#include "name_rules.h"

namespace {

constexpr unsigned long kMostSlots = 4 * kTargetsKept;  // two keys a copy: half full at most
constexpr unsigned long kFewestSlots = 1 << 12;
constexpr unsigned kPoolSize = 4 << 20;             // the entries' text
constexpr uint32_t kNoText = 0xFFFFFFFF;

// One copy of the run. Its number's top bits are flags.
struct Copy {
  uint64_t name;    // the hash of the target's exact name
  uint64_t source;  // what tells its source
  uint64_t folded;  // its keys: the name in the media's case,
  uint64_t file;    // and the made file's id (0: not known)
  uint32_t text;    // in pool, or kNoText
  uint32_t number;
};
constexpr uint32_t kKept = 1u << 31, kSourceKnown = 1u << 30, kNumber = kSourceKnown - 1;

uint64_t slot_keys[kMostSlots];  // 0: free
uint32_t slot_copies[kMostSlots];
unsigned long slots = kFewestSlots;  // in use, from the first
unsigned long keys_held = 0;
Copy copies[kTargetsKept];
unsigned long copies_kept = 0;
char pool[kPoolSize];
unsigned pool_used = 0;
bool full = false;
bool full_told = false;

uint64_t fnv1a(uint64_t hash, unsigned char byte) { return (hash ^ byte) * 1099511628211ull; }
constexpr uint64_t kFnvStart = 14695981039346656037ull;

uint64_t fnv1a_of(uint64_t hash, unsigned long long value) {
  for (int shift = 0; shift < 64; shift += 8) hash = fnv1a(hash, static_cast<unsigned char>(value >> shift));
  return hash;
}

uint64_t nonzero(uint64_t hash) { return hash == 0 ? 1 : hash; }

// The name in the case the media that fold it give it; begins where no
// file id's key does.
uint64_t key_of_folded(const char* target) {
  uint64_t hash = fnv1a(kFnvStart, 1);
  while (*target != '\0') hash = fnv1a_of(hash, next_folded(&target));
  return nonzero(hash);
}

uint64_t key_of_file(const FileId& id) {
  return nonzero(fnv1a_of(fnv1a_of(fnv1a(kFnvStart, 2), id.volume), id.file));
}

uint64_t source_of(const CopyDone& done) {
  uint64_t hash = fnv1a_of(fnv1a_of(kFnvStart, done.source.volume), done.source.file);
  return fnv1a_of(fnv1a_of(hash, done.source_size), static_cast<unsigned long long>(done.source_time));
}

unsigned long slot_of(uint64_t key) {
  unsigned long at = static_cast<unsigned long>(key % slots);
  while (slot_keys[at] != 0 && slot_keys[at] != key) at = (at + 1) % slots;
  return at;
}

// The copy kept under key, or null.
const Copy* copy_of(uint64_t key) {
  unsigned long at = slot_of(key);
  return slot_keys[at] == key ? &copies[slot_copies[at]] : nullptr;
}

bool tell(const Copy* copy, EarlierCopy* earlier) {
  if (copy == nullptr) return false;
  *earlier = {copy->text == kNoText ? nullptr : pool + copy->text, copy->number & kNumber,
              (copy->number & kKept) != 0, (copy->number & kSourceKnown) != 0, copy->source};
  return true;
}

// Keeps entry's text where the pool has room for it.
uint32_t keep_text(const char* entry) {
  size_t length = strlen(entry) + 1;
  if (length > kPoolSize - pool_used) return kNoText;
  memcpy(pool + pool_used, entry, length);
  pool_used += static_cast<unsigned>(length);
  return pool_used - static_cast<uint32_t>(length);
}

// Puts the copy at index copy under key, in place of what was there.
void put_key(uint64_t key, uint32_t copy) {
  unsigned long at = slot_of(key);
  keys_held += slot_keys[at] == 0 ? 1 : 0;
  slot_keys[at] = key;
  slot_copies[at] = copy;
}

// Puts the keys of the copy at index copy: its folded name, and its file's
// id where known.
void put_keys_of(uint32_t copy) {
  put_key(copies[copy].folded, copy);
  if (copies[copy].file != 0) put_key(copies[copy].file, copy);
}

// Doubles the slots in use where the keys fill half of them, and puts
// every copy's keys again, in the order the copies came.
void make_room() {
  if (2 * (keys_held + 2) <= slots || slots == kMostSlots) return;
  slots *= 2;
  memset(slot_keys, 0, slots * sizeof slot_keys[0]);
  keys_held = 0;
  for (uint32_t at = 0; at < copies_kept; ++at) put_keys_of(at);
}

}  // namespace

bool find_earlier_copy(const char* target, NameCode code, EarlierCopy* earlier) {
  const Copy* found = copy_of(key_of_folded(target));
  if (found == nullptr) return false;
  bool same_name = found->name == key_of_target(target);
  return (same_name || names_ignore_case() || one_name_in_any_case(target, code)) && tell(found, earlier);
}

bool find_replaced_copy(const CopyDone& done, EarlierCopy* earlier) {
  return done.replaced_known && tell(copy_of(key_of_file(done.replaced)), earlier);
}

bool holds_the_same_song(const EarlierCopy& earlier, const CopyDone& done, const char* entry) {
  if (done.kept) return true;
  if (earlier.source_known && done.source_known) return earlier.source == source_of(done);
  return earlier.entry != nullptr && strcmp(earlier.entry, entry) == 0;
}

void record_copy(const char* target, const CopyDone& done, const char* entry, unsigned long number) {
  if (copies_kept == kTargetsKept) {
    full = true;
    return;
  }
  uint32_t flags = (done.kept ? kKept : 0) | (done.source_known ? kSourceKnown : 0);
  make_room();
  uint32_t at = static_cast<uint32_t>(copies_kept++);
  copies[at] = {key_of_target(target), done.source_known ? source_of(done) : 0, key_of_folded(target),
                done.made_known ? key_of_file(done.made) : 0, keep_text(entry),
                static_cast<uint32_t>(number & kNumber) | flags};
  put_keys_of(at);
}

bool targets_made_full() {
  if (!full || full_told) return false;
  full_told = true;
  return true;
}

uint64_t key_of_target(const char* target) {
  uint64_t hash = kFnvStart;
  for (const char* at = target; *at != '\0'; ++at) hash = fnv1a(hash, static_cast<unsigned char>(*at));
  return nonzero(hash);
}
