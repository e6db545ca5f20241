#include "backup/pack_file.h"

#include "platform/files.h"

namespace backup {
namespace {

constexpr std::size_t kLongestName = 255;
constexpr std::uint8_t kCompressLzss = 1;

}  // namespace

std::uint8_t AlwaysOverwrite(const lz::LZFileInfo&, const lz::LZFileInfo&) { return 1; }

void IgnoreProgress(const lz::LZFileInfo&, std::int32_t) {}

std::int64_t PackFile(app::WindowSeam& window, const std::string& source,
                      const std::string& destination, const std::string& mode, bool& ok) {
  const std::string from = source.substr(0, kLongestName);
  const std::string to = destination.substr(0, kLongestName);
  if (!mode.empty() && (mode[0] == 'U' || mode[0] == 'u')) {
    return lz::DecompressFile(from, to, AlwaysOverwrite, IgnoreProgress);
  }
  // A data file that ICQ keeps open cannot be opened for writing: compressing it now
  // would store a file caught in the middle of a change.
  platform::File probe;
  if (platform::File::TryOpen(from, platform::OpenMode::kReadWrite, &probe) != 0) {
    window.ClearScreen();
    for (const char* line :
         {" ", " Error!", " ", " Backup unsuccessful!", " ", " ", " Note:",
          " ICQ appears to be active!", " No ICQ flower should be visible",
          " in the system tray."}) {
      window.AppendLine(line);
    }
    ok = false;
    return 0;
  }
  probe = platform::File();  // closed again before the engine opens it
  return lz::CompressFile(from, to, AlwaysOverwrite, IgnoreProgress, kCompressLzss);
}

}  // namespace backup
