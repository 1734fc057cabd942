// End to end, what only the Windows program meets, run under Wine: the
// console's Ctrl+C and key wait, drive letters, code pages and the names
// Windows will not keep.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "cases.h"

namespace fs = std::filesystem;

namespace {

// Wine turns SIGINT into the console's Ctrl+C. The copy in flight stops at
// once, long before its 2 GiB are copied: its temporary file is removed,
// the earlier target kept, and lisko.exe ends with the status of a program
// stopped so (0xC000013A, of which a POSIX parent sees the low byte).
TEST(Windows, CtrlCStopsACopyAtOnce) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows console";
  }
  Sandbox box;
  const std::uintmax_t size = std::uintmax_t{2} << 30;
  pid_t child = start_big_copy(box, size);
  kill(child, SIGINT);
  // The size the temporary file had when last seen, as it went.
  std::uintmax_t copied = 0;
  int wait_status = 0;
  pid_t ended = 0;
  for (int i = 0; i < 20000 && (ended = waitpid(child, &wait_status, WNOHANG)) == 0; ++i) {
    for (const auto& entry : fs::directory_iterator(box / "out")) {
      std::error_code gone;
      std::uintmax_t now = fs::file_size(entry.path(), gone);
      if (!gone && entry.path().filename() != "big.mp3") copied = now;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (ended != child) wait_bounded(child, &wait_status);  // 100 s gone: it fails
  EXPECT_TRUE(WIFEXITED(wait_status) && WEXITSTATUS(wait_status) == 0x3A);
  EXPECT_LT(copied, size) << "the copy went on to its end";
  EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
  EXPECT_EQ(read_file(box / "out/big.mp3"), "earlier");
}

// The console layer's own rows (terminal_windows_test.cc, built beside
// lisko.exe), on a pseudo-terminal that Wine makes a console: the note's
// place at each column left, its erasure, the line a stop ends, the
// copy's progress routine, which Wine's CopyFileEx never calls mid-copy,
// and the end awaiting no key on a console shared with explorer.exe.
TEST(Windows, ConsoleLayerRows) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows console";
  }
  Sandbox box;
  const std::string program = getenv("LISKO_PROGRAM");
  setenv("LISKO_PROGRAM", (fs::path(program).parent_path() / "terminal_windows_test.exe").c_str(), 1);
  int terminal = -1;
  pid_t child = start_lisko_at_terminal(box / "", {"rows.txt"}, 80, &terminal);
  setenv("LISKO_PROGRAM", program.c_str(), 1);
  std::string shown;
  read_terminal_until(terminal, &shown, nullptr);
  close(terminal);
  int status = wait_for(child);
  std::string rows = read_file(box / "rows.txt");
  EXPECT_EQ(status, 0) << rows;
  EXPECT_EQ(rows, "0 failed\n");
}

// Ctrl+C typed at a terminal, which Wine makes the console's, during a
// copy: the copy stops, the earlier target kept, and the line is ended
// before lisko.exe ends.
TEST(Windows, CtrlCAtATerminalEndsTheLine) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows console";
  }
  if (render_screen("x", 10) != "x") GTEST_SKIP() << "no pyte (apt-get install python3-pyte)";
  Sandbox box;
  box.add({{"src/big.mp3", ""}, {"out/big.mp3", "earlier"}, {"list.m3u", "src\\big.mp3\r\n"}});
  fs::resize_file(box / "src/big.mp3", std::uintmax_t{4} << 30);  // sparse: quick to make
  int terminal = -1;
  pid_t child = start_lisko_at_terminal(box / "", kListToOut, 80, &terminal);
  ASSERT_GT(child, 0) << "no pty";
  std::string shown;  // Wine writes to a terminal in escape sequences of its own
  bool copying = false;
  for (int i = 0; i < 2000 && !copying; ++i) {  // 20 s at most
    copying = names_in(box / "out").size() > 1;
    if (!copying) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  EXPECT_TRUE(copying) << "no temporary file appeared";
  EXPECT_EQ(write(terminal, "\x03", 1), 1);
  read_terminal_until(terminal, &shown, nullptr);
  close(terminal);
  EXPECT_EQ(wait_for(child), 0x3A);
  // The next that the terminal writes stands at the start of a row of its own.
  std::string screen = render_screen(shown + "$", 80);
  EXPECT_NE(screen.find("Copying 'src\\big.mp3' to out/big.mp3..."), std::string::npos) << screen;
  EXPECT_NE(screen.find("\n$"), std::string::npos) << screen;
  EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
  EXPECT_EQ(read_file(box / "out/big.mp3"), "earlier");
}

// Windows's own names, run only against the Windows program.
TEST(Windows, DriveLetterAndForwardSlashes) {
  if (!under_wine()) {
    GTEST_SKIP() << "Windows names";
  }
  Sandbox box;  // Wine shows the root of the Unix file system as Z:
  std::string folder = "Z:" + (box / "").string();
  std::string entry = "Z:" + (box / "src/a.mp3").string();
  for (char& c : entry) c = c == '/' ? '\\' : c;
  box.add({{"src/a.mp3", "A"}, {"out/", ""}, {"list.m3u", entry + "\r\n"}});
  Result result = box.run({"list.m3u", folder + "out/"});
  EXPECT_EQ(result.out, "Copying '" + entry + "' to " + folder + "out/a.mp3...succeeded\r\n");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(read_file(box / "out/a.mp3"), "A");
}

// The names of today's Windows playlists: UTF-8 beside code-page bytes (the
// code page here is 1252), forward slashes, and names that Windows would
// not keep as files in dest's folder.
TEST(Windows, NamesOfTodaysPlaylists) {
  if (!under_wine()) {
    GTEST_SKIP() << "Windows names";
  }
  const Files music = {{"src/a.mp3", "A"},
                       {"src/\xC3\xA9t\xC3\xA9.mp3", "E"},
                       {"Bj\xC3\xB6rk/J\xC3\xB3ga.mp3", "J"},
                       {"\xE6\x9B\xB2/\xE6\x97\xA5.mp3", "N"},
                       {"out/", ""},
                       {"\xE6\x97\xA5/", ""}};
  const std::string refused =
      "src\\nul.mp3\nsrc\\AUX\nsrc\\Con .ogg\nsrc\\com1.txt\n"
      "src\\conout$\nsrc\\a.mp3.\nsrc\\a.mp3 \nsrc\\CON .mp3\nsrc\\lpt\xB2.txt\n";
  std::string skipped;
  for (const char* name : {"nul.mp3", "AUX", "Con .ogg", "com1.txt", "conout$", "a.mp3.", "a.mp3 ",
                           "CON .mp3", "lpt\xB2.txt"})
    skipped += std::string("Skipping 'src\\") + name + kNotAName;
  Files look_alikes = {{"out/", ""}}, look_alike_copies;
  std::string look_alike_list, look_alikes_copied;
  for (const char* name : {"Come Together.mp3", "Comet", "COM10.mp3", "Lpt", "Console.mp3",
                           "Auxiliary", "Nullify.mp3", "Prince.mp3", "COM.mp3"}) {
    look_alikes[std::string("src/") + name] = name;
    look_alike_copies[std::string("out/") + name] = name;
    look_alike_list += std::string("src\\") + name + "\r\n";
    look_alikes_copied += std::string("Copying 'src\\") + name + "' to out/" + name + "...succeeded\r\n";
  }
  // clang-format off
  const Case cases[] = {
      {"UTF-8 names beside a code-page line", music,
       "Bj\xC3\xB6rk\\J\xC3\xB3ga.mp3\r\n\xE6\x9B\xB2\\\xE6\x97\xA5.mp3\r\nsrc\\\xE9t\xE9.mp3\r\n",
       kListToOut,
       "Copying 'Bj\xC3\xB6rk\\J\xC3\xB3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n"
       "Copying '\xE6\x9B\xB2\\\xE6\x97\xA5.mp3' to out/\xE6\x97\xA5.mp3...succeeded\r\n"
       "Copying 'src\\\xE9t\xE9.mp3' to out/\xE9t\xE9.mp3...succeeded\r\n", 0,
       {{"out/J\xC3\xB3ga.mp3", "J"}, {"out/\xE6\x97\xA5.mp3", "N"}, {"out/\xC3\xA9t\xC3\xA9.mp3", "E"}}},
      {"a dest the code page cannot spell", music,
       "src\\a.mp3\r\nBj\xC3\xB6rk\\J\xC3\xB3ga.mp3\r\n", {"list.m3u", "\xE6\x97\xA5/"},
       "Copying 'src\\a.mp3' to ?/a.mp3...succeeded\r\n"
       "Copying 'Bj\xC3\xB6rk\\J\xC3\xB3ga.mp3' to \xE6\x97\xA5/J\xC3\xB3ga.mp3...succeeded\r\n", 0,
       {{"\xE6\x97\xA5/a.mp3", "A"}, {"\xE6\x97\xA5/J\xC3\xB3ga.mp3", "J"}}},
      {"forward slashes", music, "src/a.mp3\r\nsrc\\../Bj\xC3\xB6rk/J\xC3\xB3ga.mp3\r\n",
       kListToOut,
       "Copying 'src/a.mp3' to out/a.mp3...succeeded\r\n"
       "Copying 'src\\../Bj\xC3\xB6rk/J\xC3\xB3ga.mp3' to out/J\xC3\xB3ga.mp3...succeeded\r\n", 0,
       {{"out/a.mp3", "A"}, {"out/J\xC3\xB3ga.mp3", "J"}}},
      {"devices, and names ending in a dot or a blank", music, refused, kListToOut, skipped, 3, {}},
      {"names that only begin like a device's are songs", look_alikes, look_alike_list,
       kListToOut, look_alikes_copied, 0, look_alike_copies},
      {"COM and LPT with a superscript digit are devices too", music,
       "src\\COM\xB9.mp3\nsrc\\LPT\xB3.mp3\nsrc\\com\xB2\n", kListToOut,
       "Skipping 'src\\COM\xB9.mp3" + kNotAName + "Skipping 'src\\LPT\xB3.mp3" + kNotAName +
       "Skipping 'src\\com\xB2" + kNotAName, 3, {}},
      {"dest's last part joined with the name part into a device", music, "src\\N.mp3\n",
       {"list.m3u", "out\\CO"}, "Skipping 'src\\N.mp3" + kNotAName, 3, {}},
      {"dest's last part joined with the name part into a stream", music, "src\\N.mp3\n",
       {"list.m3u", "out\\a.mp3:"}, "Skipping 'src\\N.mp3" + kNotAName, 3, {}},
      {"a hidden target is refused, as CopyFileA refuses it (Wine hides dot files)",
       {{"src/.h.mp3", "new"}, {"out/.h.mp3", "old"}}, "src\\.h.mp3\r\n", kListToOut,
       "Copying 'src\\.h.mp3' to out/.h.mp3...failed: *\r\n", 3, {}},
      {"a name Windows refuses: no other folder would hold it, so none is named",
       {{"music/mix.m3u", "Al<bum\\a.mp3\r\n"}, {"out/", ""}}, "", {"music/mix.m3u", "out/"},
       "Copying 'Al<bum\\a.mp3' to out/a.mp3...failed: Invalid name.\r\n", 3, {}},
      {"a bare drive as dest: the copies go into its current folder", music, "src\\a.mp3\r\n",
       {"list.m3u", "Z:"}, "Copying 'src\\a.mp3' to Z:a.mp3...succeeded\r\n", 0, {{"a.mp3", "A"}}},
      {"a file: URL with a drive letter", music, "file:///Z:{box}/src/a.mp3\r\n", kListToOut,
       "Copying 'file:///Z:{box}/src/a.mp3' to out/a.mp3...succeeded\r\n", 0, {{"out/a.mp3", "A"}}},
  };
  // clang-format on
  for (const Case& c : cases) check(c);

  // cmd reads "E:\My Music\" as E:\My Music": lisko says how to write it,
  // in the forms that copy into the folder: without quotes only where the
  // name has no blank.
  Sandbox box;
  box.add({{"src/a.mp3", "A"}, {"list.m3u", "src\\a.mp3\r\n"}});
  const std::string swallowed = "' ends with a quote: the command line read the backslash before it "
                                "as part of the quote. Write ";
  Result result = box.run({"list.m3u", "my out\""});
  EXPECT_NE(result.err.find("lisko: dest 'my out\"" + swallowed + "\"my out\\\\\" to copy into "
                            "the folder.\r\n"),
            std::string::npos)
      << result.err;
  result = box.run({"list.m3u", "out\""});
  EXPECT_NE(result.err.find("lisko: dest 'out\"" + swallowed + "\"out\\\\\" or out\\ to copy into "
                            "the folder.\r\n"),
            std::string::npos)
      << result.err;
  // Into one file (2>&1), what is said before the first copy comes first.
  int both = open((box / "both.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  wait_for(start_lisko(box / "", {"list.m3u", "out\""}, both, false, both));
  close(both);
  EXPECT_EQ(read_file(box / "both.txt").find("lisko: dest"), 0u) << read_file(box / "both.txt");

  // A bare drive, and a drive before a prefix or a folder, name that
  // drive's current folder or one in it: it is there, so nothing warns
  // that it is missing.
  for (const char* dest : {"Z:", "Z:mix-", "Z:out\\mix-"}) {
    Sandbox drive;
    drive.add({{"src/a.mp3", "A"}, {"out/", ""}, {"list.m3u", "src\\a.mp3\r\n"}});
    result = drive.run({"list.m3u", dest});
    EXPECT_EQ(result.err, "") << dest;
    EXPECT_EQ(result.status, 0) << dest;
  }

  // Names that differ only in the case of a letter beyond ASCII are one
  // file to Windows: the second copy replaces the first, and lisko says so.
  Sandbox cased;
  cased.add({{"src/\xC3\xA9t\xC3\xA9.mp3", "e"}, {"up/\xC3\x89T\xC3\x89.mp3", "E"}, {"out/", ""},
             {"list.m3u", "src\\\xC3\xA9t\xC3\xA9.mp3\nup\\\xC3\x89T\xC3\x89.mp3\n"}});
  result = cased.run(kListToOut);
  EXPECT_EQ(result.err,
            "lisko: out/\xC3\x89T\xC3\x89.mp3: the copy of 'up\\\xC3\x89T\xC3\x89.mp3' replaced the "
            "copy of 'src\\\xC3\xA9t\xC3\xA9.mp3' made earlier in this run (two entries with one name)\r\n");
  EXPECT_EQ(read_file(cased / "out/\xC3\xA9t\xC3\xA9.mp3"), "E");
}

// A source rewritten at its size while lisko.exe copies it: the copy
// fails, saying so, and the earlier target stays as it was.
TEST(Windows, SourceRewrittenDuringItsCopyFails) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows copy";
  }
  Sandbox box;
  box.add({{"src/big.mp3", ""}, {"out/big.mp3", "earlier"}, {"list.m3u", "src\\big.mp3\r\n"}});
  fs::resize_file(box / "src/big.mp3", std::uintmax_t{1} << 30);  // sparse: quick to make
  FILE* out = tmpfile();
  pid_t child = start_lisko(box / "", kListToOut, fileno(out));
  bool copying = false;
  for (int i = 0; i < 2000 && !copying; ++i) {  // 20 s at most
    copying = names_in(box / "out").size() > 1;
    if (!copying) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  int source = open((box / "src/big.mp3").c_str(), O_WRONLY);
  EXPECT_EQ(pwrite(source, "new!", 4, 0), 4);
  close(source);
  EXPECT_EQ(wait_for(child), 3);
  EXPECT_TRUE(copying) << "no temporary file appeared";
  EXPECT_EQ(read_file("/proc/self/fd/" + std::to_string(fileno(out))),
            "Copying 'src\\big.mp3' to out/big.mp3...failed: the source changed while it was "
            "copied\r\n");
  fclose(out);
  EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
  EXPECT_EQ(read_file(box / "out/big.mp3"), "earlier");
}

// lisko.exe waits for a key only after a double click (Explorer started
// it in a console of its own): run from a terminal under Wine, as scripts
// run it, it ends at once.
TEST(Windows, NoKeyIsWaitedForOutsideADoubleClick) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows console";
  }
  Sandbox box;
  int terminal, screen;
  ASSERT_TRUE(open_raw_terminal(&terminal, &screen));
  int saved_input = dup(STDIN_FILENO);
  dup2(screen, STDIN_FILENO);  // inherited by lisko.exe: the console's keyboard
  pid_t child = start_lisko(box / "", {}, screen);
  dup2(saved_input, STDIN_FILENO);
  close(saved_input);
  close(screen);
  EXPECT_EQ(wait_for(child), 1);  // bounded: a wait for a key fails here
  std::string shown;
  char buffer[256];
  struct pollfd ready = {terminal, POLLIN, 0};
  for (ssize_t got; poll(&ready, 1, 100) > 0 && (got = read(terminal, buffer, sizeof buffer)) > 0;)
    shown.append(buffer, static_cast<size_t>(got));
  EXPECT_EQ(shown.find("Press any key"), std::string::npos) << shown;
  close(terminal);
}

// Ctrl+C while lisko.exe compares a target with its source (no copy in
// flight) ends it as Windows ends a console program so, the target as it
// was.
TEST(Windows, CtrlCDuringAComparisonEndsTheRun) {
  if (!under_wine()) {
    GTEST_SKIP() << "the Windows console";
  }
  Sandbox box;
  box.add({{"src/big.mp3", ""}, {"out/big.mp3", ""}, {"list.m3u", "src\\big.mp3\r\n"}});
  fs::resize_file(box / "src/big.mp3", std::uintmax_t{1} << 30);  // sparse: quick to make
  fs::resize_file(box / "out/big.mp3", std::uintmax_t{1} << 30);
  int null = open("/dev/null", O_WRONLY);
  pid_t child = start_lisko(box / "", {"list.m3u", "out/"}, null);
  close(null);
  std::string io = "/proc/" + std::to_string(child) + "/io";
  auto read_so_far = [&] {
    std::string text = read_file(io);
    size_t at = text.find("rchar: ");
    return at == std::string::npos ? 0ull : std::stoull(text.substr(at + 7));
  };
  for (int i = 0; i < 1000 && read_so_far() < (64u << 20); ++i)  // 10 s at most
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  kill(child, SIGINT);
  EXPECT_EQ(wait_for(child), 0x3A);
  EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
  EXPECT_EQ(fs::file_size(box / "out/big.mp3"), std::uintmax_t{1} << 30);
}

// In the double-byte code pages the second byte of many characters is a
// backslash (0x5C). Wine takes the code page from the locale: 932 here.
TEST(Windows, DoubleByteCodePage) {
  if (!under_wine()) {
    GTEST_SKIP() << "Windows names";
  }
  Sandbox locales;
  std::string make = "localedef -i ja_JP -f UTF-8 " + (locales / "ja_JP.UTF-8").string();
  if (system((make + " >/dev/null 2>&1").c_str()) != 0) {
    GTEST_SKIP() << "skipped: no ja_JP locale could be made (apt-get install locales)";
  }
  const char* was = getenv("LC_ALL");
  std::string old_locale = was != nullptr ? was : "C.UTF-8";
  setenv("LOCPATH", (locales / "").c_str(), 1);
  setenv("LC_ALL", "ja_JP.UTF-8", 1);
  // 表 is 95 5C, ソ is 83 5C; the half-width ﾃｽ is C3 BD, which is UTF-8 too.
  const Case c = {"a trail byte is no separator",
                  {{"m/\xE8\xA1\xA8"
                    "a.mp3",
                    "1"},
                   {"m/\xE3\x82\xBD"
                    "a.mp3",
                    "2"},
                   {"m/\xEF\xBE\x83\xEF\xBD\xBD.mp3", "3"},
                   {"out/", ""}},
                  "m\\\x95\\a.mp3\r\nm\\\x83\\a.mp3\r\nm\\\xC3\xBD.mp3\r\n",
                  kListToOut,
                  "Copying 'm\\\x95\\a.mp3' to out/\x95\\a.mp3...succeeded\r\n"
                  "Copying 'm\\\x83\\a.mp3' to out/\x83\\a.mp3...succeeded\r\n"
                  "Copying 'm\\\xC3\xBD.mp3' to out/\xC3\xBD.mp3...succeeded\r\n",
                  0,
                  {{"out/\xE8\xA1\xA8"
                    "a.mp3",
                    "1"},
                   {"out/\xE3\x82\xBD"
                    "a.mp3",
                    "2"},
                   {"out/\xEF\xBE\x83\xEF\xBD\xBD.mp3", "3"}}};
  check(c);
  setenv("LC_ALL", old_locale.c_str(), 1);
  unsetenv("LOCPATH");
}

}  // namespace
