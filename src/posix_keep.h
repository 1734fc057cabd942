// Keeping a target that holds the source's bytes already, on POSIX
// systems, for the copy of one file; and what both ask of a source and of
// a file system's permission bits and times.
#ifndef LISKO_POSIX_KEEP_H
#define LISKO_POSIX_KEEP_H

#include <sys/stat.h>

// Keeps the target name in folder (described by target_info) where it
// holds the source's bytes on its medium, and gives it the source's
// permission bits and times. Unlike a check by size and time, this never
// keeps a file whose bytes differ. A target also named elsewhere (a hard
// link), one whose bits or times cannot be set (another user's), one that
// changed while it was compared, one that cannot be read, and one on a
// file system whose direct reads may come from a cache (FUSE, btrfs, ext4
// journalling data, network file systems) are never kept, but for a copy
// this run made (ours): its bytes, just written, are read as the system
// holds them. Returns true when it was kept; any doubt replaces it.
bool keep_if_same(int source, const struct stat& source_info, int folder, const char* name,
                  const struct stat& target_info, bool ours);

// A file system that cannot hold permission bits or times (a FAT stick
// refuses modes it cannot store) still holds the content: that is no
// failure of the copy. Returns 0 for such an error, and any other as it is.
int unless_unsupported(int error);

// True when the source, as it is now, is the file described by before:
// the same size, modification and change times. A source written while it
// was read gives no copy of any one state of it.
bool is_unchanged(int source, const struct stat& before);

#endif
