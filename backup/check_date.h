// Check Date: tells the date of a backup, which is the last-write date of its file list
// icqlist.txt, beside today's date.
#pragma once

#include "app/window_seam.h"

namespace backup {

// The Check Date button: true when it showed the dates (a folder named icqlist.txt counts).
bool CheckDateClick(app::WindowSeam& window);

}  // namespace backup
