// The copy run: lisko's whole behaviour apart from the playlist format and
// the platform's own calls.
#ifndef LISKO_LISKO_H
#define LISKO_LISKO_H

// Copies every file that the playlist argv[1] lists to argv[2] followed by
// the file's name part, printing one progress line per copy. argc counts
// argv[0], which is not used. Returns the exit status:
//   0  every entry that names a file is at its target: copied or kept
//   1  wrong number of arguments, or a dest longer than 255 characters
//   2  the playlist could not be opened or read
//   3  the playlist was read to its end, but one or more entries are not at
//      their targets: not copied, or replaced by a later entry's copy
int run_lisko(int argc, char* argv[]);

#endif
