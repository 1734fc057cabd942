// What lisko shows a terminal: names in caret notation, the progress note
// beside a long copy, and the closing line on standard error. Each test
// runs the built lisko on a pseudo-terminal; pyte (Debian's python3-pyte)
// renders what a screen shows.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
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
  Sandbox box;
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

// The screen a terminal of columns columns shows after bytes, rendered by
// pyte (Debian's python3-pyte), or "" where it cannot be.
std::string render(const Sandbox& box, const std::string& bytes, int columns) {
  write_file(box / "screen.bytes", bytes);
  std::string command =
      "/usr/bin/python3 -c 'import sys, pyte\n"
      "screen = pyte.Screen(int(sys.argv[1]), 24)\n"
      "pyte.ByteStream(screen).feed(open(sys.argv[2], \"rb\").read())\n"
      "sys.stdout.write(\"\\n\".join(line.rstrip() for line in screen.display).rstrip())' " +
      std::to_string(columns) + " " + (box / "screen.bytes").string() + " 2>/dev/null";
  FILE* renderer = popen(command.c_str(), "r");
  std::string screen;
  char buffer[256];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, renderer)) > 0;)
    screen.append(buffer, got);
  return pclose(renderer) == 0 ? screen : "";
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
// out/NAME...", leaves left columns on its last line of a terminal columns
// wide.
std::string entry_leaving(int columns, int left) {
  for (size_t length = 1;; ++length) {
    for (const char* folder : {"src/", "src//"}) {
      size_t used = strlen("Copying '' to out/...") + strlen(folder) + 2 * length;
      if (static_cast<int>(used % columns) == columns - left)
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
  Sandbox box;
  if (render(box, "x", 10) != "x") GTEST_SKIP() << "no pyte (apt-get install python3-pyte)";
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
      {entry_leaving(40, 15), 40, " MB/s", " of "},  // the message wraps
      {"src/\xF0\x9F\x9A\x80 Launch \xE2\x98\x94 Rain.mp3", 40, "%", nullptr},  // wide
      // A slow source: the note moves within the first piece of 8 MiB.
      {"src/bigsong.mp3", 80, " of ", nullptr, "copy_file_range:ENOSYS,sendfile:ENOSYS,read:slow",
       10 << 20},
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
      return run_on_terminal(box, kListToOut, static_cast<unsigned short>(c.columns));
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
    EXPECT_EQ(render(box, shown, c.columns), render(box, plain, c.columns)) << what;
  }
  fs::remove_all(box / "out");
  fs::create_directory(box / "out");
  preload_faults(slow_target);
  Result to_file = box.run(kListToOut);
  unsetenv("LD_PRELOAD");
  old_term != nullptr ? setenv("TERM", saved_term.c_str(), 1) : unsetenv("TERM");
  EXPECT_EQ(to_file.out.find("%"), std::string::npos);
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

  };
  for (const auto& c : cases) {
    Sandbox box;
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
