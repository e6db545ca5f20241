// The program's one doorway into the engine's file layer, here so that the engine knows
// nothing of the window.
#pragma once

#include <cstdint>
#include <string>

#include "app/window_seam.h"
#include "lz/lz_file.h"
#include "platform/files.h"

namespace backup {

// The gauge's way through one file, for a caller that sets it to `end` once the file is
// done: as the engine works through the file's `size` bytes, the gauge moves from its value
// at the start towards `end`, never backwards and never to `end` itself. The default
// leaves the gauge alone.
struct GaugeStep {
  int end = 0;
  std::int64_t size = 0;
};

// The gauge `done` bytes into the step that began at `start`.
void MoveGaugeWithin(app::WindowSeam& window, const GaugeStep& step, int start, std::int64_t done);

// Mode "U" or "u": DecompressFile(source, destination), ok unchanged. Any other mode
// compresses: a source that cannot be opened while no other program writes to it (ICQ holds
// it, or it is missing) gets the " Backup unsuccessful!" report, ok false and 0, without the
// engine; else CompressFile's answer, mode 1, into the destination made or truncated. Names
// are cut to 255 characters. Engine errors pass through. For a source of more than 256 KiB
// the window is refreshed at every block.
std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok,
                      const GaugeStep& gauge = {});

// The uncompressed length the source's header states, and the length written.
struct UnpackedLengths {
  std::int64_t stated = 0;
  std::int64_t written = 0;
};
// Mode "U" into a file the caller has made and holds open, for the restore.
std::int64_t UnpackInto(app::WindowSeam& window, platform::File& source,
                        platform::File& destination, const GaugeStep& gauge = {},
                        UnpackedLengths* lengths = nullptr);

// PackFile's compression in steps, for the workers: the open test (false when the source is
// held or missing; `facts` as the open found them), and the engine call on the open source
// into the new destination, which it leaves open.
bool OpenSourceToPack(const std::string& source_path, platform::File* source,
                      platform::FileFacts* facts = nullptr);
std::int64_t CompressForBackup(platform::File& source, platform::File& destination,
                               const lz::ProgressProc& progress,
                               const platform::FileFacts* facts = nullptr);

}  // namespace backup
