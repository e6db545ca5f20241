// The plug-in file back.dat in the home folder: entry lines (sub-folders of the ICQ
// folder that are backed up), the end marker "TheEnd", then the supported versions.
#pragma once

#include <string>
#include <vector>

#include "app/window_seam.h"

namespace app {

// Start-up: sets window.SupportedVersions from back.dat (empty without "TheEnd"), first
// writing the default file when there is none. Opened by its bare name: the current
// directory must still be the home folder. Raises EInOutError.
void ReadPlugin(WindowSeam& window);

// The non-empty entries of home_folder + "\back.dat" up to "TheEnd", compared exactly and
// case-sensitively ("theend" is an entry). Raises EInOutError.
std::vector<std::string> ReadPluginEntries(const std::string& home_folder);

}  // namespace app
