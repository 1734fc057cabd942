// Faults during a copy, on POSIX systems: whatever happens, the earlier
// target stays whole and no temporary file is left behind. (The full stick
// and Ctrl+C, tried under Wine too, are end-to-end tests.)
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "sandbox.h"

namespace fs = std::filesystem;

namespace {

// Output to a terminal is written message by message; with the terminal's
// output suspended, lisko waits at its progress message, after reading the
// entry and before copying it. The source changes there. (tcflow acts at
// once; a ^S typed at the terminal reaches the line discipline later.)
TEST(Faults, SourceDeletedOrReplacedAfterTheProgressMessage) {
  struct Case {
    const char* what;
    bool replace;
    std::string out;
    int status;
    std::string target;
  } cases[] = {
      {"deleted", false,
       "Copying 'src\\a.mp3' to out/a.mp3...failed: No such file or directory\r\n", 3, "earlier"},
      {"replaced", true, "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n", 0, "new"},
  };
  for (const Case& c : cases) {
    Sandbox box;
    box.add({{"src/a.mp3", "old"}, {"out/a.mp3", "earlier"}, {"list.m3u", "src\\a.mp3\r\n"}});
    int terminal, screen;
    ASSERT_TRUE(open_raw_terminal(&terminal, &screen));
    ASSERT_EQ(tcflow(screen, TCOOFF), 0);

    pid_t child = start_lisko(box / "", {"list.m3u", "out/"}, screen);
    std::string syscall_file = "/proc/" + std::to_string(child) + "/syscall";
    std::string writing = std::to_string(SYS_write) + " 0x1 ";
    bool waiting = false;
    for (int i = 0; i < 10000 && !waiting; ++i) {
      waiting = read_file(syscall_file).rfind(writing, 0) == 0;
      if (!waiting) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(waiting) << "lisko never waited at its progress message";
    if (c.replace) {
      write_file(box / "src/new.mp3", "new");
      fs::rename(box / "src/new.mp3", box / "src/a.mp3");
    } else {
      fs::remove(box / "src/a.mp3");
    }
    ASSERT_EQ(tcflow(screen, TCOON), 0);
    close(screen);

    std::string out;
    char buffer[256];
    for (ssize_t got; (got = read(terminal, buffer, sizeof buffer)) > 0;) out.append(buffer, got);
    close(terminal);
    EXPECT_EQ(wait_for(child), c.status) << c.what;
    EXPECT_EQ(out, c.out) << c.what;
    EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"a.mp3"}) << c.what;
    EXPECT_EQ(read_file(box / "out/a.mp3"), c.target) << c.what;
  }
}

TEST(Faults, SignalDuringACopyRemovesItsTemporaryFile) {
  for (int signal_number :
       {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGRTMIN + 1}) {
    Sandbox box;
    pid_t child = start_big_copy(box);
    kill(child, signal_number);
    int wait_status = 0;
    wait_bounded(child, &wait_status);
    EXPECT_TRUE(WIFSIGNALED(wait_status) && WTERMSIG(wait_status) == signal_number)
        << strsignal(signal_number);
    EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
    EXPECT_EQ(read_file(box / "out/big.mp3"), "earlier");
  }
}

// Failures of the medium and the kernel, made by a preloaded library: the
// copy counts where the content is whole, fails where it is not, and a
// failed copy leaves the earlier target and no temporary file.
TEST(Faults, InjectedFailures) {
  // Larger than a piece written behind, and no two positions alike.
  std::string source((1 << 20) + 4099, '\0');
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<char>(i * 7 + i / 251);
  const std::string copied = "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n";
  const std::string failed = "Copying 'src\\a.mp3' to out/a.mp3...failed: ";
  const std::string not_out = "Couldn't write the copies out to their medium: ";
  const std::string no_room =
      "no room for the new copy beside the old one (No space left on device)\r\n";
  const std::string target_failed = failed + "the target's medium failed to take the copy (";
  const struct {
    const char* faults;
    std::string out;
    int status;
    std::string target;
  } cases[] = {
      {"fchmod:EPERM,futimens:EPERM", copied, 0, source},
      {"fchmod:ENOSYS,futimens:EINVAL", copied, 0, source},
      {"copy_file_range:EXDEV", copied, 0, source},
      {"copy_file_range:ENOSYS,write:ENOSPC:0", copied, 0, source},  // sendfile writes no write()
      {"fstat:short", target_failed + "Input/output error)\r\n", 3, "earlier"},
      {"copy_file_range:ENOSYS,sendfile:EINVAL,write:short", copied, 0, source},
      {"copy_file_range:ENOSYS,sendfile:ENOSYS,pread:EINTR", copied, 0, source},  // read again
      {"copy_file_range:ENOSYS,sendfile:ENOSYS,write:ENOSPC:65536", failed + no_room, 3, "earlier"},
      {"copy_file_range:ENOSPC", failed + no_room, 3, "earlier"},
      {"copy_file_range:ENOSYS,sendfile:EPERM", target_failed + "Operation not permitted)\r\n", 3,
       "earlier"},
      // An error the kernel's copy gives for either side: the next way tells which.
      {"copy_file_range:EIO,sendfile:EIO", copied, 0, source},
      {"copy_file_range:EIO,sendfile:EIO,pread:EIO", failed + "Input/output error\r\n", 3, "earlier"},
      {"fdatasync:EIO", target_failed + "Input/output error)\r\n", 3, "earlier"},
      {"fchmod:EIO", target_failed + "Input/output error)\r\n", 3, "earlier"},
      {"close:EIO", target_failed + "Input/output error)\r\n", 3, "earlier"},
      {"sync_file_range:EIO", target_failed + "Input/output error)\r\n", 3, "earlier"},
      {"syncfs:EIO", copied + not_out + "Input/output error.\r\n", 3, source},
      {"syncfs:late", copied, 0, source},
      {"copy_file_range:grow", failed + "the source changed while it was copied\r\n", 3, "earlier"},
      {"copy_file_range:shrink", failed + "the source changed while it was copied\r\n", 3,
       "earlier"},
      {"copy_file_range:ENOSYS,sendfile:shrink", failed + "the source changed while it was copied\r\n",
       3, "earlier"},
      {"fopen:EIO:11,syncfs:EIO",  // the playlist's second line cannot be read: 2 wins
       copied + "Couldn't read list.m3u.  Exiting LISKO.\r\n" + not_out + "Input/output error.\r\n",
       2, source},
  };
  for (const auto& c : cases) {
    Sandbox box;
    box.add({{"src/a.mp3", source}, {"out/a.mp3", "earlier"}, {"list.m3u", "src\\a.mp3\r\n"}});
    Result result = run_with_faults(box, c.faults);
    EXPECT_EQ(result.out, c.out) << c.faults;
    EXPECT_EQ(result.status, c.status) << c.faults;
    EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"a.mp3"}) << c.faults;
    EXPECT_TRUE(read_file(box / "out/a.mp3") == c.target) << c.faults;
  }

  // Where nothing stood at the target, on a file system that holds every
  // name (the sandbox's), a refusal to put the copy in place is no word of
  // names.
  Sandbox fresh;
  fresh.add({{"src/a.mp3", "A"}, {"out/", ""}, {"list.m3u", "src\\a.mp3\r\n"}});
  Result refused = run_with_faults(fresh, "linkat:EPERM,renameat:EPERM");
  EXPECT_EQ(refused.out,
            failed + "the system will not let lisko make the target (Operation not permitted)\r\n");
}

// A fresh copy is written into an unnamed file and linked in place: no
// other name is made. Where the link fails (no way to link one here, or
// another program made the name meanwhile), the copy is made again from
// the source's first byte by a temporary name; a name made meanwhile is a
// target like any other, its data kept until the copy is on the medium.
TEST(Faults, FreshCopyWhoseLinkFailsIsWholeAllTheSame) {
  std::string big((3 << 20) + 5, '\0');
  for (size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13 + i / 4093);
  const std::string copied =
      "Copying 'src\\big.mp3' to out/big.mp3...succeeded\r\n"
      "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n";
  const struct {
    const char* faults;
    size_t temporary_names;  // of all the names made
    bool as_other_user;      // without CAP_DAC_READ_SEARCH: the link goes through /proc
  } cases[] = {{"", 0, false}, {"", 0, true}, {"linkat:noempty", 0, false},
               {"linkat:EPERM", 2, false}, {"linkat:taken,renameat:strict", 2, false}};
  for (const auto& c : cases) {
    const char* faults = c.faults;
    if (c.as_other_user && geteuid() != 0) continue;  // only root runs a case as nobody
    Sandbox box;
    box.add({{"src/big.mp3", big}, {"src/a.mp3", "A"}, {"out/", ""},
             {"list.m3u", "src\\big.mp3\r\nsrc\\a.mp3\r\n"}});
    chmod((box / "out").c_str(), 0777);
    Result result;
    std::vector<std::string> made =
        names_made(box / "out", [&] { result = run_with_faults(box, faults, c.as_other_user); });
    size_t temporary = static_cast<size_t>(std::count_if(
        made.begin(), made.end(), [](const std::string& name) { return name.rfind(".lisko-", 0) == 0; }));
    EXPECT_EQ(temporary, c.temporary_names) << faults;
    EXPECT_EQ(result.out, copied) << faults;
    EXPECT_EQ(result.err, "") << faults;
    EXPECT_EQ(result.status, 0) << faults;
    EXPECT_EQ(names_in(box / "out"), (std::vector<std::string>{"a.mp3", "big.mp3"})) << faults;
    EXPECT_TRUE(read_file(box / "out/big.mp3") == big) << faults;
    EXPECT_EQ(read_file(box / "out/a.mp3"), "A") << faults;
  }
}

// The weighing before the run never holds it up: on a file system where
// each look at a file takes 50 ms, it gives up after half a second rather
// than look at every source and target first (200 looks, 10 s, before the
// first copy); the run itself looks at none of them by name.
TEST(Faults, WeighingGivesUpOnASlowFileSystem) {
  Sandbox box;
  std::string list;
  for (int i = 0; i < 100; ++i) {
    std::string name = "s" + std::to_string(i) + ".mp3";
    box.add({{"src/" + name, name}});
    list += (box / ("src/" + name)).string() + "\n";
  }
  box.add({{"out/", ""}, {"list.m3u", list}});
  setenv("LISKO_RECORD", (box / "looks.txt").c_str(), 1);
  Result result = run_with_faults(box, "stat:slow");
  unsetenv("LISKO_RECORD");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(names_in(box / "out").size(), 100u);
  std::string looks = read_file(box / "looks.txt");
  size_t count = static_cast<size_t>(std::count(looks.begin(), looks.end(), '\n'));
  EXPECT_LT(count, 50u) << "the weighing looked at every file first";
  EXPECT_GT(count, 0u) << "the fault library saw no look by name";
}

// The weighing starts no look after its half second, even within an
// entry: where each look takes 0.3 s, it looks at the playlist and at the
// first source, not at that source's target.
TEST(Faults, WeighingStartsNoLookAfterItsTime) {
  Sandbox box;
  box.add({{"src/a.mp3", "A"}, {"src/b.mp3", "B"}, {"out/", ""},
           {"list.m3u", (box / "src/a.mp3").string() + "\n" + (box / "src/b.mp3").string() + "\n"}});
  setenv("LISKO_RECORD", (box / "looks.txt").c_str(), 1);
  Result result = run_with_faults(box, "stat:slower");
  unsetenv("LISKO_RECORD");
  EXPECT_EQ(result.status, 0);
  // dest's folder before the weighing, and after the run; the playlist and
  // the first source within it, on a machine no slower than that.
  std::string looks = read_file(box / "looks.txt");
  EXPECT_LE(std::count(looks.begin(), looks.end(), '\n'), 4) << looks;
}

// The order of writes without mounting anything: a copy is put on the
// medium before it replaces a file that holds data or a symbolic link, and
// only then (a fresh copy is left to the end-of-run flush); no copy is held
// open past its copy, since a later entry may replace it.
TEST(Faults, FlushesWhatItReplacesAndHoldsNoCopyOpen) {
  Sandbox box;
  box.add({{"x/s.mp3", std::string(2 << 20, 'x')},
           {"y/s.mp3", "y"},
           {"x/empty.mp3", "e"},
           {"x/link.mp3", "l"},
           {"out/empty.mp3", ""},
           {"elsewhere.mp3", "kept"},
           {"list.m3u", "x\\s.mp3\r\ny\\s.mp3\r\nx\\empty.mp3\r\nx\\link.mp3\r\n"}});
  fs::create_symlink("../elsewhere.mp3", box / "out/link.mp3");
  Result result = run_with_faults(box, "renameat:strict");
  EXPECT_EQ(result.out,
            "Copying 'x\\s.mp3' to out/s.mp3...succeeded\r\n"
            "Copying 'y\\s.mp3' to out/s.mp3...succeeded\r\n"
            "Copying 'x\\empty.mp3' to out/empty.mp3...succeeded\r\n"
            "Copying 'x\\link.mp3' to out/link.mp3...succeeded\r\n");
  EXPECT_TRUE(read_file(box / "out/s.mp3") == "y");
  EXPECT_EQ(read_file(box / "out/link.mp3"), "l");
  EXPECT_EQ(read_file(box / "elsewhere.mp3"), "kept");
}

// A stale temporary file of lisko's own name (a crashed run, a process id
// used again) is another's: passed by, never written into, as lisko
// replaces a target by a temporary name.
TEST(Faults, PassesByAStaleTemporaryFileOfItsName) {
  Sandbox box;
  const std::string stale = "stale bytes, more of them than the copy has";
  box.add({{"src/a.mp3", "new"}, {"out/a.mp3", "old"}, {"out/.lisko-4242-0.tmp", stale},
           {"list.m3u", "src\\a.mp3\r\n"}});
  Result result;
  std::vector<std::string> made =
      names_made(box / "out", [&] { result = run_with_faults(box, "getpid:fixed"); });
  EXPECT_EQ(result.out, "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n");
  EXPECT_EQ(read_file(box / "out/a.mp3"), "new");
  EXPECT_EQ(read_file(box / "out/.lisko-4242-0.tmp"), stale);
  EXPECT_EQ(made, std::vector<std::string>{".lisko-4242-1.tmp"}) << "the next name of its own";
}

// A playlist longer than the open-file limit, of large files and small:
// every entry is copied, and the flush at the end still reports its
// failure.
TEST(Faults, CopiesMoreFilesThanItMayOpen) {
  Sandbox box;
  std::string list;
  std::string out;
  for (int i = 0; i < 60; ++i) {
    std::string name = "s" + std::to_string(i) + ".mp3";
    box.add({{"src/" + name, name}});
    if (i % 2 == 0) fs::resize_file(box / ("src/" + name), 1 << 20);  // written behind: 1 MiB
    list += "src\\" + name + "\r\n";
    out += "Copying 'src\\" + name + "' to out/" + name + "...succeeded\r\n";
  }
  box.add({{"out/", ""}, {"list.m3u", list}});
  struct rlimit old_limit;
  getrlimit(RLIMIT_NOFILE, &old_limit);
  struct rlimit limit = {24, old_limit.rlim_max};  // inherited by lisko
  setrlimit(RLIMIT_NOFILE, &limit);
  setenv("LISKO_RECORD", (box / "record.txt").c_str(), 1);
  Result result = run_with_faults(box, "syncfs:EIO,sync_file_range:record");
  unsetenv("LISKO_RECORD");
  setrlimit(RLIMIT_NOFILE, &old_limit);
  EXPECT_EQ(result.out,
            out + "Couldn't write the copies out to their medium: Input/output error.\r\n");
  EXPECT_EQ(result.status, 3);
  // From the third large copy on, each copy waited for the large one before
  // the last: a file opened for that wait is closed again.
  std::string record = read_file(box / "record.txt");
  size_t waits = 0;
  for (size_t at = 0; (at = record.find("B of", at)) != std::string::npos; ++at) ++waits;
  EXPECT_EQ(waits, 29u);
}

// Writing behind: each piece's writeback starts once it is written, the one
// before it is waited for, and each copy waits for the one before the
// last (the fourth for the second), so that the last one's writeback
// stays in flight.
TEST(Faults, WritesBehindThePieceBefore) {
  Sandbox box;
  box.add({{"src/big.mp3", ""},
           {"src/b.mp3", std::string(1 << 20, 'b')},  // written behind from this size on
           {"src/c.mp3", std::string(5 << 19, 'c')},
           {"src/d.mp3", std::string(3 << 20, 'd')},
           {"out/", ""},
           {"list.m3u", "src\\big.mp3\r\nsrc\\b.mp3\r\nsrc\\c.mp3\r\nsrc\\d.mp3\r\n"}});
  fs::resize_file(box / "src/big.mp3", (20 << 20) + 1024);  // 8 MiB, 8 MiB and 4 MiB + 1 KiB
  setenv("LISKO_RECORD", (box / "record.txt").c_str(), 1);
  Result result = run_with_faults(box, "sync_file_range:record");
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(read_file(box / "record.txt"),
            "0+8192W\n8192+8192W\n0+8192BWA\n16384+4097W\n8192+8192BWA\n"  // big.mp3
            "0+1024W\n"                                                    // b.mp3
            "0+2560W\n0+0B of 20481\n"   // c.mp3, then the wait for big.mp3: b's stays in flight
            "0+3072W\n0+0B of 1024\n");  // d.mp3, then the wait for b.mp3, c's in flight

  // A piece whose writeback fails fails its copy.
  Sandbox failing;
  failing.add({{"src/big.mp3", ""}, {"out/", ""}, {"list.m3u", "src\\big.mp3\r\n"}});
  fs::resize_file(failing / "src/big.mp3", 20 << 20);
  result = run_with_faults(failing, "sync_file_range:waitfail");
  EXPECT_EQ(result.out, "Copying 'src\\big.mp3' to out/big.mp3...failed: the target's medium "
                        "failed to take the copy (Input/output error)\r\n");
  EXPECT_EQ(names_in(failing / "out"), std::vector<std::string>{});
}

// The end-of-run flush reports a write-out error through a descriptor
// opened before the first write: the folder's, or where lisko may write
// but not read it, a nameless file's in it. Where neither can be had it
// still asks the system to put everything on the medium.
TEST(Faults, FlushReachesTheCopiesWhereverTheyAre) {
  Sandbox box;
  box.add({{"src/a.mp3", "A"}, {"out/", ""}, {"list.m3u", "src\\a.mp3\r\n"}});
  const std::string copied = "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n";
  chmod((box / "out").c_str(), 0333);
  Result result = run_with_faults(box, "syncfs:EIO", true);
  chmod((box / "out").c_str(), 0777);
  EXPECT_EQ(result.out,
            copied + "Couldn't write the copies out to their medium: Input/output error.\r\n");
  EXPECT_EQ(result.status, 3);

  setenv("LISKO_RECORD", (box / "record.txt").c_str(), 1);
  result = run_with_faults(box, "openat:noflush,sync:record");
  EXPECT_EQ(result.out, copied);
  EXPECT_EQ(read_file(box / "record.txt"), "sync\n");

  // A run that made no copy asks for no flush: sync would wait for every
  // file system's writeback.
  fs::remove(box / "record.txt");
  fs::remove(box / "src/a.mp3");
  result = run_with_faults(box, "openat:noflush,sync:record");
  unsetenv("LISKO_RECORD");
  EXPECT_EQ(result.status, 3);
  EXPECT_FALSE(fs::exists(box / "record.txt"));
}

// The target's folder removed during a copy: the folder is named, as when
// it is missing from the start.
TEST(Faults, TargetFolderGoneMidCopySaysSo) {
  Sandbox box;
  box.add({{"src/a.mp3", "A"}, {"out/", ""}, {"list.m3u", "src\\a.mp3\r\n"}});
  Result result = run_with_faults(box, "renameat:gone,linkat:gone");
  EXPECT_EQ(result.out,
            "Copying 'src\\a.mp3' to out/a.mp3...failed: no folder out/ (No such file or "
            "directory)\r\n");
  EXPECT_EQ(result.status, 3);
}

// The copy onto the source itself is refused by file system and inode
// together: two fresh tmpfs give their first files the same inode number.
TEST(Faults, SameInodeOnAnotherFileSystemIsNoSelfCopy) {
  Sandbox box;
  box.add({{"a/", ""}, {"b/", ""}, {"list.m3u", "a\\s.mp3\r\n"}});
  if (mount("tmpfs", (box / "a").c_str(), "tmpfs", 0, "size=1m") != 0 ||
      mount("tmpfs", (box / "b").c_str(), "tmpfs", 0, "size=1m") != 0) {
    umount((box / "a").c_str());
    GTEST_SKIP() << "skipped: cannot mount a tmpfs here: " << strerror(errno);
  }
  write_file(box / "a/s.mp3", "new");
  write_file(box / "b/s.mp3", "old");
  struct stat source, target;
  stat((box / "a/s.mp3").c_str(), &source);
  stat((box / "b/s.mp3").c_str(), &target);
  Result result = box.run({"list.m3u", "b/"});
  std::string copied = read_file(box / "b/s.mp3");
  umount((box / "a").c_str());
  umount((box / "b").c_str());
  EXPECT_EQ(source.st_ino, target.st_ino) << "the case needs one inode number on both";
  EXPECT_EQ(result.out, "Copying 'a\\s.mp3' to b/s.mp3...succeeded\r\n");
  EXPECT_EQ(copied, "new");
}

// A resized terminal, a child's end, urgent data, a continue, and under
// nohup a hangup, sent while a copy goes by its temporary name: none ends
// the run or spoils the copy under way.
TEST(Faults, SignalsThatLetTheRunGoOn) {
  const int signals[] = {SIGWINCH, SIGCHLD, SIGURG, SIGCONT, SIGHUP};
  for (int signal_number : signals) {
    Sandbox box;
    box.add({{"src/big.mp3", ""}, {"out/big.mp3", "earlier"}, {"list.m3u", "src\\big.mp3\r\n"}});
    const std::uintmax_t size = std::uintmax_t{16} << 20;
    fs::resize_file(box / "src/big.mp3", size);  // sparse: quick to make
    bool nohup = signal_number == SIGHUP;
    if (nohup) signal(SIGHUP, SIG_IGN);
    int null = open("/dev/null", O_WRONLY);
    preload_faults("copy_file_range:ENOSYS,sendfile:ENOSYS,write:slow");  // a copy of 0.6 s at least
    pid_t child = start_lisko(box / "", {"list.m3u", "out/"}, null, false, STDERR_FILENO, nohup);
    unsetenv("LD_PRELOAD");
    close(null);
    signal(SIGHUP, SIG_DFL);
    bool copying = false;
    for (int i = 0; i < 100000 && !copying; ++i) {
      copying = names_in(box / "out").size() > 1;  // the temporary file is there
      if (!copying) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    EXPECT_TRUE(copying) << strsignal(signal_number);
    kill(child, signal_number);
    EXPECT_EQ(wait_for(child), 0) << strsignal(signal_number);
    EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"big.mp3"});
    EXPECT_EQ(fs::file_size(box / "out/big.mp3"), size) << strsignal(signal_number);
  }
}

TEST(Faults, FileSizeLimitFailsOneCopyAndTheRunGoesOn) {
  Sandbox box;
  box.add({{"src/big.mp3", std::string(200 << 10, 'b')},
           {"src/a.mp3", "A"},
           {"out/", ""},
           {"list.m3u", "src\\big.mp3\r\nsrc\\a.mp3\r\n"}});
  struct rlimit old_limit;
  getrlimit(RLIMIT_FSIZE, &old_limit);
  struct rlimit limit = {100 << 10, old_limit.rlim_max};  // ulimit -f 100, inherited
  setrlimit(RLIMIT_FSIZE, &limit);
  Result result = box.run({"list.m3u", "out/"});
  setrlimit(RLIMIT_FSIZE, &old_limit);
  EXPECT_EQ(result.out,
            "Copying 'src\\big.mp3' to out/big.mp3...failed: the target's medium failed to take "
            "the copy (File too large)\r\n"
            "Copying 'src\\a.mp3' to out/a.mp3...succeeded\r\n");
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(names_in(box / "out"), std::vector<std::string>{"a.mp3"});
}

}  // namespace
