// What a terminal is shown of a name.
#include "shown.h"

#include <cstddef>

namespace {

// Puts the caret notation of control, a C0 control or DEL, at shown.
unsigned put_caret(unsigned char control, char* shown) {
  shown[0] = '^';
  shown[1] = static_cast<char>(control ^ 0x40);
  return 2;
}

}  // namespace

void write_shown(const char* name, void (*write)(const char*)) {
  char shown[1024];
  size_t length = 0;
  for (const char* at = name;; ++at) {
    if (*at == '\0' || length + 5 > sizeof shown) {  // room for "M-^[" and the zero
      shown[length] = '\0';
      write(shown);
      length = 0;
    }
    if (*at == '\0') return;
    unsigned char byte = static_cast<unsigned char>(*at);
    unsigned char next = static_cast<unsigned char>(at[1]);
    if (byte < 0x20 || byte == 0x7F) {
      length += put_caret(byte, shown + length);
    } else if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {  // U+0080 to U+009F
      shown[length++] = 'M';
      shown[length++] = '-';
      length += put_caret(next - 0x80, shown + length);
      ++at;
    } else {
      shown[length++] = static_cast<char>(byte);
    }
  }
}
