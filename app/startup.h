// The window's start-up sequence (FormCreate), on the window seam.
#pragma once

#include <optional>
#include <string>

#include "app/window_seam.h"

namespace app {

// The programs keep their files in the folder they start in, which must lie on a drive:
// the refusal naming the folder and the drives when it does not, else nullopt.
std::optional<std::string> StartFolderRefusal();

// HomeFolder := the current directory; pref.cfg and back.dat read; the banner written;
// each selector moved to its saved folder while that exists. An EInOutError from the
// files passes through before the screen is touched.
void FormCreate(WindowSeam& window);

}  // namespace app
