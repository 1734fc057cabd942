// Keeping a target that holds the source's bytes already, on Windows, and
// telling whether a source changed while it was copied.
#ifndef LISKO_WINDOWS_KEEP_H
#define LISKO_WINDOWS_KEEP_H

#include <windows.h>

// What tells a source's state: its file, size and last write.
struct SourceState {
  BY_HANDLE_FILE_INFORMATION info;
};

// Takes the state of the file source. Returns false where it cannot be
// looked at (then state stays as it was).
bool take_source_state(const wchar_t* source, SourceState* state);

// True when source is still the file of state: a copy made while another
// program wrote the source is no copy of any one state.
bool is_unchanged(const wchar_t* source, const SourceState& state);

// Keeps target where it holds the bytes of source, read unbuffered from its
// medium, giving it the source's times; never a target named elsewhere too
// (a hard link). Returns true when it was kept; any doubt replaces it.
bool keep_if_same(const wchar_t* source, const wchar_t* target, const SourceState& state);

#endif
