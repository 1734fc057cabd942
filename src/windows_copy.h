// The copy of one file on Windows, for the Windows platform layer, which
// implements copy_file and flush_copies (platform.h) with it.
#ifndef LISKO_WINDOWS_COPY_H
#define LISKO_WINDOWS_COPY_H

// Sets up the copies, once: Ctrl+C, Ctrl+Break and the console's closing
// leave no temporary file behind.
void start_copies();

#endif
