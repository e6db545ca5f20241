// Check UIN: lists the ICQ user numbers (UINs) that a backup holds, read from its file
// list icqlist.txt alone.
#pragma once

#include <string>

#include "app/window_seam.h"

namespace backup {

struct UINScan {
  std::string uin_text;  // every UIN in list order, each followed by one space
  std::string count;     // the number of UIN lines, in decimal
};

// Reads the list at list_path once. A UIN line is one whose first three characters are
// "uin" in any letter case; its UIN is the text after the run of "*" that starts at the
// line's first "*", up to the first "." of the line (empty when there is no such "." or
// no "*" at all). UINs are neither checked nor made unique. Raises EInOutError when the
// list cannot be opened or read.
UINScan ScanUINs(const std::string& list_path);

// The Check UIN button: finds BackupFolderList's list, saves the settings and shows a
// count and one line per UIN, or an error report. Answers true when it showed UINs.
// Raises EInOutError on a failed read of the list or write of pref.cfg.
bool CheckUINClick(app::WindowSeam& window);

}  // namespace backup
