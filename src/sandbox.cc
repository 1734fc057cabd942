// Helpers of the end-to-end and fault tests: files, sandboxes, and running
// the built program.
#include "sandbox.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

namespace fs = std::filesystem;

bool under_wine() { return getenv("LISKO_RUNNER") != nullptr; }

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

bool matches(const char* pattern, const char* text) {
  if (*pattern == '\0') return *text == '\0';
  if (*pattern == '*') {
    for (const char* rest = text;; ++rest) {
      if (matches(pattern + 1, rest)) return rest != text;
      if (*rest == '\0' || *rest == '\r' || *rest == '\n') return false;
    }
  }
  return *pattern == *text && matches(pattern + 1, text + 1);
}

std::string utf16(const std::u16string& text, bool big_endian) {
  std::string bytes = big_endian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t unit : text) {
    char low = static_cast<char>(unit & 0xFF);
    char high = static_cast<char>(unit >> 8);
    bytes += big_endian ? std::string{high, low} : std::string{low, high};
  }
  return bytes;
}

void write_file(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

namespace {

// A copy of file that any user may read and run, made once per test run
// in a folder of its own: the build folder of a clone in root's home
// (0700) is closed to the cases run as nobody.
std::string for_other_users(const std::string& file) {
  static struct Copies {
    fs::path folder;
    std::map<std::string, std::string> made;
    ~Copies() {
      if (!folder.empty()) fs::remove_all(folder);
    }
  } copies;
  if (copies.made.count(file) > 0) return copies.made[file];
  if (copies.folder.empty()) {
    std::string name = (fs::temp_directory_path() / "lisko-programs-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) return file;
    copies.folder = name;
    chmod(name.c_str(), 0755);
  }
  fs::path copy = copies.folder / (std::to_string(copies.made.size()) + "-" +
                                   fs::path(file).filename().string());
  std::error_code failed;
  fs::copy_file(file, copy, fs::copy_options::overwrite_existing, failed);
  chmod(copy.c_str(), 0755);
  return copies.made[file] = failed ? file : copy.string();
}

}  // namespace

namespace {

// The command that runs lisko with args: under LISKO_RUNNER where set, and
// as nobody where asked (a copy of the program and of a preloaded library
// that that user may read); the library to preload into *preload.
std::vector<std::string> lisko_command(const std::vector<std::string>& args, bool as_nobody,
                                       std::string* preload) {
  std::vector<std::string> command;
  bool other_user = as_nobody && geteuid() == 0;
  if (other_user) command = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  if (const char* runner = getenv("LISKO_RUNNER")) command.push_back(runner);
  const char* program = getenv("LISKO_PROGRAM");
  command.push_back(program != nullptr ? program : LISKO_PROGRAM);
  *preload = getenv("LD_PRELOAD") != nullptr ? getenv("LD_PRELOAD") : "";
  if (other_user) command.back() = for_other_users(command.back());
  if (other_user && !preload->empty()) *preload = for_other_users(*preload);
  command.insert(command.end(), args.begin(), args.end());
  return command;
}

// In the child: runs command in folder with preload.
[[noreturn]] void exec_lisko(const fs::path& folder, std::vector<std::string> command,
                             const std::string& preload) {
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  if (chdir(folder.c_str()) != 0) _exit(126);
  if (!preload.empty()) setenv("LD_PRELOAD", preload.c_str(), 1);
  execvp(argv[0], argv.data());
  _exit(127);
}

}  // namespace

pid_t start_lisko(const fs::path& folder, const std::vector<std::string>& args, int out,
                  bool as_nobody, int err, bool keep_signals) {
  std::string preload;
  std::vector<std::string> command = lisko_command(args, as_nobody, &preload);
  pid_t child = fork();
  if (child == 0) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE})
      if (!keep_signals) signal(signal_number, SIG_DFL);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    exec_lisko(folder, command, preload);
  }
  return child;
}

pid_t start_lisko_at_terminal(const fs::path& folder, const std::vector<std::string>& args,
                              unsigned short columns, int* terminal) {
  int screen = -1;
  struct winsize size = {24, columns, 0, 0};
  if (openpty(terminal, &screen, nullptr, nullptr, &size) != 0) return -1;
  fcntl(*terminal, F_SETFD, FD_CLOEXEC);
  std::string preload;
  std::vector<std::string> command = lisko_command(args, false, &preload);
  pid_t child = fork();
  if (child == 0) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGQUIT}) signal(signal_number, SIG_DFL);
    setsid();
    ioctl(screen, TIOCSCTTY, 0);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(screen, fd);
    exec_lisko(folder, command, preload);
  }
  close(screen);
  return child;
}

bool open_raw_terminal(int* terminal, int* screen) {
  if (openpty(terminal, screen, nullptr, nullptr, nullptr) != 0) return false;
  fcntl(*terminal, F_SETFD, FD_CLOEXEC);  // lisko holds the screen's side only
  struct termios modes;
  tcgetattr(*screen, &modes);
  cfmakeraw(&modes);
  tcsetattr(*screen, TCSANOW, &modes);
  return true;
}

std::string render_screen(const std::string& bytes, int columns, int rows) {
  char name[] = "/tmp/lisko-screen-XXXXXX";
  int file = mkstemp(name);
  if (file < 0 || write(file, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
    if (file >= 0) close(file), unlink(name);
    return "";
  }
  close(file);
  std::string command =
      "/usr/bin/python3 -c 'import sys, pyte\n"
      "screen = pyte.Screen(int(sys.argv[1]), int(sys.argv[2]))\n"
      "pyte.ByteStream(screen).feed(open(sys.argv[3], \"rb\").read())\n"
      "sys.stdout.write(\"\\n\".join(line.rstrip() for line in screen.display).rstrip())' " +
      std::to_string(columns) + " " + std::to_string(rows) + " " + name + " 2>/dev/null";
  FILE* renderer = popen(command.c_str(), "r");
  std::string screen;
  char buffer[256];
  for (size_t got; (got = fread(buffer, 1, sizeof buffer, renderer)) > 0;)
    screen.append(buffer, got);
  bool rendered = pclose(renderer) == 0;
  unlink(name);
  return rendered ? screen : "";
}

// Reads what terminal shows into shown until it holds text (or, for null,
// until the terminal is closed), or a minute has passed. Returns whether
// it came.
bool read_terminal_until(int terminal, std::string* shown, const char* text) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  char buffer[256];
  while (std::chrono::steady_clock::now() < deadline) {
    if (text != nullptr && shown->find(text) != std::string::npos) return true;
    struct pollfd ready = {terminal, POLLIN, 0};
    if (poll(&ready, 1, 100) <= 0) continue;
    ssize_t got = read(terminal, buffer, sizeof buffer);
    if (got <= 0) return text == nullptr;  // closed: lisko has ended
    shown->append(buffer, static_cast<size_t>(got));
  }
  return false;
}

bool wait_bounded(pid_t child, int* wait_status, int seconds) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (;;) {
    pid_t ended = waitpid(child, wait_status, WNOHANG);
    if (ended == child || ended < 0) return ended == child;
    if (std::chrono::steady_clock::now() > deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  kill(child, SIGKILL);
  waitpid(child, wait_status, 0);
  ADD_FAILURE() << "lisko did not end within " << seconds << " s: killed";
  return false;
}

int wait_for(pid_t child) {
  int wait_status = 0;
  if (!wait_bounded(child, &wait_status)) return -2;
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

namespace {

// Everything written to a temporary file so far; closes it.
std::string contents_of(FILE* file) {
  std::string text(static_cast<size_t>(lseek(fileno(file), 0, SEEK_END)), '\0');
  EXPECT_EQ(pread(fileno(file), text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  fclose(file);
  return text;
}

}  // namespace

Result run_in(const fs::path& folder, const std::vector<std::string>& args, bool as_nobody,
              bool closed_pipe) {
  FILE* out = tmpfile();
  FILE* err = tmpfile();
  int pipe_ends[2] = {-1, -1};
  if (closed_pipe && pipe(pipe_ends) != 0) ADD_FAILURE() << "no pipe";
  if (closed_pipe) close(pipe_ends[0]);
  pid_t child =
      start_lisko(folder, args, closed_pipe ? pipe_ends[1] : fileno(out), as_nobody, fileno(err));
  if (closed_pipe) close(pipe_ends[1]);
  int status = wait_for(child);
  return {status, contents_of(out), contents_of(err)};
}

Sandbox::Sandbox(SandboxPlace place) {
  fs::path folder = fs::temp_directory_path();
  if (place == kInMemory && access("/dev/shm", W_OK) == 0) folder = "/dev/shm";
  std::string name = (folder / "lisko-test-XXXXXX").string();
  path_ = mkdtemp(name.data());
  chmod(path_.c_str(), 0777);  // runs as another user must get in
}

Sandbox::~Sandbox() {
  for (const auto& entry : fs::recursive_directory_iterator(path_))
    if (!entry.is_symlink() && entry.is_directory()) chmod(entry.path().c_str(), 0777);
  fs::remove_all(path_);
}

void Sandbox::add(const Files& files) {
  for (const auto& [name, content] : files) {
    if (name.back() == '/')
      fs::create_directories(path_ / name);
    else
      write_file(path_ / name, content);
  }
}

Files Sandbox::files() const {
  Files found;
  for (const auto& entry : fs::recursive_directory_iterator(path_)) {
    if (entry.is_directory() && !entry.is_symlink()) continue;
    std::string name = fs::relative(entry.path(), path_).generic_string();
    found[name] = entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string()
                                     : read_file(entry.path());
  }
  return found;
}

void preload_faults(const char* faults) {
  setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 0);  // else a sanitizer's runtime comes first
  setenv("LD_PRELOAD", LISKO_FAULT_SHIM, 1);
  setenv("LISKO_FAULTS", faults, 1);
}

Result run_with_faults(Sandbox& box, const char* faults, bool as_nobody) {
  if (*faults == '\0') return box.run({"list.m3u", "out/"}, as_nobody);
  preload_faults(faults);
  Result result = box.run({"list.m3u", "out/"}, as_nobody);
  unsetenv("LD_PRELOAD");
  return result;
}

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> names_made(const fs::path& folder, const std::function<void()>& run) {
  int watch = inotify_init1(IN_NONBLOCK);
  inotify_add_watch(watch, folder.c_str(), IN_CREATE);
  run();
  alignas(inotify_event) char events[16384];
  std::vector<std::string> made;
  for (ssize_t got; (got = read(watch, events, sizeof events)) > 0;) {
    for (ssize_t at = 0; at < got;) {
      const auto* event = reinterpret_cast<inotify_event*>(events + at);
      made.push_back(event->name);
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  close(watch);
  return made;
}

pid_t start_big_copy(Sandbox& box, std::uintmax_t size) {
  box.add({{"src/big.mp3", ""}, {"out/big.mp3", "earlier"}, {"list.m3u", "src\\big.mp3\r\n"}});
  fs::resize_file(box / "src/big.mp3", size);  // sparse: quick to make
  int null = open("/dev/null", O_WRONLY);
  pid_t child = start_lisko(box / "", {"list.m3u", "out/"}, null);
  close(null);
  bool copying = false;
  for (int i = 0; i < 100000 && !copying; ++i) {
    copying = names_in(box / "out").size() > 1;
    if (!copying) std::this_thread::sleep_for(std::chrono::microseconds(100));
  }
  EXPECT_TRUE(copying) << "no temporary file appeared";
  return child;
}

bool run_quietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

std::string cannot_mount(const std::vector<std::string>& tools) {
  if (geteuid() != 0) return "mounting needs root";
  for (const std::string& tool : tools)
    if (!run_quietly("command -v " + tool)) return "no " + tool + " (see .ci/run)";
  return "";
}

std::string with_image(std::string command, const std::filesystem::path& image,
                       const std::filesystem::path& point) {
  for (size_t at; (at = command.find("IMG")) != std::string::npos;)
    command.replace(at, 3, image.string());
  for (size_t at; (at = command.find("MNT")) != std::string::npos;)
    command.replace(at, 3, point.string());
  return command;
}

Files files_in(const std::filesystem::path& folder) {
  Files found;
  for (const auto& entry : fs::directory_iterator(folder))
    if (entry.is_regular_file()) found[entry.path().filename().string()] = read_file(entry.path());
  return found;
}
