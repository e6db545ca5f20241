// The folders of an action, kept from every other copy of the program while it runs:
// two backups into one folder would mix their files, a backup into the folder a
// restore reads would leave it half a backup, two runs from one home folder would
// share icqlist.tmp, and two restores into one ICQ folder would leave a mix of both
// backups (or a backup would read one half restored).
#pragma once

#include <optional>
#include <string>

#include "app/window_seam.h"
#include "platform/run_lock.h"

namespace backup {

// Locks the folder for the run held by `locks`; false, after the " Folder in use : "
// report naming the folder, when another copy of the program holds it. A folder that
// cannot hold a lock file (read-only, like a CD, or none at all) is used without one: no
// other run can write there either.
bool LockFolder(app::WindowSeam& window, platform::RunLocks& locks, const std::string& folder);

// Locks window.HomeFolder, window.BackupPath (when it names a folder) and, with
// `icq_folder`, window.ICQPath, in that order, for the run of an action, before it
// changes anything, by LockFolder; nullopt when one is in use. Once they are held,
// finishes what a killed backup left in the backup folder (FinishStagedBackup), which
// writes there: not while a backup runs.
std::optional<platform::RunLocks> LockActionFolders(app::WindowSeam& window,
                                                    bool icq_folder = false);

}  // namespace backup
