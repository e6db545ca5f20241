// torq32-cli list: the entries of the backup in the backup folder, one line each, from
// its file list and the header of each compressed file. Decodes and writes nothing.
#pragma once

#include "app/window_seam.h"

namespace backup {

// One line per entry: number, size, the date-time and method of its compressed file, path.
// False, with an error screen, when there is no list or its header has no count.
bool ListBackupClick(app::WindowSeam& window);

}  // namespace backup
