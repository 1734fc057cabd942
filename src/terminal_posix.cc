// lisko's terminal on POSIX systems: standard output, the progress note
// beside an open progress message, and that message's line when a stop
// ends the run.
//
// Where the message's row has room, the note goes beside the cursor, which
// is moved back after it. Where the message filled its row to the last
// column, the terminal wraps at the next character: a blank is written
// there and stepped back over, so that the cursor stands where the result
// will (the result overwrites the blank), and the note goes beside it.
// Where a few columns are left, too few for a note, the note goes to the
// start of the next row and the cursor comes back: first a row below is
// made sure of (IND and RI scroll once where the message stands on the
// last row, as the result's own wrap would), then the cursor's place is
// saved (DECSC) and restored after each note (DECRC); each note saves it
// again, for the terminals that keep saved places on a stack (pyte). All
// of this waits for the first note: a quick copy writes nothing but its
// message.
//
// A stop returns to the saved place, clears what follows it (the note, and
// the ^C that the terminal echoed into it) and ends the line, with one
// write prepared beforehand, as a signal handler may make.
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "terminal.h"

namespace {

enum NotePlace { kBesideCursor, kNextRow };
NotePlace place = kBesideCursor;

// What the first note of the open message writes before it, to stand where
// it goes and save the cursor's place: nothing is written for a message
// whose copy ends before a note is due.
const char* note_setup = "";
const char* stop_after_note = "";

// What a stop writes where a progress message stands open; empty where
// none does.
char stop_text[16];
volatile sig_atomic_t stop_length = 0;

// Writes all of text to standard output, past the stdio buffer.
void put(const char* text, size_t length) {
  while (length > 0) {
    ssize_t put = write(STDOUT_FILENO, text, length);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return;  // a terminal that went away: nothing to show
    text += put;
    length -= static_cast<size_t>(put);
  }
}

void put(const char* text) { put(text, strlen(text)); }

// The columns of the terminal's rows, or 0 where it shows no note.
unsigned terminal_width() {
  const char* terminal = getenv("TERM");
  struct winsize size = {};
  if (terminal == nullptr || strcmp(terminal, "dumb") == 0 ||
      ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0)
    return 0;
  return size.ws_col;
}

void set_stop_text(const char* text) {
  stop_length = 0;
  strcpy(stop_text, text);  // fits: each is one of ours
  stop_length = static_cast<sig_atomic_t>(strlen(text));
}

}  // namespace

bool start_terminal() {
  // Output is gathered in blocks; on a terminal each message is flushed.
  static char buffer[4096];
  setvbuf(stdout, buffer, _IOFBF, sizeof buffer);
  // A reader that went away must not end the run or change its status.
  signal(SIGPIPE, SIG_IGN);
  return isatty(STDOUT_FILENO) != 0;
}

bool errors_to_terminal() { return isatty(STDERR_FILENO) != 0; }

void write_to_terminal(const char* text) { fputs(text, stdout); }

unsigned open_progress_line(unsigned columns, unsigned min_columns) {
  fflush(stdout);
  set_stop_text("\r\n");  // before a note, a line end is all a stop writes
  unsigned width = terminal_width();
  if (width == 0) return 0;
  unsigned used = columns % width;
  bool filled = columns > 0 && used == 0;  // the next character goes to the next row
  unsigned left = width - used;
  place = left >= min_columns ? kBesideCursor : kNextRow;
  if (filled)
    note_setup = " \b\x1b" "7";
  else
    note_setup = place == kNextRow ? "\x1b" "D\x1b" "M\x1b" "7" : "\x1b" "7";
  stop_after_note = filled ? "\x1b" "8\x1b[J" : "\x1b" "8\x1b[J\r\n";
  return (place == kNextRow ? width : left) - 1;
}

void show_note(const char* note) {
  if (*note_setup != '\0') {
    put(note_setup);
    note_setup = "";
    set_stop_text(stop_after_note);
  }
  char text[128];
  size_t length = strlen(note);
  if (place == kNextRow)
    snprintf(text, sizeof text, "\x1b" "7\x1b" "D\r%s\x1b[K\x1b" "8", note);
  else if (length > 0)
    snprintf(text, sizeof text, "%s\x1b[K\x1b[%zuD", note, length);
  else
    snprintf(text, sizeof text, "\x1b[K");
  put(text);
}

void close_progress_line() {
  stop_length = 0;
  note_setup = "";
}

void end_line_on_stop() {
  if (stop_length == 0) return;
  // The terminal echoes the ^C that stopped the run as it sends the signal:
  // let it land first, so that it is cleared too.
  const struct timespec echo_time = {0, 50 * 1000 * 1000};
  nanosleep(&echo_time, nullptr);
  put(stop_text, static_cast<size_t>(stop_length));
  stop_length = 0;
}

double seconds_now() {
  struct timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

void finish_terminal() {}
