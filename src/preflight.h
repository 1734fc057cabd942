// What lisko tells before the first copy, on standard error: a dest whose
// folder is missing, copies that need more room than dest's file system
// has, a dest that the command line mangled. Said once, up front, where
// hundreds of failed lines would bury it; none of it stops the run.
#ifndef LISKO_PREFLIGHT_H
#define LISKO_PREFLIGHT_H

// Looks at dest, taken for the run, and at what the playlist m3u_file asks
// of it. A playlist that is not a regular file (a pipe) is read once only,
// by the run: its copies are not weighed.
void check_before_copying(const char* m3u_file, const char* dest);

// The bytes that the copies of the playlist m3u_file add on dest's file
// system, into *need: each entry's source, less the target it replaces
// (none where that is as large), each target once, for the last entry
// that names it. Returns false where the playlist is not a regular file,
// or the weighing gave up: it takes at most seconds, before the run half
// a second.
constexpr double kWeighingSeconds = 0.5;
bool weigh_copies(const char* m3u_file, unsigned long long* need,
                  double seconds = kWeighingSeconds);

#endif
