// Runs the built `lczs` binary as a user would: arguments, standard input
// from a text (never a terminal), standard output and standard error
// captured, and the exit status. LCZS_UI is removed from its environment so
// the command chooses its dialogs itself.
//
//   lczs::testing::TempDir dir;
//   auto r = lczs::testing::run_lczs({"classdiv", book, "--classes", "6", "--yes"});
//   EXPECT_EQ(r.exit_code, 0) << r.err;
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace lczs::testing {

#ifndef LCZS_BINARY
#error "LCZS_BINARY must name the built lczs binary"
#endif

struct CliResult {
  int exit_code = -1;  // -1: did not exit normally
  std::string out;
  std::string err;
};

// A fresh directory under the system's temporary folder, removed at the end.
class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    for (int i = 0; i < 100; ++i) {
      path_ = std::filesystem::temp_directory_path() /
              ("lczs-test-" + std::to_string(::getpid()) + "-" + std::to_string(rd()));
      if (std::filesystem::create_directory(path_)) return;
    }
    throw std::runtime_error("cannot create a temporary directory");
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream os;
  os << in.rdbuf();
  return os.str();
}

inline void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

// Starts lczs with `args` and returns at once (-1 when it cannot start):
// standard input from /dev/null, standard output to the descriptor
// `out_fd`, standard error to the file `err_path`, `env` ("NAME=value")
// added to an environment without LCZS_UI and LCZS_TEST_PAUSE*.
inline pid_t start_lczs(const std::vector<std::string>& args, int out_fd, const std::string& err_path,
                        std::vector<std::string> env = {}) {
  std::vector<std::string> argv_s{LCZS_BINARY};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "LCZS_UI=", 8) != 0 && std::strncmp(*e, "LCZS_TEST_PAUSE", 15) != 0) envp.push_back(*e);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, out_fd, 1);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

// Runs lczs with `args` in `cwd` (the current directory when empty), with
// `env` ("NAME=value") added to its environment.
inline CliResult run_lczs(const std::vector<std::string>& args, const std::string& stdin_text = "",
                          const std::string& cwd = "", std::vector<std::string> env = {}) {
  TempDir io;
  const std::string in_path = io.file("stdin"), out_path = io.file("stdout"), err_path = io.file("stderr");
  write_file(in_path, stdin_text);

  std::vector<std::string> argv_s{LCZS_BINARY};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  std::vector<char*> envp;
  for (char** e = environ; *e; ++e)
    if (std::strncmp(*e, "LCZS_UI=", 8) != 0) envp.push_back(*e);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, in_path.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::filesystem::path old_cwd = std::filesystem::current_path();
  if (!cwd.empty()) std::filesystem::current_path(cwd);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  if (!cwd.empty()) std::filesystem::current_path(old_cwd);
  posix_spawn_file_actions_destroy(&actions);
  CliResult r;
  if (rc != 0) {
    r.err = std::string("cannot start ") + LCZS_BINARY + ": " + std::strerror(rc);
    return r;
  }
  int wstatus = 0;
  waitpid(pid, &wstatus, 0);
  if (WIFEXITED(wstatus)) r.exit_code = WEXITSTATUS(wstatus);
  r.out = read_file(out_path);
  r.err = read_file(err_path);
  return r;
}

}  // namespace lczs::testing
