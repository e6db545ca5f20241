// Check UIN: lists the ICQ user numbers (UINs) that a backup holds, read from its file
// list icqlist.txt alone.
#pragma once

#include "app/window_seam.h"

namespace backup {

// The Check UIN button: true when it showed UINs. A UIN line begins with "uin" in any case;
// its UIN follows the line's first run of "*" up to its first "."; none is checked or made
// unique.
bool CheckUINClick(app::WindowSeam& window);

}  // namespace backup
