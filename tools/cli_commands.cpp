// The table of subcommands: a name, a --help line and the action with its exit status.
#include "tools/cli_commands.h"

#include "app/reports.h"
#include "backup/backup.h"
#include "backup/check_date.h"
#include "backup/check_uin.h"
#include "backup/list_backup.h"
#include "backup/restore.h"
#include "backup/verify.h"
#include "search/auto_search.h"

namespace app {
namespace {

int Status(bool succeeded) { return succeeded ? kExitDone : kExitError; }

// BackupOutcome and RestoreOutcome.
template <typename Outcome>
int Status(Outcome outcome) {
  return outcome == Outcome::kSucceeded   ? kExitDone
         : outcome == Outcome::kCancelled ? kExitCancelled
                                          : kExitError;
}

template <auto action>
int Run(WindowSeam& window) {
  return Status(action(window));
}

template <auto report>
int Show(WindowSeam& window) {
  report(window);
  return kExitDone;
}

constexpr CliCommand kCommands[] = {
    {"about", "show the About text", &Show<AboutClick>},
    {"readme", "show the Read Me text", &Show<Label4Click>},
    {"backup", "back up the ICQ data files (--yes overwrites an earlier backup)",
     &Run<backup::BackupClick>},
    {"uins", "list the UINs a backup holds (Check UIN)", &Run<backup::CheckUINClick>},
    {"date", "show the date of a backup (Check Date)", &Run<backup::CheckDateClick>},
    {"search", "find the ICQ folder, from the saved setting on (AutoSearch)",
     &Run<search::Label2Click>},
    {"restore", "put a backup back into the ICQ folder (Restore)",
     [](WindowSeam& window) { return Status(backup::RestoreClick(window)); }},
    {"list", "list the files a backup holds, with their sizes, dates and methods",
     &Run<backup::ListBackupClick>},
    {"verify", "check a backup without restoring anything", &Run<backup::VerifyClick>},
};

}  // namespace

std::span<const CliCommand> CliCommands() { return kCommands; }

int RestoreOnly(WindowSeam& window, const std::string& pattern) {
  return Status(backup::RestoreClick(window, pattern));
}

}  // namespace app
