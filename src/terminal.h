// What lisko asks of the terminal it writes to and of the process around
// it: setting standard output up, writing names, the progress note beside
// an open progress message, a clean line when a stop ends the run, and
// the clock. One source file per platform implements it; CMake picks the
// one that is built. The files and the copy are file_system.h's.
#ifndef LISKO_TERMINAL_H
#define LISKO_TERMINAL_H

// Sets standard output up for the run, once: gathered in blocks, written
// as bytes, so that each "\r\n" reaches it as CR LF; a reader that goes
// away does not end the run. Returns true when standard output is a
// terminal, where every message must be written out the moment it is
// printed.
bool start_terminal();

// True when standard error is a terminal (a console on Windows).
bool errors_to_terminal();

// Writes text, a name already shown as a terminal may be shown it
// (shown.h), to the terminal that standard output is: on POSIX as the
// bytes it is; on a Windows console as text, read in UTF-8 where it is
// valid UTF-8 and otherwise in the ANSI code page.
void write_to_terminal(const char* text);

// A progress message, columns columns of text from the start of its first
// row, stands open on the terminal, written out: its note goes beside the
// cursor, or where fewer columns than a note needs (min_columns) are left
// on the row, including none, at the start of the next row; a stop ends
// its line. Returns the columns the note may take, fewer than are there,
// so that it never reaches the row's last column; 0 where the terminal
// shows no note (TERM=dumb, or its size unknown).
unsigned open_progress_line(unsigned columns, unsigned min_columns);

// Shows note, plain ASCII of fewer columns than open_progress_line gave,
// where that put it, leaving the cursor where the message's next character
// goes; "" takes it away. The screen is then as it was without it.
void show_note(const char* note);

// The progress message's line was ended, or is about to be: nothing more
// is shown beside it, and a stop has no line to end.
void close_progress_line();

// Where a stop (Ctrl+C, a signal) ends the run while a progress message
// stands open: takes its note away, with what the terminal echoed into it,
// and ends the line. Safe in a signal handler.
void end_line_on_stop();

// Seconds since some moment before the run, on a clock no one sets.
double seconds_now();

// Ends the process's part of the run: on Windows, a console window of
// lisko's own (a double click) waits for a key before it closes.
void finish_terminal();

#endif
