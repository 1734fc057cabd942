// UTF-8, as lisko reads it in names and playlists on every platform.
#include "utf8.h"

namespace {

// How many continuation bytes follow lead in UTF-8, or -1 where lead
// begins no character (a continuation byte, C0, C1, F5 to FF).
int continuation_count(unsigned char lead) {
  if (lead < 0x80) return 0;
  if (lead >= 0xC2 && lead <= 0xDF) return 1;
  if (lead >= 0xE0 && lead <= 0xEF) return 2;
  if (lead >= 0xF0 && lead <= 0xF4) return 3;
  return -1;
}

// True when next may follow lead as its first continuation byte: the range
// rules out overlong forms, surrogates and characters past U+10FFFF.
bool may_follow(unsigned char lead, unsigned char next) {
  unsigned char low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
  unsigned char high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
  return next >= low && next <= high;
}

}  // namespace

bool decode_utf8(const char* text, unsigned long* c, unsigned* length) {
  const unsigned char* at = reinterpret_cast<const unsigned char*>(text);
  int count = continuation_count(at[0]);
  *c = at[0];
  *length = 1;
  if (count <= 0) return count == 0;
  if (!may_follow(at[0], at[1])) return false;
  *c = at[0] & (0x3Fu >> count);
  for (; *length <= static_cast<unsigned>(count); ++*length) {
    unsigned char next = at[*length];
    if (*length >= 2 && (next < 0x80 || next > 0xBF)) return false;  // the bytes so far
    *c = *c << 6 | (next & 0x3Fu);
  }
  return true;
}

bool is_utf8(const char* text) {
  unsigned long c = 0;
  unsigned length = 0;
  for (; *text != '\0'; text += length)
    if (!decode_utf8(text, &c, &length)) return false;
  return true;
}
