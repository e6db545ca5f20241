// torq32-cli list: the entries of the backup in the backup folder, one line each, from
// its file list and the header of each compressed file. Decodes and writes nothing.
#pragma once

#include "app/window_seam.h"

namespace backup {

// Writes, below a heading, one line per list entry: its number, size, the date-time and
// method stored in its compressed file, and its path; an entry that cannot be read, or
// whose compressed file is missing or not compressed, says so on its line. False, with an
// error screen, when there is no list or its header has no count.
bool ListBackupClick(app::WindowSeam& window);

}  // namespace backup
