// The table of subcommands. Adding one is one line here: its name, its --help line and
// a function (or a lambda) that runs the action and answers the exit status.
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

int RestoreStatus(backup::RestoreOutcome outcome) {
  return outcome == backup::RestoreOutcome::kSucceeded   ? kExitDone
         : outcome == backup::RestoreOutcome::kCancelled ? kExitCancelled
                                                         : kExitError;
}

constexpr CliCommand kCommands[] = {
    {"about", "show the About text",
     [](WindowSeam& w) {
       AboutClick(w);
       return kExitDone;
     }},
    {"readme", "show the Read Me text",
     [](WindowSeam& w) {
       Label4Click(w);
       return kExitDone;
     }},
    {"backup", "back up the ICQ data files (--yes overwrites an earlier backup)",
     [](WindowSeam& w) {
       const backup::BackupOutcome outcome = backup::BackupClick(w);
       return outcome == backup::BackupOutcome::kSucceeded   ? kExitDone
              : outcome == backup::BackupOutcome::kCancelled ? kExitCancelled
                                                             : kExitError;
     }},
    {"uins", "list the UINs a backup holds (Check UIN)",
     [](WindowSeam& w) { return backup::CheckUINClick(w) ? kExitDone : kExitError; }},
    {"date", "show the date of a backup (Check Date)",
     [](WindowSeam& w) { return backup::CheckDateClick(w) ? kExitDone : kExitError; }},
    {"search", "find the ICQ folder, from the saved setting on (AutoSearch)",
     [](WindowSeam& w) { return search::Label2Click(w) ? kExitDone : kExitError; }},
    {"restore", "put a backup back into the ICQ folder (Restore)",
     [](WindowSeam& w) { return RestoreStatus(backup::RestoreClick(w)); }},
    {"list", "list the files a backup holds, with their sizes, dates and methods",
     [](WindowSeam& w) { return backup::ListBackupClick(w) ? kExitDone : kExitError; }},
    {"verify", "check a backup without restoring anything",
     [](WindowSeam& w) { return backup::VerifyClick(w) ? kExitDone : kExitError; }},
};

}  // namespace

std::span<const CliCommand> CliCommands() { return kCommands; }

int RestoreOnly(WindowSeam& window, const std::string& pattern) {
  return RestoreStatus(backup::RestoreClick(window, pattern));
}

}  // namespace app
