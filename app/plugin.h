// The plug-in file back.dat in the home folder: entry lines (sub-folders of the ICQ
// folder that are backed up), the end marker "TheEnd", then the supported versions.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/window_seam.h"

namespace app {

// Compared exactly and case-sensitively: "theend" or "TheEnd " are entries.
inline constexpr char kPluginEndMarker[] = "TheEnd";
// SupportedVersions of the default file, written when back.dat is missing.
inline constexpr char kDefaultSupportedVersions[] = "98b-2000b(P)";

// Start-up: sets window.SupportedVersions from back.dat (empty without "TheEnd"), first
// writing the default file when there is none. Opened by its bare name: the current
// directory must still be the home folder. Raises EInOutError.
void ReadPlugin(WindowSeam& window);

// Calls visit with each non-empty entry of home_folder + "\back.dat" up to "TheEnd", while
// the file is open. Raises EInOutError; an exception from visit passes through.
void ForEachPluginEntry(const std::string& home_folder,
                        const std::function<void(const std::string& entry)>& visit);

// The same entries collected into a list.
std::vector<std::string> ReadPluginEntries(const std::string& home_folder);

}  // namespace app
