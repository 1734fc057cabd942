// The progress note: how far the copy in flight is, shown on a terminal
// beside its progress message once the copy has run half a second, a few
// times a second, and taken away before the result, so that the screen
// ends as it would without it. To a file or a pipe nothing of it is
// written.
#ifndef LISKO_NOTE_H
#define LISKO_NOTE_H

// "1.4 GB", "259 MB", "12 kB", "80 bytes": three figures at most.
void format_size(unsigned long long bytes, char (&text)[16]);

// "0.4 s", "2 min 3 s", "1 h 12 min".
void format_duration(double seconds, char (&text)[32]);

// The columns that the note's shortest form, " 37%", takes with the last
// column of a row, which no note takes: where fewer are left beside the
// message, the note goes to the start of the next row.
constexpr unsigned kNoteColumns = 5;

// The note in the longest of its forms that takes at most columns columns:
// " 37% 259 MB of 700 MB, 18 MB/s", " 37% 18 MB/s", " 37%"; "" where even
// that does not fit.
void format_note(unsigned long long done, unsigned long long total, double seconds,
                 unsigned columns, char (&note)[64]);

// The copy whose progress message, columns columns of text long, was just
// printed to the terminal begins.
void start_note(unsigned columns);

// How far that copy is, as its layer reports it (report_copy_progress):
// what is done never goes back, though the waits for the medium report
// what is written out, which lags behind what is copied.
void note_progress(unsigned long long done, unsigned long long total);

// The copy has ended: its note is taken away.
void end_note();

#endif
