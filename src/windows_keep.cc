// Keeping a target that holds the source's bytes already, on Windows: a
// second run of a playlist costs a read, not a write. The target is read
// unbuffered, so that what is compared is what its medium holds.
#include "windows_keep.h"

#include <cstring>

namespace {

// Reads up to size bytes of file into piece; returns the count, or -1.
long read_piece(HANDLE file, char* piece, DWORD size) {
  DWORD got = 0;
  return ReadFile(file, piece, size, &got, nullptr) ? static_cast<long>(got) : -1;
}

// True when the two open files hold the same bytes. The target is read
// unbuffered, in whole sectors into aligned memory: what its medium holds,
// not what the system's cache remembers of a write that never reached it.
bool same_contents(HANDLE source, HANDLE target) {
  const DWORD kPiece = 1 << 20;
  static char source_piece[kPiece];
  alignas(4096) static char target_piece[kPiece];
  for (;;) {
    long got = read_piece(source, source_piece, kPiece);
    long target_got = read_piece(target, target_piece, kPiece);
    if (got < 0 || got != target_got) return false;
    if (got == 0) return true;
    if (memcmp(source_piece, target_piece, static_cast<size_t>(got)) != 0) return false;
  }
}

// True when now is the file was describes, with its size and last-write
// time as they were.
bool is_same_state(const BY_HANDLE_FILE_INFORMATION& was, const BY_HANDLE_FILE_INFORMATION& now) {
  return now.dwVolumeSerialNumber == was.dwVolumeSerialNumber &&
         now.nFileIndexHigh == was.nFileIndexHigh && now.nFileIndexLow == was.nFileIndexLow &&
         now.nFileSizeHigh == was.nFileSizeHigh && now.nFileSizeLow == was.nFileSizeLow &&
         CompareFileTime(&now.ftLastWriteTime, &was.ftLastWriteTime) == 0;
}

}  // namespace

bool take_source_state(const wchar_t* source, SourceState* state) {
  HANDLE file = CreateFileW(source, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BOOL got = GetFileInformationByHandle(file, &state->info);
  CloseHandle(file);
  return got != FALSE;
}

bool is_unchanged(const wchar_t* source, const SourceState& before) {
  SourceState now;
  return take_source_state(source, &now) && is_same_state(before.info, now.info);
}

// A target of the source's size that holds its bytes already is kept, with
// the source's times: a second run costs a read, not a write. Returns true
// when it was kept; any doubt replaces it.
bool keep_if_same(const wchar_t* source, const wchar_t* target, const SourceState& state) {
  const DWORD kShare = FILE_SHARE_READ;
  HANDLE from = CreateFileW(source, GENERIC_READ, kShare | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  HANDLE to =
      CreateFileW(target, GENERIC_READ | FILE_WRITE_ATTRIBUTES, kShare, nullptr, OPEN_EXISTING,
                  FILE_FLAG_NO_BUFFERING | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  const BY_HANDLE_FILE_INFORMATION& info = state.info;
  BY_HANDLE_FILE_INFORMATION target_info, after;
  // A target named elsewhere too (a hard link) is replaced: its times are
  // the other name's too. So is one written while it was compared (its
  // size or last-write time moved), which may differ in a part compared.
  bool kept = from != INVALID_HANDLE_VALUE && to != INVALID_HANDLE_VALUE &&
              GetFileInformationByHandle(to, &target_info) && target_info.nNumberOfLinks == 1 &&
              same_contents(from, to) && is_unchanged(source, state) &&
              GetFileInformationByHandle(to, &after) && is_same_state(target_info, after) &&
              SetFileTime(to, &info.ftCreationTime, &info.ftLastAccessTime, &info.ftLastWriteTime);
  if (from != INVALID_HANDLE_VALUE) CloseHandle(from);
  if (to != INVALID_HANDLE_VALUE) CloseHandle(to);
  return kept;
}
