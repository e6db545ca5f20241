// Check UIN: lists the ICQ user numbers (UINs) that a backup holds, read from its file
// list icqlist.txt alone.
#pragma once

#include "app/window_seam.h"

namespace backup {

// The Check UIN button: finds BackupFolderList's list, saves the settings and shows a count
// and one line per UIN, or an error report; true when it showed UINs. A UIN line begins
// with "uin" in any letter case; its UIN is the text after the run of "*" that starts at the
// line's first "*", up to the line's first "." (empty without them). UINs are neither
// checked nor made unique. Raises EInOutError on a failed read of the list or write of
// pref.cfg.
bool CheckUINClick(app::WindowSeam& window);

}  // namespace backup
