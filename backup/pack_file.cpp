#include "backup/pack_file.h"

#include <algorithm>

#include "platform/files.h"
#include "platform/interrupt.h"

namespace backup {
namespace {

constexpr std::size_t kLongestName = 255;
constexpr std::uint8_t kCompressLzss = 1;
// A file of at most this many bytes takes the engine a few milliseconds: the window's
// own throttled repaints show it, where a refresh for each one would paint once a file.
constexpr std::int64_t kQuickFileBytes = 256 * 1024;

// The engine's progress on one file, shown in the window: the gauge moves through its
// step, and the window gets its turn at every block.
class WindowProgress {
 public:
  WindowProgress(app::WindowSeam& window, const GaugeStep& step, const std::string& source)
      : window_(window),
        step_(step),
        start_(window.Gauge()),
        refresh_(platform::GetFileSize(source).value_or(0) > kQuickFileBytes) {}

  // Before the engine starts, which first reads the whole file for its CRC-32.
  void Start() {
    if (refresh_) window_.Refresh();
  }

  // Each block also gives a stop request its chance.
  lz::ProgressProc Callback() {
    return [this](const lz::LZFileInfo&, std::int32_t count) { Moved(count); };
  }

 private:
  void Moved(std::int32_t count) {
    platform::RaiseIfStopRequested();
    if (count > 0 && step_.size > 0 && step_.end > start_) {
      done_ = std::min(done_ + count, step_.size);
      const int percent = start_ + static_cast<int>((step_.end - start_) * done_ / step_.size);
      if (percent < step_.end && percent > window_.Gauge()) window_.SetGauge(percent);
    }
    if (refresh_) window_.Refresh();
  }

  app::WindowSeam& window_;
  const GaugeStep step_;
  const int start_;
  const bool refresh_;
  std::int64_t done_ = 0;
};

// Every existing destination is replaced; progress serves only to end the engine's
// operation (EInOutError kOperationAborted) once a stop is requested.
std::uint8_t AlwaysOverwrite(const lz::LZFileInfo&, const lz::LZFileInfo&) { return 1; }
void StopWhenRequested(const lz::LZFileInfo&, std::int32_t) { platform::RaiseIfStopRequested(); }

}  // namespace

std::int64_t UnpackInto(app::WindowSeam& window, const std::string& source,
                        platform::File& destination, const GaugeStep& gauge) {
  WindowProgress progress(window, gauge, source);
  progress.Start();
  return lz::DecompressInto(source.substr(0, kLongestName), destination, progress.Callback());
}

bool SourceCanBePacked(const std::string& source) {
  // A data file that ICQ keeps open for writing would be stored caught in the middle
  // of a change. The test reads only, so a read-only data file passes. The file is
  // closed again at once, before the engine opens it.
  platform::File probe;
  return platform::File::TryOpen(source.substr(0, kLongestName), platform::OpenMode::kReadDenyWrite,
                                 &probe) == 0;
}

void ReportSourceInUse(app::WindowSeam& window) {
  window.ClearScreen();
  for (const char* line : {" ", " Error!", " ", " Backup unsuccessful!", " ", " ",
                           " Note:", " ICQ appears to be active!",
                           " No ICQ flower should be visible", " in the system tray."}) {
    window.AppendLine(line);
  }
}

std::int64_t CompressForBackup(const std::string& source, const std::string& destination) {
  return lz::CompressFile(source.substr(0, kLongestName), destination.substr(0, kLongestName),
                          AlwaysOverwrite, StopWhenRequested, kCompressLzss);
}

std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok,
                      const GaugeStep& gauge) {
  WindowProgress progress(window, gauge, source);
  if (!mode.empty() && (mode[0] == 'U' || mode[0] == 'u')) {
    progress.Start();
    return lz::DecompressFile(source.substr(0, kLongestName), destination.substr(0, kLongestName),
                              AlwaysOverwrite, progress.Callback());
  }
  if (!SourceCanBePacked(source)) {
    ReportSourceInUse(window);
    ok = false;
    return 0;
  }
  progress.Start();
  return lz::CompressFile(source.substr(0, kLongestName), destination.substr(0, kLongestName),
                          AlwaysOverwrite, progress.Callback(), kCompressLzss);
}

}  // namespace backup
