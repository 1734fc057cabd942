// Helpers of the end-to-end and fault tests, which run the built lisko in
// fresh temporary folders.
//
// LISKO_PROGRAM names the program to run (the native build by default) and
// LISKO_RUNNER, when set, the program that runs it (wine or wine64).
#ifndef LISKO_SANDBOX_H
#define LISKO_SANDBOX_H

#include <sys/types.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

using Files = std::map<std::string, std::string>;  // path -> content

// True when the program under test is the Windows one, run under Wine.
bool under_wine();

std::string read_file(const std::filesystem::path& path);

// True when text matches pattern, where each "*" stands for any run of
// bytes within one line: the system's own text after "failed: ".
bool matches(const char* pattern, const char* text);

// text as the bytes of a UTF-16 playlist, with its byte-order mark.
std::string utf16(const std::u16string& text, bool big_endian = false);

// Writes content to path, making the folders above it.
void write_file(const std::filesystem::path& path, const std::string& content);

struct Result {
  int status;  // the exit status, or -1 when a signal ended the program
  std::string out;
  std::string err;
};

// Starts lisko with args in folder, its stdout on out. as_nobody drops
// root's privileges, so that file permissions bind it; that user runs
// copies of the program and of a preloaded library, which it may read
// wherever the build lies. The signals that
// stop a run have their default actions, unless keep_signals leaves them
// as the caller set them.
pid_t start_lisko(const std::filesystem::path& folder, const std::vector<std::string>& args,
                  int out, bool as_nobody = false, int err = STDERR_FILENO,
                  bool keep_signals = false);

// Starts lisko with args in folder on a fresh pseudo-terminal of columns
// columns, as a terminal's shell starts it: the terminal is its
// controlling one, in its usual modes (Ctrl+C stops the foreground
// program, and is echoed as ^C), and standard input, output and error.
// Sets *terminal to the terminal's side of it. Returns -1 where there is
// none.
pid_t start_lisko_at_terminal(const std::filesystem::path& folder,
                              const std::vector<std::string>& args, unsigned short columns,
                              int* terminal);

// Reads what terminal shows into shown until it holds text (or, for null,
// until the terminal is closed), or a minute has passed. Returns whether
// it came.
bool read_terminal_until(int terminal, std::string* shown, const char* text);

// Opens a pseudo-terminal in raw mode, so that what lisko writes to screen
// arrives at terminal byte for byte. Returns false where there is none.
bool open_raw_terminal(int* terminal, int* screen);

// The screen a terminal of columns columns and rows rows shows after
// bytes, its lines' trailing blanks and its blank last lines left out, as
// pyte (Debian's python3-pyte) renders it; "" where it cannot be.
std::string render_screen(const std::string& bytes, int columns, int rows = 24);

// Waits for child to end, at most seconds: then it fails the test, kills
// the child and returns false. Sets *wait_status as waitpid does.
bool wait_bounded(pid_t child, int* wait_status, int seconds = 60);

// The exit status of child, or -1 when a signal ended it (-2 when it did
// not end in time, a failure of the test).
int wait_for(pid_t child);

// Runs lisko with args in folder, stdout going to a file (or, with
// closed_pipe, to a pipe nobody reads).
Result run_in(const std::filesystem::path& folder, const std::vector<std::string>& args,
              bool as_nobody = false, bool closed_pipe = false);

class Sandbox;

// Runs a shell command, its output thrown away; true when it succeeded.
bool run_quietly(const std::string& command);

// What keeps a mount from being made here (not root, a tool missing), or
// "" where nothing does.
std::string cannot_mount(const std::vector<std::string>& tools);

// Every file in folder (not below it) with its content.
Files files_in(const std::filesystem::path& folder);

// command with IMG replaced by image and MNT by point.
std::string with_image(std::string command, const std::filesystem::path& image,
                       const std::filesystem::path& point);

// The names in folder, sorted.
std::vector<std::string> names_in(const std::filesystem::path& folder);

// The names made in folder (not below it) while run runs, in order; a
// name a rename put there is none made.
std::vector<std::string> names_made(const std::filesystem::path& folder,
                                    const std::function<void()>& run);

// Starts lisko on a copy of a sparse file of size bytes over out/big.mp3,
// which holds "earlier", and returns once its temporary file is there.
pid_t start_big_copy(Sandbox& box, std::uintmax_t size = std::uintmax_t{1} << 30);

// Makes every lisko started from now on (until LD_PRELOAD is unset) load
// the fault library making faults (see fault_shim.cc).
void preload_faults(const char* faults);

// Runs lisko on list.m3u to out/ in box, as Sandbox::run does, with the
// fault library preloaded making faults (see fault_shim.cc), or none.
Result run_with_faults(Sandbox& box, const char* faults, bool as_nobody = false);

// Where a sandbox lies: on the disk of the temporary folder, or in memory
// (a tmpfs, where /dev/shm is one), for the tests whose large copies are
// about the terminal, not the medium: there no other program's writes
// slow them down.
enum SandboxPlace { kOnDisk, kInMemory };

// A fresh folder of its own for one test, removed afterwards.
class Sandbox {
 public:
  explicit Sandbox(SandboxPlace place = kOnDisk);
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }
  // Makes each file with its content; a name ending in "/" is a folder.
  void add(const Files& files);
  Result run(const std::vector<std::string>& args, bool as_nobody = false) {
    return run_in(path_, args, as_nobody);
  }
  // Every file (not folder) below the sandbox with its content; a symbolic
  // link as "-> " and what it points to.
  Files files() const;

 private:
  std::filesystem::path path_;
};

#endif
