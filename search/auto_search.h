// AutoSearch: finds the ICQ installation, the folder that holds "icq.exe".
#pragma once

#include "app/window_seam.h"

namespace search {

// The AutoSearch link (Label2). Tries the ICQPath setting, then "C:\Program Files\ICQ",
// then walks the drives C: to Z: that exist, one after the other, stopping after the
// first drive that holds ICQ; on that drive the last folder in walk order that holds
// the file "icq.exe" wins, and folders below such a folder are not walked. Each walk
// enters no folder twice and stays on its drive's file system. On success ICQPath
// holds the folder, the ICQ folder selector moves there and pref.cfg is saved; on
// failure ICQPath is "none" and pref.cfg is untouched. Raises EInOutError when the
// walk cannot return to a parent folder or pref.cfg cannot be written. Answers true
// when it found ICQ.
bool Label2Click(app::WindowSeam& window);

}  // namespace search
