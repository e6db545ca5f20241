// The program's one doorway into the engine's file layer. It lives here, not in lz/, so
// that the engine knows nothing of the window.
#pragma once

#include <cstdint>
#include <string>

#include "app/window_seam.h"
#include "lz/lz_file.h"

namespace backup {

// Mode "U" or "u": DecompressFile(source, destination), ok unchanged. Any other mode
// compresses: when the source cannot be opened for reading and writing (ICQ holds it
// open, it is read-only or missing), writes the ten-line " Backup unsuccessful!" report,
// sets ok to false and answers 0 without calling the engine; else answers
// CompressFile(source, destination, mode 1). Every existing destination is replaced.
// Names are cut to 255 characters. Errors of the engine pass through unchanged.
std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok);

// PackFile's compression in its three steps, for a backup that compresses ahead in
// worker processes: the open test, its report, and the engine call.
bool SourceCanBePacked(const std::string& source);
void ReportSourceInUse(app::WindowSeam& window);
std::int64_t CompressForBackup(const std::string& source, const std::string& destination);

// The callbacks PackFile passes: yes to every overwrite, and progress only to end the
// engine's operation (EInOutError kOperationAborted) once a stop is requested.
std::uint8_t AlwaysOverwrite(const lz::LZFileInfo& source, const lz::LZFileInfo& destination);
void IgnoreProgress(const lz::LZFileInfo& info, std::int32_t count);
void StopWhenRequested(const lz::LZFileInfo& info, std::int32_t count);

}  // namespace backup
