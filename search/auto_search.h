// AutoSearch: finds the ICQ installation, the folder that holds "icq.exe".
#pragma once

#include "app/window_seam.h"

namespace search {

// The AutoSearch link: the ICQPath setting, then "C:\Program Files\ICQ", then the drives C:
// to Z:, each walked on its own file system; the last folder in walk order that holds
// "icq.exe" wins. On failure ICQPath is "none".
bool Label2Click(app::WindowSeam& window);

}  // namespace search
