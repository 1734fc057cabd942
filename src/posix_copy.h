// The copy of one file on POSIX systems, for the POSIX platform layer:
// from the target's folder, through keeping a target that holds the
// source's bytes already and the temporary file, to the rename.
#ifndef LISKO_POSIX_COPY_H
#define LISKO_POSIX_COPY_H

#include <sys/types.h>

#include "file_system.h"
#include "name_rules.h"

// The step of a copy that failed, so that its reason can say which side
// failed: the source, the target's folder, or the copy.
enum CopyStep {
  kDone,  // nothing failed
  kReadingSource,
  kOpeningFolder,
  kCheckingTarget,
  kWritingFolder,   // making the copy in the target's folder
  kWritingCopy,     // writing its content, bits and times
  kWritingBeside,   // the same, beside a file that holds data
  kPuttingInPlace,  // renaming it over the target
  kFindingSelf,     // the target is the source itself
  kFolderGone       // the target's folder was removed during the copy
};

// Not an errno: the copy's own finding that its source changed while it
// was copied.
constexpr int kSourceChanged = -2;

// What became of a copy: error is 0 where it was made or kept, and
// otherwise an errno or kSourceChanged, from step.
struct CopyResult {
  CopyStep step;
  int error;
  bool kept;    // a target that held the source's bytes already was kept
  off_t bytes;  // the bytes written where a copy was made
  bool stood;       // a file stood at the target: replaced
  FileId replaced;
  FileId made;      // the file at the target afterwards, where it was made or kept
  FileId source;    // the file copied, with its size and time as copied
  off_t source_size;
  long long source_time;
};

// Copies the file source_path to target_path, both POSIX names, replacing
// what is there. After a crash the target is the earlier file or the copy.
// A target this run made (made_this_run) is compared through the cache.
CopyResult copy_one_file(const char* source_path, char (&target_path)[kPathSize],
                         bool made_this_run);

// Removes the temporary file of the copy under way, if any. Safe in a
// signal handler.
void remove_temp_file();

#endif
