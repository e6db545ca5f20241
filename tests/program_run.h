// Runs a built program as a user would from a script: no terminal on any side, its
// output caught, its exit status read.
#pragma once

#ifndef _WIN32
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>
#include <fstream>
#include <iterator>
#endif

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

struct ProgramRun {
  int status = -1;  // -1 when it did not exit by itself
  std::string out, err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs the program in cwd with the variables set; standard input is the null device.
// On Windows the arguments reach the program quoted as its C runtime splits them, and
// the CR LF line ends a console program writes there are given back as "\n", as on
// Linux (a lone CR or LF stays as it is).
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                      const std::filesystem::path& cwd, const Environment& environment = {});

#ifndef _WIN32
// A program started in cwd with the variables set, standard input /dev/null, its output
// caught in files, running while the test goes on: for the POSIX tests that pause or kill
// it in the middle of its run.
class RunningProgram {
 public:
  RunningProgram(const std::string& program, const std::vector<std::string>& args,
                 const std::filesystem::path& cwd, const Environment& environment = {}) {
    std::string pattern = (std::filesystem::temp_directory_path() / "varn-run-XXXXXX").string();
    capture_ = ::mkdtemp(pattern.data());
    const std::filesystem::path out_path = capture_ / "out", err_path = capture_ / "err";
    child_ = ::fork();
    if (child_ == 0) {
      for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
      const int in = ::open("/dev/null", O_RDONLY);
      const int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (in < 0 || out < 0 || err < 0 || ::chdir(cwd.c_str()) != 0) ::_exit(126);
      ::dup2(in, 0);
      ::dup2(out, 1);
      ::dup2(err, 2);
      std::vector<char*> argv = {const_cast<char*>(program.c_str())};
      for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
      argv.push_back(nullptr);
      ::execv(program.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~RunningProgram() {
    if (child_ > 0) {
      ::kill(child_, SIGKILL);
      ::waitpid(child_, nullptr, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(capture_, ignored);
  }
  RunningProgram(const RunningProgram&) = delete;
  RunningProgram& operator=(const RunningProgram&) = delete;

  // What it has written to standard error so far.
  std::string Errors() const { return Read(capture_ / "err"); }
  // Waits up to ten seconds for the text on standard error; false when it did not come.
  bool WaitForError(const std::string& text) const {
    for (int tries = 0; tries < 2000; ++tries) {
      if (Errors().find(text) != std::string::npos) return true;
      ::usleep(5000);
    }
    return false;
  }
  // Kills it, as a user ending it from the task manager.
  void Kill() {
    ::kill(child_, SIGKILL);
    ::waitpid(child_, nullptr, 0);
    child_ = -1;
  }
  // Stops it where it is (SIGSTOP), to hold it in the middle of its run.
  void Pause() { ::kill(child_, SIGSTOP); }
  // Waits for its end, after letting it go on if it was paused.
  ProgramRun Wait() {
    ProgramRun run;
    if (child_ > 0) ::kill(child_, SIGCONT);
    int status = 0;
    if (child_ > 0 && ::waitpid(child_, &status, 0) == child_ && WIFEXITED(status)) {
      run.status = WEXITSTATUS(status);
    }
    child_ = -1;
    run.out = Read(capture_ / "out");
    run.err = Errors();
    return run;
  }

 private:
  static std::string Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  std::filesystem::path capture_;
  pid_t child_ = -1;
};
#endif
