// The progress note.
#include "note.h"

#include <cstdio>
#include <cstring>

#include "terminal.h"

namespace {

// The copy in flight: when it began, when its note was last shown, the
// most it has done, whether a note stands on the screen, and the columns a
// note may take.
double copy_start = 0;
double note_time = 0;
unsigned long long note_done = 0;
bool note_shown = false;
unsigned note_columns = 0;

}  // namespace

void format_size(unsigned long long bytes, char (&text)[16]) {
  const char* units[] = {"kB", "MB", "GB", "TB"};
  double value = static_cast<double>(bytes);
  int unit = -1;
  // Compared as they will be rounded: 999,600 bytes are 1.0 MB, not 1000 kB,
  // and 9,960 are 10 kB, not 10.0.
  while (value >= 999.5 && unit < 3) value /= 1000, ++unit;
  if (unit < 0)
    snprintf(text, sizeof text, bytes == 1 ? "%llu byte" : "%llu bytes", bytes);
  else
    snprintf(text, sizeof text, value < 9.95 ? "%.1f %s" : "%.0f %s", value, units[unit]);
}

void format_duration(double seconds, char (&text)[32]) {
  unsigned long whole = static_cast<unsigned long>(seconds + 0.5);
  if (seconds < 59.95)  // as it is rounded: 59.96 s is 1 min 0 s, not 60.0 s
    snprintf(text, sizeof text, "%.1f s", seconds);
  else if (whole < 3600)
    snprintf(text, sizeof text, "%lu min %lu s", whole / 60, whole % 60);
  else
    snprintf(text, sizeof text, "%lu h %lu min", whole / 3600, whole / 60 % 60);
}

void format_note(unsigned long long done, unsigned long long total, double seconds,
                 unsigned columns, char (&note)[64]) {
  char done_text[16], total_text[16], rate_text[16];
  format_size(done, done_text);
  format_size(total, total_text);
  format_size(static_cast<unsigned long long>(static_cast<double>(done) / seconds), rate_text);
  unsigned share = total > 0 ? static_cast<unsigned>(done * 100 / total) : 0;
  snprintf(note, sizeof note, " %u%% %s of %s, %s/s", share, done_text, total_text, rate_text);
  if (strlen(note) <= columns) return;
  snprintf(note, sizeof note, " %u%% %s/s", share, rate_text);
  if (strlen(note) <= columns) return;
  snprintf(note, sizeof note, " %u%%", share);
  if (strlen(note) <= columns) return;
  note[0] = '\0';
}

void start_note(unsigned columns) {
  note_columns = open_progress_line(columns, kNoteColumns);
  copy_start = note_time = seconds_now();
  note_done = 0;
}

void note_progress(unsigned long long done, unsigned long long total) {
  double now = seconds_now();
  if (done > note_done) note_done = done;
  if (now - copy_start < 0.5 || now - note_time < 0.2) return;
  note_time = now;
  char note[64];
  format_note(note_done, total, now - copy_start, note_columns, note);
  bool fits = note[0] != '\0';
  if (fits || note_shown) show_note(note);
  note_shown = fits;
}

void end_note() {
  if (note_shown) show_note("");
  note_shown = false;
  close_progress_line();
}
