// Helpers of the end-to-end tests, which run the built lisko in fresh
// temporary folders.
//
// LISKO_PROGRAM names the program to run (the native build by default) and
// LISKO_RUNNER, when set, the program that runs it (wine64).
#ifndef LISKO_END_TO_END_H
#define LISKO_END_TO_END_H

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

using Files = std::map<std::string, std::string>;  // path -> content

inline bool under_wine() { return getenv("LISKO_RUNNER") != nullptr; }

inline std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

inline void write_file(const fs::path& path, const std::string& content) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

struct Result {
  int status;
  std::string out;
  std::string err;
};

// Starts lisko with args in folder, its stdout on out. as_nobody drops
// root's privileges, so that file permissions bind it.
inline pid_t start_lisko(const fs::path& folder, const std::vector<std::string>& args, int out,
                         bool as_nobody = false, int err = STDERR_FILENO) {
  std::vector<std::string> command;
  if (as_nobody && geteuid() == 0)
    command = {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"};
  if (const char* runner = getenv("LISKO_RUNNER")) command.push_back(runner);
  const char* program = getenv("LISKO_PROGRAM");
  command.push_back(program != nullptr ? program : LISKO_PROGRAM);
  command.insert(command.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& word : command) argv.push_back(word.data());
  argv.push_back(nullptr);
  pid_t child = fork();
  if (child == 0) {
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) signal(signal_number, SIG_DFL);
    if (chdir(folder.c_str()) != 0) _exit(126);
    dup2(out, STDOUT_FILENO);
    dup2(err, STDERR_FILENO);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

// The exit status of child, or -1 when a signal ended it.
inline int wait_for(pid_t child) {
  int wait_status = 0;
  waitpid(child, &wait_status, 0);
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
}

// Everything written to a temporary file so far.
inline std::string contents_of(FILE* file) {
  std::string text(static_cast<size_t>(lseek(fileno(file), 0, SEEK_END)), '\0');
  EXPECT_EQ(pread(fileno(file), text.data(), text.size(), 0), static_cast<ssize_t>(text.size()));
  fclose(file);
  return text;
}

// Runs lisko with args in folder, stdout going to a file (or, with
// closed_pipe, to a pipe nobody reads).
inline Result run_in(const fs::path& folder, const std::vector<std::string>& args,
                     bool as_nobody = false, bool closed_pipe = false) {
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

// A fresh folder of its own for one test, removed afterwards.
class Sandbox {
 public:
  Sandbox() {
    std::string name = (fs::temp_directory_path() / "lisko-test-XXXXXX").string();
    path_ = mkdtemp(name.data());
    chmod(path_.c_str(), 0777);  // runs as another user must get in
  }
  ~Sandbox() {
    for (const auto& entry : fs::recursive_directory_iterator(path_))
      if (entry.is_directory() && !entry.is_symlink()) chmod(entry.path().c_str(), 0777);
    fs::remove_all(path_);
  }
  fs::path operator/(const std::string& name) const { return path_ / name; }
  void add(const Files& files) {
    for (const auto& [name, content] : files) {
      if (name.back() == '/')
        fs::create_directories(path_ / name);
      else
        write_file(path_ / name, content);
    }
  }
  Result run(const std::vector<std::string>& args, bool as_nobody = false) {
    return run_in(path_, args, as_nobody);
  }
  // Every file (not folder) below the sandbox with its content.
  Files files() const {
    Files found;
    for (const auto& entry : fs::recursive_directory_iterator(path_)) {
      if (entry.is_directory() && !entry.is_symlink()) continue;
      std::string name = fs::relative(entry.path(), path_).generic_string();
      found[name] = entry.is_symlink() ? "-> " + fs::read_symlink(entry.path()).string()
                                       : read_file(entry.path());
    }
    return found;
  }

 private:
  fs::path path_;
};

#endif
