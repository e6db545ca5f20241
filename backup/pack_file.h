// The program's one doorway into the engine's file layer. It lives here, not in lz/, so
// that the engine knows nothing of the window.
#pragma once

#include <cstdint>
#include <string>

#include "app/window_seam.h"
#include "lz/lz_file.h"
#include "platform/files.h"

namespace backup {

// The gauge's way through one file, for a caller that sets it to `end` once the file
// is done: while the engine works through the file's `size` bytes of data, PackFile
// moves the gauge from its value at the start towards `end`, in proportion to the bytes
// done, but never to `end` itself. The default leaves the gauge alone.
struct GaugeStep {
  int end = 0;
  std::int64_t size = 0;
};

// The gauge `done` bytes into the step that began at `start`: moved forward in
// proportion, never backwards and never to the step's end.
void MoveGaugeWithin(app::WindowSeam& window, const GaugeStep& step, int start, std::int64_t done);

// Mode "U" or "u": DecompressFile(source, destination), ok unchanged. Any other mode
// compresses: when the source cannot be opened for reading while no other program
// writes to it (ICQ holds it open, or it is missing), writes the ten-line " Backup
// unsuccessful!" report, sets ok to false and answers 0 without calling the engine; else
// compresses the source it opened into the destination, made or truncated, and answers
// what CompressFile(source, destination, mode 1) answers. A read-only source is
// compressed. Names are cut to 255 characters. Errors of the engine pass through
// unchanged.
// For a source of more than 256 KiB, the window is refreshed as the engine starts and
// at every block the engine moves.
std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok,
                      const GaugeStep& gauge = {});

// PackFile's mode "U" into a file the caller has made and holds open
// (lz::DecompressInto), for the restore, which makes its files through held folders.
// `lengths`, if given, gets the uncompressed length that the source's header states and
// the length written, as the engine tells them.
struct UnpackedLengths {
  std::int64_t stated = 0;
  std::int64_t written = 0;
};
std::int64_t UnpackInto(app::WindowSeam& window, platform::File& source,
                        platform::File& destination, const GaugeStep& gauge = {},
                        UnpackedLengths* lengths = nullptr);

// PackFile's compression in its three steps, for a backup that compresses ahead in
// worker threads: the open test, which opens the source in `*source` (false when it is
// held or missing) and gives its facts as the open found them, its report, and the
// engine call on the open source (with those facts, if given) and the new, empty
// destination, which it leaves open (progress as the engine's, which also serves to
// raise at a stop request).
bool OpenSourceToPack(const std::string& source_path, platform::File* source,
                      platform::FileFacts* facts = nullptr);
void ReportSourceInUse(app::WindowSeam& window);
std::int64_t CompressForBackup(platform::File& source, platform::File& destination,
                               const lz::ProgressProc& progress,
                               const platform::FileFacts* facts = nullptr);

}  // namespace backup
