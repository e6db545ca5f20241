// Runs a built program as a user would from a script: no terminal on any side, its
// output caught, its exit status read.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

struct ProgramRun {
  int status = -1;  // -1 when it did not exit by itself
  std::string out, err;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

// Runs the program in cwd with the variables set; standard input is /dev/null.
inline ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args,
                             const std::filesystem::path& cwd,
                             const Environment& environment = {}) {
  std::string pattern = (std::filesystem::temp_directory_path() / "varn-run-XXXXXX").string();
  const std::filesystem::path capture = ::mkdtemp(pattern.data());
  const std::filesystem::path out_path = capture / "out", err_path = capture / "err";
  const pid_t child = ::fork();
  if (child == 0) {
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
  ProgramRun run;
  int status = 0;
  if (child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status)) {
    run.status = WEXITSTATUS(status);
  }
  const auto read = [](const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  };
  run.out = read(out_path);
  run.err = read(err_path);
  std::error_code ignored;
  std::filesystem::remove_all(capture, ignored);
  return run;
}
