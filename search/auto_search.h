// AutoSearch: finds the ICQ installation, the folder that holds "icq.exe".
#pragma once

#include "app/window_seam.h"

namespace search {

// The AutoSearch link (Label2). Tries the ICQPath setting, then "C:\Program Files\ICQ",
// then walks the drives C: to Z: in turn, each on its own file system and entering no
// folder twice, until one holds ICQ; there the last folder in walk order that holds
// "icq.exe" wins, and folders below it are not walked. On success the ICQ folder selector
// moves there and pref.cfg is saved; on failure ICQPath is "none". Raises EInOutError when
// the walk cannot return to a parent folder or pref.cfg cannot be written.
bool Label2Click(app::WindowSeam& window);

}  // namespace search
