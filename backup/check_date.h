// Check Date: tells the date of a backup, which is the last-write date of its file list
// icqlist.txt, beside today's date.
#pragma once

#include "app/window_seam.h"

namespace backup {

// The Check Date button: looks up BackupFolderList's icqlist.txt with every attribute (a
// folder of that name counts), saves the settings and shows today's date and the list's,
// or an error report; true when it showed the dates.
bool CheckDateClick(app::WindowSeam& window);

}  // namespace backup
