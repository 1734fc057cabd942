// The POSIX terminal layer on a pseudo-terminal as standard output, its
// screen rendered by pyte: where the note of an open progress message
// goes, that the screen ends as it would without it, and the line a stop
// ends.
#include "terminal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "sandbox.h"

namespace {

// A pseudo-terminal of columns columns as standard output while it lives;
// what is written to it is kept, byte for byte.
class TerminalOut {
 public:
  explicit TerminalOut(unsigned short columns) {
    if (!open_raw_terminal(&terminal_, &screen_)) return;
    struct winsize size = {24, columns, 0, 0};
    ioctl(screen_, TIOCSWINSZ, &size);
    fflush(stdout);
    saved_ = dup(STDOUT_FILENO);
    dup2(screen_, STDOUT_FILENO);
  }
  ~TerminalOut() {
    fflush(stdout);
    if (saved_ >= 0) dup2(saved_, STDOUT_FILENO), close(saved_);
    if (screen_ >= 0) close(screen_), close(terminal_);
  }
  TerminalOut(const TerminalOut&) = delete;
  TerminalOut& operator=(const TerminalOut&) = delete;

  void write(const std::string& text) {
    fflush(stdout);
    if (::write(STDOUT_FILENO, text.data(), text.size()) < 0) ADD_FAILURE() << "write";
  }
  // Everything written so far.
  const std::string& shown() {
    fflush(stdout);
    char buffer[4096];
    struct pollfd ready = {terminal_, POLLIN, 0};
    while (poll(&ready, 1, 50) > 0) {
      ssize_t got = read(terminal_, buffer, sizeof buffer);
      if (got <= 0) break;
      shown_.append(buffer, static_cast<size_t>(got));
    }
    return shown_;
  }

 private:
  int terminal_ = -1, screen_ = -1, saved_ = -1;
  std::string shown_;
};

// A progress message of columns columns, after fill lines of a screen 24
// rows high.
std::string message(unsigned columns, int fill) {
  std::string text;
  for (int i = 0; i < fill; ++i) text += "line " + std::to_string(i) + "\r\n";
  return text + std::string(columns - 3, 'm') + "...";
}

class TerminalPosix : public ::testing::Test {
 protected:
  void SetUp() override {
    if (render_screen("x", 10) != "x") GTEST_SKIP() << "no pyte (apt-get install python3-pyte)";
    const char* term = getenv("TERM");
    saved_term_ = term != nullptr ? term : "";
    had_term_ = term != nullptr;
    setenv("TERM", "xterm", 1);
  }
  void TearDown() override {
    had_term_ ? setenv("TERM", saved_term_.c_str(), 1) : unsetenv("TERM");
    close_progress_line();
  }
  std::string saved_term_;
  bool had_term_ = false;
};

// The note goes beside the message where at least five columns are left,
// and otherwise at the start of the next row, however the message wraps or
// wherever on the screen it stands; it never takes a row's last column,
// and the screen ends as it would without it.
TEST_F(TerminalPosix, NoteGoesWhereTheRowHasRoom) {
  const std::string note = " 37% 9.8 MB/s";
  const struct {
    unsigned columns;  // of the message
    unsigned short width;
    int fill;          // lines above it
    unsigned room;     // what open_progress_line gives the note
    int note_row;      // where the note is shown: 0 beside, 1 on the next row
  } cases[] = {
      {70, 80, 0, 9, 0},  {75, 80, 0, 4, 0},  {76, 80, 0, 79, 1}, {78, 80, 0, 79, 1},
      {79, 80, 0, 79, 1}, {80, 80, 0, 79, 1}, {78, 80, 23, 79, 1}, {80, 80, 23, 79, 1},
      {30, 80, 23, 49, 0}, {115, 40, 0, 4, 0}, {118, 40, 0, 39, 1}, {120, 40, 0, 39, 1},
      {120, 40, 22, 39, 1},
  };
  for (const auto& c : cases) {
    std::string what = std::to_string(c.columns) + " columns on " + std::to_string(c.width) +
                       ", " + std::to_string(c.fill) + " lines above";
    std::string plain = message(c.columns, c.fill) + "succeeded\r\nnext\r\n";
    std::string during, after;
    {
      TerminalOut out(c.width);
      out.write(message(c.columns, c.fill));
      EXPECT_EQ(open_progress_line(c.columns, 5), c.room) << what;
      show_note(c.room >= note.size() ? note.c_str() : " 37%");
      show_note(" 38%");
      during = render_screen(out.shown() + "X", c.width);
      show_note("");
      close_progress_line();
      out.write("succeeded\r\nnext\r\n");
      after = out.shown();
    }
    EXPECT_EQ(render_screen(after, c.width), render_screen(plain, c.width)) << what;
    // While the note shows, X stands where the cursor is: where the
    // message's next character goes.
    const char* pattern = c.columns % c.width == 0 ? "...\nX38%"
                          : c.note_row == 1        ? "...X\n 38%"
                                                   : "mm...X38%";
    EXPECT_NE(during.find(pattern), std::string::npos) << what << ":\n" << during;
  }
}

// A stop while the progress message stands open ends its line: the note,
// and the ^C that the terminal echoed into it, are cleared first.
TEST_F(TerminalPosix, StopEndsTheOpenLine) {
  const struct {
    unsigned columns;
    bool note;
    const char* echo;
    int fill;
  } cases[] = {
      {60, true, "^C", 0}, {60, false, "", 0},  {78, true, "^C", 0}, {79, true, "^C", 23},
      {80, true, "^C", 0}, {80, true, "^C", 23}, {60, true, "", 23},
  };
  for (const auto& c : cases) {
    std::string what = std::to_string(c.columns) + " columns, " + (c.note ? "a note" : "no note") +
                       ", " + std::to_string(c.fill) + " lines above";
    std::string shown;
    {
      TerminalOut out(80);
      out.write(message(c.columns, c.fill));
      open_progress_line(c.columns, 5);
      if (c.note) show_note(" 37% 9.8 MB/s");
      out.write(c.echo);
      end_line_on_stop();
      end_line_on_stop();  // once only
      out.write("$ ");
      shown = out.shown();
    }
    std::string expected = render_screen(message(c.columns, c.fill) + "\r\n$ ", 80);
    if (c.columns == 80) expected = render_screen(message(c.columns, c.fill) + "$ ", 80);
    EXPECT_EQ(render_screen(shown, 80), expected) << what;
  }
}

// Nothing is written for a quick copy, and with TERM=dumb no note is shown.
TEST_F(TerminalPosix, QuietWhereNoNoteIsShown) {
  TerminalOut out(80);
  out.write("abc...");
  EXPECT_EQ(open_progress_line(6, 5), 73u);
  close_progress_line();
  end_line_on_stop();
  setenv("TERM", "dumb", 1);
  EXPECT_EQ(open_progress_line(6, 5), 0u);
  close_progress_line();
  EXPECT_EQ(out.shown(), "abc...");
}

}  // namespace
