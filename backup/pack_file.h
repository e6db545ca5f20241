// The program's one doorway into the engine's file layer, so that the engine knows nothing
// of the window.
#pragma once

#include <cstdint>
#include <string>

#include "app/window_seam.h"
#include "lz/lz_file.h"
#include "platform/files.h"

namespace backup {

// As the engine works through a file's `size` bytes, the gauge moves towards `end` (which the
// caller sets once the file is done), never backwards. The default leaves the gauge alone.
struct GaugeStep {
  int end = 0;
  std::int64_t size = 0;
};

// The gauge `done` bytes into the step that began at `start`.
void MoveGaugeWithin(app::WindowSeam& window, const GaugeStep& step, int start, std::int64_t done);

// Mode "U" or "u" decompresses. Any other mode compresses (LZSS, mode 1): a source that
// cannot be opened while no other program writes to it gets the " Backup unsuccessful!"
// report, ok false and 0. Names are cut to 255 characters; engine errors pass through.
// made: the destination already open (taken), else it is made at its path.
std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok,
                      const GaugeStep& gauge = {}, platform::File* made = nullptr);

// The uncompressed length the source's header states, and the length written.
struct UnpackedLengths {
  std::int64_t stated = 0;
  std::int64_t written = 0;
};
// Decompresses into a file the caller holds open.
std::int64_t UnpackInto(app::WindowSeam& window, platform::File& source,
                        platform::File& destination, const GaugeStep& gauge = {},
                        UnpackedLengths* lengths = nullptr);

// PackFile's compression in two steps, for the workers: false when the source is held or
// missing; then the engine call, which leaves the destination open.
bool OpenSourceToPack(const std::string& source_path, platform::File* source,
                      platform::FileFacts* facts = nullptr);
std::int64_t CompressForBackup(platform::File& source, platform::File& destination,
                               const lz::ProgressProc& progress,
                               const platform::FileFacts* facts = nullptr);

}  // namespace backup
