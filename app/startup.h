// The window's start-up (FormCreate).
#pragma once

#include <optional>
#include <string>

#include "app/window_seam.h"

namespace app {

// The programs keep their files in the folder they start in: the refusal when it lies
// on no drive, else nullopt.
std::optional<std::string> StartFolderRefusal();

// HomeFolder := the current directory; pref.cfg and back.dat read (an EInOutError passes
// through before the screen is touched); the banner; each selector to its saved folder.
void FormCreate(WindowSeam& window);

}  // namespace app
