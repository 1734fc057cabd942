// How the bytes of a copy move on POSIX systems, for the POSIX platform
// layer: the content, and its writeback to the medium while the copy runs.
#ifndef LISKO_POSIX_BYTES_H
#define LISKO_POSIX_BYTES_H

#include <sys/stat.h>
#include <sys/types.h>

#include "file_system.h"

// macOS names the times of struct stat otherwise.
#ifdef __APPLE__
#define st_atim st_atimespec
#define st_mtim st_mtimespec
#define st_ctim st_ctimespec
#endif

// Opens name, in folder (or AT_FDCWD), to read with flags, leaving its
// access time as it is where lisko may (its own files, or as root): else
// every run would find the times of the copies changed. Returns the
// descriptor, or -1 with errno set.
int open_for_reading(int folder, const char* name, int flags);

// True where the size of the file open as source is nominal, not its
// bytes: the kernel's own files (procfs, sysfs and the like), which are
// copied as they read (copy_contents with a size of 0).
bool has_nominal_size(int source);

// Files of this size or more are written out while they are copied; small
// ones are left to the flush at the end, which writes them out together.
constexpr off_t kWriteBehindFrom = 1 << 20;

// Where copy_contents reports how far a copy is, or null.
void set_copy_progress(CopyProgress report);

// Copies the content of from, size bytes from its first (a size of 0 may
// be one that the kernel hides, as in /proc: then to the end), to the same
// places of to, whatever the files' offsets, and sets *copied to the bytes
// copied: fewer than size where the source ended early. Returns 0 or the
// error, an error of the writeback too, with *reading true where reading
// the source failed, not writing the target.
int copy_contents(int from, int to, off_t size, off_t* copied, bool* reading);

// Waits for the writeback of the older of the two latest copies noted
// with note_copy_behind, so that a run onto a slow medium keeps its pace
// from file to file too, with one file's writeback always in flight.
void wait_for_copy_behind();

// Notes the copy just put in place under target_path (a POSIX name, as on
// the command line), with copy_info its file's, for the next copy to wait
// for.
void note_copy_behind(const char* target_path, const struct stat& copy_info);

// Puts the bytes of file, a copy about to replace a file that holds data,
// where a crash cannot lose them once the rename is done: where renames
// follow data on its file system (ordered), written out and waited for;
// elsewhere flushed to the medium (fdatasync). Returns 0 or the error of
// the write-out, which fails the copy.
int put_before_rename(int file, bool ordered);

// Direct I/O reads into memory, and at offsets, aligned to this.
constexpr size_t kDirectAlignment = 4096;

// Compares the first size bytes of source and target, in pieces, stopping
// at the first difference; the file offsets are left as they are. target
// may be open for direct I/O. False where they differ or either fails to
// read: such a target is replaced, so why does not matter.
bool same_contents(int source, int target, off_t size);

#endif
