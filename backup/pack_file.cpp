#include "backup/pack_file.h"

#include <algorithm>

#include "platform/files.h"

namespace backup {
namespace {

constexpr std::size_t kLongestName = 255;
constexpr std::uint8_t kCompressLzss = 1;

// The engine's progress on one file, shown in the window: the gauge moves through its
// step, and the window gets its turn at every block.
class WindowProgress {
 public:
  WindowProgress(app::WindowSeam& window, const GaugeStep& step)
      : window_(window), step_(step), start_(window.Gauge()) {}

  lz::ProgressProc Callback() {
    return [this](const lz::LZFileInfo&, std::int32_t count) { Moved(count); };
  }

 private:
  void Moved(std::int32_t count) {
    if (count > 0 && step_.size > 0 && step_.end > start_) {
      done_ = std::min(done_ + count, step_.size);
      const int percent = start_ + static_cast<int>((step_.end - start_) * done_ / step_.size);
      if (percent < step_.end && percent > window_.Gauge()) window_.SetGauge(percent);
    }
    window_.Refresh();
  }

  app::WindowSeam& window_;
  const GaugeStep step_;
  const int start_;
  std::int64_t done_ = 0;
};

}  // namespace

std::uint8_t AlwaysOverwrite(const lz::LZFileInfo&, const lz::LZFileInfo&) { return 1; }

void IgnoreProgress(const lz::LZFileInfo&, std::int32_t) {}

bool SourceCanBePacked(const std::string& source) {
  // A data file that ICQ keeps open cannot be opened for writing: compressing it now
  // would store a file caught in the middle of a change. The file is closed again at
  // once, before the engine opens it.
  platform::File probe;
  return platform::File::TryOpen(source.substr(0, kLongestName), platform::OpenMode::kReadWrite,
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
                          AlwaysOverwrite, IgnoreProgress, kCompressLzss);
}

std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok,
                      const GaugeStep& gauge) {
  WindowProgress progress(window, gauge);
  if (!mode.empty() && (mode[0] == 'U' || mode[0] == 'u')) {
    window.Refresh();
    return lz::DecompressFile(source.substr(0, kLongestName), destination.substr(0, kLongestName),
                              AlwaysOverwrite, progress.Callback());
  }
  if (!SourceCanBePacked(source)) {
    ReportSourceInUse(window);
    ok = false;
    return 0;
  }
  window.Refresh();
  return lz::CompressFile(source.substr(0, kLongestName), destination.substr(0, kLongestName),
                          AlwaysOverwrite, progress.Callback(), kCompressLzss);
}

}  // namespace backup
