// Runs a built program as a user would from a script: no terminal on any side, its
// output caught, its exit status read.
#pragma once

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
