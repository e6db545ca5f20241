// torq32-cli's subcommands: one action of the window each, answering the exit status.
#pragma once

#include <span>
#include <string>

#include "app/window_seam.h"

namespace app {

inline constexpr int kExitDone = 0;       // a success report, or a plain one such as About
inline constexpr int kExitError = 1;      // an error report, or a raised error
inline constexpr int kExitUsage = 2;      // a command line torq32-cli cannot follow
inline constexpr int kExitCancelled = 3;  // the user (or the safe answer) cancelled

struct CliCommand {
  const char* name;
  const char* summary;  // one line for --help
  int (*run)(WindowSeam& window);
};

// Every subcommand, in the order --help lists them.
std::span<const CliCommand> CliCommands();

// restore --only: the restore of the entries whose path matches the pattern.
int RestoreOnly(WindowSeam& window, const std::string& pattern);

}  // namespace app
