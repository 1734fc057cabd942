// The folders the copies went into, on POSIX systems, and the flush that
// puts them on their media when the run ends: for the copy of one file and
// the POSIX platform layer.
#ifndef LISKO_POSIX_FLUSH_H
#define LISKO_POSIX_FLUSH_H

// Notes, before a copy's first write, the folder it goes into: open as
// folder, or where the copy goes by name (folder is AT_FDCWD), the folder
// part of target_path, a POSIX name. Returns its place in the record, for
// count_copy_into; -1 where it cannot be told.
int note_copy_folder(int folder, const char* target_path);

// Counts a copy made or kept in the folder noted at place.
void count_copy_into(int place);

// True where the file system of the folder noted at place commits a
// rename only after the data written before it: a journal that commits in
// order, and the data of ext4's ordered and journal modes with it (ext4 so
// mounted, XFS, btrfs). There a copy that replaces a file need only have
// its bytes written and waited for before its rename, not flushed: after a
// crash the target is the old file or the new one all the same. False
// where that cannot be told.
bool renames_follow_data(int place);

// The same, from a file system's type (as statfs gives it) and, for ext4,
// its options as the kernel lists them (/proc/fs/ext4/DEVICE/options:
// "data=ordered" where it has a journal in that mode).
bool renames_follow_data_on(unsigned long type, const char* ext4_options);

// Flushes the file system of every folder that copies went into, each
// through a descriptor opened before its first write, so that it reports
// every write-out error since; where a FUSE file system's flush does not
// reach its device (fusefat's), or a folder could not be told, the whole
// system's. Sets *hidden to the copies whose folder is no longer the one
// that their folder's name leads to (a file system mounted on it during
// the run hides them). Returns 0, or the first error of a flush.
int flush_copy_folders(unsigned long* hidden);

#endif
