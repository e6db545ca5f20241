#include "backup/pack_file.h"

#include "platform/files.h"
#include "platform/interrupt.h"

namespace backup {
namespace {

constexpr std::size_t kLongestName = 255;
constexpr std::uint8_t kCompressLzss = 1;

}  // namespace

std::uint8_t AlwaysOverwrite(const lz::LZFileInfo&, const lz::LZFileInfo&) { return 1; }

void IgnoreProgress(const lz::LZFileInfo&, std::int32_t) {}

void StopWhenRequested(const lz::LZFileInfo&, std::int32_t) { platform::RaiseIfStopRequested(); }

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
                          AlwaysOverwrite, StopWhenRequested, kCompressLzss);
}

std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok) {
  if (!mode.empty() && (mode[0] == 'U' || mode[0] == 'u')) {
    return lz::DecompressFile(source.substr(0, kLongestName), destination.substr(0, kLongestName),
                              AlwaysOverwrite, StopWhenRequested);
  }
  if (!SourceCanBePacked(source)) {
    ReportSourceInUse(window);
    ok = false;
    return 0;
  }
  return CompressForBackup(source, destination);
}

}  // namespace backup
