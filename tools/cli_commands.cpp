// The table of subcommands. Adding one is one line here: its name, its --help line and
// a function (or a lambda) that runs the action and answers the exit status.
#include "tools/cli_commands.h"

#include "app/reports.h"

namespace app {
namespace {

constexpr CliCommand kCommands[] = {
    {"about", "show the About text", [](WindowSeam& w) { AboutClick(w); return kExitDone; }},
    {"readme", "show the Read Me text", [](WindowSeam& w) { Label4Click(w); return kExitDone; }},
};

}  // namespace

std::span<const CliCommand> CliCommands() { return kCommands; }

}  // namespace app
