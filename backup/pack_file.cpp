#include "backup/pack_file.h"

#include <algorithm>
#include <functional>

#include "app/reports.h"
#include "platform/files.h"
#include "platform/interrupt.h"

namespace backup {
namespace {

constexpr std::size_t kLongestName = 255;
constexpr std::uint8_t kCompressLzss = 1;
// The engine takes a few milliseconds for a smaller file: the window's own repaints show it.
constexpr std::int64_t kQuickFileBytes = 256 * 1024;

// At every block: the gauge, the window's turn and the stop request.
lz::ProgressProc WindowProgress(app::WindowSeam& window, const GaugeStep& step) {
  return [&window, step, start = window.Gauge(), refresh = false, done = std::int64_t{0}](
             const lz::LZFileInfo& info, std::int32_t count) mutable {
    platform::RaiseIfStopRequested();
    // The start tells the file's size.
    if (count == lz::kProgressStart) refresh = info.uncompressed_size > kQuickFileBytes;
    if (count > 0) {
      done += count;
      window.CountBytes(count);
      MoveGaugeWithin(window, step, start, done);
    }
    if (refresh) window.Refresh();
  };
}

}  // namespace

void MoveGaugeWithin(app::WindowSeam& window, const GaugeStep& step, int start, std::int64_t done) {
  if (step.size <= 0 || step.end <= start) return;
  const std::int64_t part = std::min(done, step.size);
  const int percent = start + static_cast<int>((step.end - start) * part / step.size);
  if (percent < step.end && percent > window.Gauge()) window.SetGauge(percent);
}

std::int64_t UnpackInto(app::WindowSeam& window, platform::File& source,
                        platform::File& destination, const GaugeStep& gauge,
                        UnpackedLengths* lengths) {
  const lz::ProgressProc progress = WindowProgress(window, gauge);
  const auto told = [&](const lz::LZFileInfo& info, std::int32_t count) {
    if (lengths && count == lz::kProgressStart) *lengths = {info.uncompressed_size, 0};
    if (lengths && count > 0) lengths->written += count;
    progress(info, count);
  };
  return lz::DecompressInto(source, destination, told);
}

bool OpenSourceToPack(const std::string& source_path, platform::File* source,
                      platform::FileFacts* facts) {
  // A file ICQ writes would be caught mid-change; a read-only data file passes.
  return platform::File::TryOpen(source_path.substr(0, kLongestName),
                                 platform::OpenMode::kReadDenyWrite, source, facts) == 0;
}

std::int64_t CompressForBackup(platform::File& source, platform::File& destination,
                               const lz::ProgressProc& progress, const platform::FileFacts* facts) {
  return lz::CompressOpenFile(source, destination, progress, kCompressLzss, facts);
}

std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok,
                      const GaugeStep& gauge, platform::File* made) {
  const lz::ProgressProc progress = WindowProgress(window, gauge);
  if (!mode.empty() && (mode[0] == 'U' || mode[0] == 'u')) {
    return lz::DecompressFile(source.substr(0, kLongestName), destination.substr(0, kLongestName),
                              /*confirm=*/nullptr, progress);
  }
  platform::File input;
  if (!OpenSourceToPack(source, &input)) {
    app::Report(window, {" ", " Error!", " ", " Backup unsuccessful!", " ", " ",
                         " Note:", " ICQ appears to be active!", " No ICQ flower should be visible",
                         " in the system tray."});
    ok = false;
    return 0;
  }
  platform::File output =
      made && made->IsOpen()
          ? std::move(*made)
          : platform::File::Open(destination.substr(0, kLongestName), platform::OpenMode::kCreate);
  const std::int64_t written = CompressForBackup(input, output, progress);
  output.Close();
  return written;
}

}  // namespace backup
