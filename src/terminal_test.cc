// What lisko shows a terminal: names in caret notation, the progress note
// beside a long copy, and the closing line on standard error. Each test
// runs the built lisko on a pseudo-terminal; pyte (Debian's python3-pyte)
// renders what a screen shows.
#include <fcntl.h>
#include <poll.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <thread>
#include <cstring>

#include "sandbox.h"

namespace fs = std::filesystem;

namespace {

const std::vector<std::string> kListToOut = {"list.m3u", "out/"};

// Everything lisko writes to a terminal (raw, so that its bytes arrive as
// they are written) when run with args in box.
std::string run_on_terminal(const Sandbox& box, const std::vector<std::string>& args,
                            unsigned short columns = 80, bool with_errors = false) {
  int terminal = -1;
  int screen = -1;
  if (!open_raw_terminal(&terminal, &screen)) ADD_FAILURE() << "no pty";
  struct winsize size = {24, columns, 0, 0};
  ioctl(screen, TIOCSWINSZ, &size);
  pid_t child = start_lisko(box / "", args, screen, false, with_errors ? screen : STDERR_FILENO);
  close(screen);
  std::string out;
  char buffer[256];
  for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) out.append(buffer, got);
  close(terminal);
  wait_for(child);
  return out;
}

TEST(Posix, ControlBytesOfNamesReachATerminalInCaretNotation) {
  Sandbox box(kInMemory);
  box.add({{"out/", ""}, {"list.m3u", "x\\\x1B[8mgo ne\a\t\x7F\xE9.mp3\r\n"},
           {"enc.xspf", "<?xml version=\"1.0\" encoding=\"\x1B[2J\"?><playlist/>"}});
  const std::string summary = "; nothing written in *\n";
  const struct {
    std::vector<std::string> args;
    std::string raw, shown;  // standard output alone; both on one terminal
  } cases[] = {
      {kListToOut,
       "Copying 'x\\\x1B[8mgo ne\a\t\x7F\xE9.mp3' to out/\x1B[8mgo ne\a\t\x7F\xE9.mp3...failed: "
       "No such file or directory\r\n",
       "Copying 'x\\^[[8mgo ne^G^I^?\xE9.mp3' to out/^[[8mgo ne^G^I^?\xE9.mp3...failed: "
       "No such file or directory\r\nlisko: 1 listed: 0 copied, 1 failed" + summary},
      {{"no\x1B.m3u", "out/"},
       "Couldn't open no\x1B.m3u.  Exiting LISKO.\r\n",
       "Couldn't open no^[.m3u.  Exiting LISKO.\r\nlisko: no^[.m3u: No such file or directory\n"},
      {{"enc.xspf", "out/"}, "Couldn't read enc.xspf.  Exiting LISKO.\r\n",
       "Couldn't read enc.xspf.  Exiting LISKO.\r\nlisko: enc.xspf: line 1: the playlist says it "
       "is in ^[[2J, which lisko does not read (save it as UTF-8)\nlisko: 0 listed: 0 copied" + summary},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(box.run(c.args).out, c.raw);
    std::string shown = run_on_terminal(box, c.args, 80, true);
    EXPECT_TRUE(matches(c.shown.c_str(), shown.c_str())) << shown;
  }
}

// The percentages of the notes in what a terminal was shown, in order.
std::vector<int> shares_shown(const std::string& shown) {
  std::vector<int> shares;
  for (size_t at = shown.find('%'); at != std::string::npos; at = shown.find('%', at + 1)) {
    size_t digits = shown.find_last_not_of("0123456789", at - 1) + 1;
    if (digits < at) shares.push_back(std::stoi(shown.substr(digits, at - digits)));
  }
  return shares;
}

// The entry of a song whose progress message, "Copying 'ENTRY' to
// out/NAME...", leaves left columns on its last row of a terminal columns
// wide (0: the message fills it to its last column), and takes rows rows.
std::string entry_leaving(int columns, int left, int rows = 1) {
  for (size_t length = 5;; ++length) {
    for (const char* folder : {"src/", "src//"}) {
      size_t used = strlen("Copying '' to out/...") + strlen(folder) + 2 * length;
      if (static_cast<int>(used % columns) == (columns - left) % columns &&
          used > static_cast<size_t>((rows - 1) * columns))
        return folder + std::string(length - 4, 'n') + ".mp3";
    }
  }
}

// On a terminal a slow copy shows how far it is, in the longest form that
// the line has room for, a few times within each piece, its share rising;
// a quick one shows nothing; and either way the screen ends exactly as it
// does where the terminal shows no such note (TERM=dumb), however narrow
// it is, however the message wraps, whatever characters it holds. A file
// gets no note.
TEST(Posix, ProgressOnATerminalLeavesTheScreenAsWithout) {
  Sandbox box(kInMemory);
  if (render_screen("x", 10) != "x") GTEST_SKIP() << "no pyte (apt-get install python3-pyte)";
  const char* slow_target = "copy_file_range:ENOSYS,sendfile:ENOSYS,write:slow";
  const struct {
    std::string entry;
    int columns;
    const char* seen;    // in the notes mid-copy
    const char* unseen;  // in none of them
    const char* faults = "copy_file_range:ENOSYS,sendfile:ENOSYS,write:slow";
    int size = 24 << 20;
  } cases[] = {
      {"src/bigsong.mp3", 80, " of ", nullptr},
      {"src/bigsong.mp3", 40, " MB/s", nullptr},
      {entry_leaving(80, 15), 80, " MB/s", " of "},
      {entry_leaving(80, 10), 80, "%", " MB/s"},
      // Too few columns left, or none: the note goes to the next row.
      {entry_leaving(80, 2), 80, " of ", nullptr},
      {entry_leaving(80, 1), 80, " of ", nullptr},
      {entry_leaving(80, 0), 80, " of ", nullptr},
      {entry_leaving(40, 0, 3), 40, " MB/s", nullptr},
      {entry_leaving(40, 15), 40, " MB/s", " of "},  // the message wraps
      {"src/\xF0\x9F\x9A\x80 Launch \xE2\x98\x94 Rain.mp3", 40, "%", nullptr},  // wide
      // A slow source: the note moves within the first piece of 8 MiB.
      {"src/bigsong.mp3", 80, " of ", nullptr, "copy_file_range:ENOSYS,sendfile:ENOSYS,read:slow",
       10 << 20},
      // A slow medium: the note moves while lisko waits for it.
      {"src/bigsong.mp3", 80, " of ", nullptr, "sync_file_range:slow"},
  };
  const char* old_term = getenv("TERM");
  std::string saved_term = old_term != nullptr ? old_term : "";
  for (const auto& c : cases) {
    preload_faults(c.faults);
    auto run_with_term = [&](const char* term) {
      fs::remove_all(box / "src");
      fs::remove_all(box / "out");
      box.add({{c.entry, std::string(c.size, 's')}, {"src/a.mp3", "A"}, {"out/", ""},
               {"list.m3u", c.entry + "\nsrc/a.mp3\n"}});
      setenv("TERM", term, 1);
      bool plain = strcmp(term, "dumb") == 0;  // no note: no need to wait for one
      if (plain) unsetenv("LD_PRELOAD");
      std::string out = run_on_terminal(box, kListToOut, static_cast<unsigned short>(c.columns));
      if (plain) preload_faults(c.faults);
      return out;
    };
    std::string shown = run_with_term("xterm");
    std::string plain = run_with_term("dumb");
    std::string what = c.entry + " at " + std::to_string(c.columns) + " columns";
    std::string notes = shown.substr(0, shown.find("succeeded"));
    EXPECT_NE(notes.find(c.seen), std::string::npos) << what << ": " << notes;
    if (c.unseen != nullptr) {
      EXPECT_EQ(notes.find(c.unseen), std::string::npos) << what << ": " << notes;
    }
    std::vector<int> shares = shares_shown(notes);
    EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end())) << what;
    EXPECT_GE(shares.size(), 2u) << what;
    if (c.size < (16 << 20)) {
      int first_piece = (8 << 20) * 100 / c.size;
      EXPECT_GE(std::count_if(shares.begin(), shares.end(),
                              [&](int share) { return share < first_piece; }),
                2)
          << what << ": the note moved less than twice in the first piece";
    }
    EXPECT_EQ(shown.find("%", shown.find("a.mp3...")), std::string::npos) << "a quick copy";
    EXPECT_EQ(plain.find("%"), std::string::npos);
    EXPECT_EQ(render_screen(shown, c.columns), render_screen(plain, c.columns)) << what;
  }
  fs::remove_all(box / "out");
  fs::create_directory(box / "out");
  preload_faults(slow_target);
  Result to_file = box.run(kListToOut);
  unsetenv("LD_PRELOAD");
  old_term != nullptr ? setenv("TERM", saved_term.c_str(), 1) : unsetenv("TERM");
  EXPECT_EQ(to_file.out.find("%"), std::string::npos);
}

// What tmux shows in its pane after running command in folder, on a
// screen columns wide, once the command has ended; "" where there is no
// tmux. The command's status and standard error are left in folder, as
// tmux.status and tmux.err, and its end is told by the status file, not
// by the screen. Each call has a server of its own.
std::string tmux_screen(const fs::path& folder, const std::string& command, int columns) {
  static int calls = 0;
  std::string socket = "lisko-test-" + std::to_string(getpid()) + "-" + std::to_string(++calls);
  std::string tmux = "tmux -L " + socket + " -f /dev/null ";
  fs::path status = folder / "tmux.status";
  fs::remove(status);
  std::string shell = "cd " + folder.string() + " && " + command +
                      " 2>tmux.err; echo $? >tmux.status.part; mv tmux.status.part tmux.status; sleep 60";
  if (!run_quietly(tmux + "new-session -d -s lisko -x " + std::to_string(columns) + " -y 24 '" +
                   shell + "'"))
    return "";
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!fs::exists(status) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));  // for tmux to take the last bytes in
  std::string screen;
  FILE* pane = popen((tmux + "capture-pane -p -t lisko 2>/dev/null").c_str(), "r");
  char buffer[256];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, pane)) > 0;) screen.append(buffer, got);
  pclose(pane);
  run_quietly(tmux + "kill-server");
  return screen;
}

// In a real terminal (tmux) too, a note that went beside the message or to
// the next row leaves the screen as it would be without it.
TEST(Posix, ProgressInTmuxLeavesTheScreenAsWithout) {
  if (!run_quietly("command -v tmux")) GTEST_SKIP() << "no tmux (apt-get install tmux)";
  const struct {
    std::string entry;
    int columns;
  } cases[] = {
      {entry_leaving(80, 2), 80}, {entry_leaving(80, 1), 80}, {entry_leaving(80, 0), 80},
      {entry_leaving(40, 2, 3), 40},
  };
  const std::string program = getenv("LISKO_PROGRAM") != nullptr ? getenv("LISKO_PROGRAM") : LISKO_PROGRAM;
  for (const auto& c : cases) {
    Sandbox box(kInMemory);
    box.add({{c.entry, std::string(24 << 20, 's')}, {"src/a.mp3", "A"}, {"out/", ""},
             {"list.m3u", c.entry + "\nsrc/a.mp3\n"}});
    // A sanitized lisko would refuse a library loaded before its runtime.
    std::string slow = "env TERM=xterm ASAN_OPTIONS=verify_asan_link_order=0 LD_PRELOAD=" +
                       std::string(LISKO_FAULT_SHIM) +
                       " LISKO_FAULTS=copy_file_range:ENOSYS,sendfile:ENOSYS,write:slow " + program;
    std::string shown = tmux_screen(box / "", slow + " list.m3u out/", c.columns);
    std::string how = "status " + read_file(box / "tmux.status") + read_file(box / "tmux.err");
    fs::remove_all(box / "out");
    fs::create_directory(box / "out");
    std::string plain = tmux_screen(box / "", "env TERM=dumb " + program + " list.m3u out/", c.columns);
    EXPECT_NE(shown.find("out/a.mp3..."), std::string::npos) << shown << how;
    EXPECT_EQ(shown, plain) << c.entry << " at " << c.columns << " columns, " << how;
  }
}

// Ctrl+C typed at the terminal mid-copy, while lisko reads a slow source
// and while it waits for a slow medium, stops the run, its temporary file
// gone and the earlier target kept, and leaves the screen as clean as the
// progress message's own line: its note, and the ^C the terminal echoed
// into it, are taken away, and the line is ended.
TEST(Posix, CtrlCAtTheTerminalLeavesACleanScreen) {
  if (render_screen("x", 10) != "x") GTEST_SKIP() << "no pyte (apt-get install python3-pyte)";
  const char* slow_source = "copy_file_range:ENOSYS,sendfile:ENOSYS,read:slow";
  const struct {
    const char* what;
    const char* faults;
    std::string entry;
  } cases[] = {
      {"reading a slow source", slow_source, "src/big.mp3"},
      {"waiting for a slow medium", "sync_file_range:slow", "src/big.mp3"},
      {"a message to the last column", "sync_file_range:slow", entry_leaving(80, 0)},
      {"too few columns beside the message", slow_source, entry_leaving(80, 2)},
  };
  const char* old_term = getenv("TERM");
  std::string saved_term = old_term != nullptr ? old_term : "";
  setenv("TERM", "xterm", 1);
  for (const auto& c : cases) {
    Sandbox box(kInMemory);
    std::string name = c.entry.substr(c.entry.rfind('/') + 1);
    box.add({{c.entry, std::string(24 << 20, 's')}, {"out/" + name, "earlier"},
             {"list.m3u", c.entry + "\n"}});
    preload_faults(c.faults);
    int terminal = -1;
    pid_t child = start_lisko_at_terminal(box / "", kListToOut, 80, &terminal);
    unsetenv("LD_PRELOAD");
    ASSERT_GT(child, 0) << "no pty";
    std::string shown;
    EXPECT_TRUE(read_terminal_until(terminal, &shown, "%")) << c.what << ": no note: " << shown;
    EXPECT_EQ(write(terminal, "\x03", 1), 1);
    read_terminal_until(terminal, &shown, nullptr);
    close(terminal);
    int wait_status = 0;
    wait_bounded(child, &wait_status);
    EXPECT_TRUE(WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == SIGINT) << c.what;
    std::string message = "Copying '" + c.entry + "' to out/" + name + "...";
    EXPECT_EQ(render_screen(shown, 80), render_screen(message + "\r\n", 80)) << c.what;
    EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{name}) << c.what;
    EXPECT_TRUE(read_file(box / ("out/" + name)) == "earlier") << c.what;
  }
  old_term != nullptr ? setenv("TERM", saved_term.c_str(), 1) : unsetenv("TERM");
}

// A terminal resized while a copy shows its note neither stops the run
// nor spoils the copy in flight.
TEST(Posix, TerminalResizedMidCopy) {
  Sandbox box(kInMemory);
  std::string song(24 << 20, '\0');
  for (size_t i = 0; i < song.size(); i += 4096) song[i] = static_cast<char>(i / 4096);
  box.add({{"src/big.mp3", song}, {"out/", ""}, {"list.m3u", "src/big.mp3\n"}});
  const char* old_term = getenv("TERM");
  std::string saved_term = old_term != nullptr ? old_term : "";
  setenv("TERM", "xterm", 1);
  preload_faults("copy_file_range:ENOSYS,sendfile:ENOSYS,write:slow");
  int terminal = -1;
  pid_t child = start_lisko_at_terminal(box / "", kListToOut, 80, &terminal);
  unsetenv("LD_PRELOAD");
  old_term != nullptr ? setenv("TERM", saved_term.c_str(), 1) : unsetenv("TERM");
  ASSERT_GT(child, 0) << "no pty";
  std::string shown;
  EXPECT_TRUE(read_terminal_until(terminal, &shown, "%")) << shown;
  struct winsize narrower = {24, 40, 0, 0};
  ioctl(terminal, TIOCSWINSZ, &narrower);  // the foreground program gets SIGWINCH
  read_terminal_until(terminal, &shown, nullptr);
  close(terminal);
  EXPECT_EQ(wait_for(child), 0);
  EXPECT_NE(shown.find("succeeded"), std::string::npos) << shown;
  EXPECT_TRUE(read_file(box / "out/big.mp3") == song);
}

// A terminal that goes away while a copy shows its note (its window
// closed) neither stops the run nor holds it up: the note's writes fail,
// and the copy goes on.
TEST(Posix, TerminalGoneMidCopy) {
  Sandbox box(kInMemory);
  box.add({{"src/big.mp3", std::string(24 << 20, 'b')}, {"src/a.mp3", "A"}, {"out/", ""},
           {"list.m3u", "src/big.mp3\nsrc/a.mp3\n"}});
  int terminal, screen;
  ASSERT_TRUE(open_raw_terminal(&terminal, &screen));
  struct winsize size = {24, 80, 0, 0};
  ioctl(screen, TIOCSWINSZ, &size);
  const char* old_term = getenv("TERM");
  std::string saved_term = old_term != nullptr ? old_term : "";
  setenv("TERM", "xterm", 1);
  preload_faults("copy_file_range:ENOSYS,sendfile:ENOSYS,write:slow");
  pid_t child = start_lisko(box / "", kListToOut, screen, false, screen);
  unsetenv("LD_PRELOAD");
  old_term != nullptr ? setenv("TERM", saved_term.c_str(), 1) : unsetenv("TERM");
  close(screen);
  std::string shown;
  EXPECT_TRUE(read_terminal_until(terminal, &shown, "%")) << shown;
  close(terminal);  // the terminal's window is closed
  EXPECT_EQ(wait_for(child), 0);
  EXPECT_TRUE(read_file(box / "out/big.mp3") == std::string(24 << 20, 'b'));
  EXPECT_EQ(read_file(box / "out/a.mp3"), "A");
}

// Whether names on standard error are shown as a terminal shows them
// follows where standard error goes, not standard output.
TEST(Posix, StandardErrorShowsNamesAsItsOwnTerminalWants) {
  Sandbox box(kInMemory);
  box.add({{"src/a.mp3", "A"}, {"list.m3u", "src/a.mp3\n"}});
  const std::string args_name = "no\x1b[2J.m3u";
  const std::string raw = "lisko: " + args_name + ": No such file or directory\n";
  const std::string shown = "lisko: no^[[2J.m3u: No such file or directory\n";
  for (bool errors_to_terminal : {true, false}) {
    int terminal, screen;
    ASSERT_TRUE(open_raw_terminal(&terminal, &screen));
    FILE* file = tmpfile();
    int out = errors_to_terminal ? fileno(file) : screen;
    int err = errors_to_terminal ? screen : fileno(file);
    pid_t child = start_lisko(box / "", {args_name, "out/"}, out, false, err);
    close(screen);
    std::string on_terminal;
    char buffer[256];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) on_terminal.append(buffer, got);
    close(terminal);
    EXPECT_EQ(wait_for(child), 2);
    std::string errors = errors_to_terminal ? on_terminal : read_file("/proc/self/fd/" + std::to_string(fileno(file)));
    fclose(file);
    EXPECT_EQ(errors, errors_to_terminal ? shown : raw) << errors_to_terminal;
  }
}

// Where standard error is a terminal, the run ends there with what it did.
TEST(Posix, SummaryOnATerminalSaysWhatTheRunDid) {
  const struct {
    std::string playlist;
    std::vector<std::string> args;
    const char* err;
    int status = 3;
  } cases[] = {
      {"src/a.mp3\nsrc/b.mp3\nsrc/gone.mp3\nsrc/" + std::string(1100, 'x') + "\n", kListToOut,
       "lisko: 4 listed: 1 copied, 1 already there, 1 failed, 1 skipped; 4 bytes written in *.* s\n"},
      {"src/c.mp3\nsrc/gone.mp3\n", {"list.m3u", "out"},
       "lisko: dest 'out' is a folder; the copies go beside it, as 'out' followed by each name. "
       "End dest with '/' to copy into it.\n"
       "lisko: 2 listed: 1 copied, 1 failed; 1 byte written in *.* s\n"
       "lisko: the copies went beside the folder 'out', not into it: end dest with '/' to copy "
       "into it\n"},
      {"src/k.mp3\nsrc/gone.mp3\n", kListToOut, "lisko: 2 listed: 1 copied, 1 failed; 1.0 kB written in *.* s\n"},
      {"src/b.mp3\n", kListToOut, "lisko: 1 listed: 0 copied, 1 already there; nothing written in *.* s\n",
       0},
      {"src/a.mp3\nsrc/c.mp3\nagain/a.mp3\nsrc/a.mp3\n", kListToOut,
       "lisko: out/a.mp3: the copy of 'again/a.mp3' replaced the copy of 'src/a.mp3' made earlier in "
       "this run (two entries with one name)\n"
       "lisko: out/a.mp3: the copy of 'src/a.mp3' replaced the copy of 'again/a.mp3' made earlier in "
       "this run (two entries with one name)\n"
       "lisko: 4 listed: 2 copied, 2 replaced by later entries with the same name; 18 bytes written "
       "in *.* s\n"},
      {"src/a.mp3\nagain/a.mp3\n", kListToOut,
       "lisko: out/a.mp3: the copy of 'again/a.mp3' replaced the copy of 'src/a.mp3' made earlier in "
       "this run (two entries with one name)\n"
       "lisko: 2 listed: 1 copied, 1 replaced by a later entry with the same name; 13 bytes written "
       "in *.* s\n"},
      {"src/c.mp3\nx/" + std::string(1020, 'n') + "\n", kListToOut,
       "lisko: 2 listed: 1 copied, 1 skipped; 1 byte written in *.* s\n"},
      // Where every copy went well beside the folder, the end need not say it again.
      {"src/c.mp3\n", {"list.m3u", "out"},
       "lisko: dest 'out' is a folder; the copies go beside it, as 'out' followed by each name. "
       "End dest with '/' to copy into it.\nlisko: 1 listed: 1 copied; 1 byte written in *.* s\n", 0},
  };
  for (const auto& c : cases) {
    Sandbox box(kInMemory);
    box.add({{"src/a.mp3", "AAAA"}, {"src/b.mp3", "BB"}, {"src/c.mp3", "C"}, {"out/b.mp3", "BB"},
             {"again/a.mp3", "aaaaaaaaa"},
             {"src/k.mp3", std::string(1000, 'k')}, {"list.m3u", c.playlist}});
    int terminal, screen;
    ASSERT_TRUE(open_raw_terminal(&terminal, &screen));
    int null = open("/dev/null", O_WRONLY);
    pid_t child = start_lisko(box / "", c.args, null, false, screen);
    close(null);
    close(screen);
    std::string err;
    char buffer[256];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) err.append(buffer, got);
    close(terminal);
    EXPECT_EQ(wait_for(child), c.status);
    EXPECT_TRUE(matches(c.err, err.c_str())) << err;
  }
}

}  // namespace
