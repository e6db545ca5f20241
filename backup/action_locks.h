// The folders of an action, kept from every other copy of the program while it runs: two
// runs on one folder would mix or half-read each other's files.
#pragma once

#include <optional>
#include <string>

#include "app/window_seam.h"
#include "platform/run_lock.h"

namespace backup {

// False, after the report, when another copy of the program holds the folder. A folder that
// cannot hold a lock file is used without one: no other run can write there either.
bool LockFolder(app::WindowSeam& window, platform::RunLocks& locks, const std::string& folder);

// HomeFolder, BackupPath and, with `icq_folder`, ICQPath, in that order; then finishes
// what a killed backup left.
std::optional<platform::RunLocks> LockActionFolders(app::WindowSeam& window,
                                                    bool icq_folder = false);

}  // namespace backup
