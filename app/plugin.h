// The plug-in definition file back.dat in the home folder: entry lines (sub-folders of
// the ICQ folder whose contents are backed up), the end marker "TheEnd", then the
// supported-versions line shown in the banner. Lines end in CR LF.
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

// Start-up: sets window.SupportedVersions from HomeFolder's back.dat, writing the
// default eleven-line file first when there is none; an existing file is never
// rewritten. The file is opened by its bare name, so the current directory must still
// be the home folder. A file without "TheEnd" is read to its end and gives an empty
// SupportedVersions. Raises EInOutError when the file cannot be created or read.
void ReadPlugin(WindowSeam& window);

// The backup's reading: calls visit with each entry of home_folder + "\back.dat", in
// file order, up to "TheEnd" or the end of the file, while the file is open. Empty
// lines name no folder and are skipped. Raises EInOutError when the file is missing or
// cannot be read; an exception from visit closes the file and passes through.
void ForEachPluginEntry(const std::string& home_folder,
                        const std::function<void(const std::string& entry)>& visit);

// The same entries collected into a list.
std::vector<std::string> ReadPluginEntries(const std::string& home_folder);

}  // namespace app
