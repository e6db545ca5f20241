// The folders of an action, kept from every other copy of the program while it runs:
// two backups into one folder would mix their files, a backup into the folder a
// restore reads would leave it half a backup, and two runs from one home folder would
// share icqlist.tmp.
#pragma once

#include <optional>

#include "app/window_seam.h"
#include "platform/run_lock.h"

namespace backup {

// Locks window.HomeFolder and window.BackupPath (when it names a folder) for the run of
// an action, before it changes anything. nullopt, after the " Folder in use : " report
// naming the folder, when another copy of the program holds one of them. A folder that
// cannot hold a lock file (read-only, like a CD, or still to be made) is used without
// its lock: no other run can write there either.
std::optional<platform::RunLocks> LockActionFolders(app::WindowSeam& window);

}  // namespace backup
