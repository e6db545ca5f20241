#include "app/settings.h"

#include <exception>
#include <optional>

#include "platform/files.h"
#include "platform/io_error.h"
#include "platform/text_file.h"

namespace app {
namespace {

// "C:\\pref.cfg" at a drive root, which the file system reads as "C:\pref.cfg".
std::string PrefsPath(const WindowSeam& window) { return window.HomeFolder + "\\pref.cfg"; }

}  // namespace

bool PathIsFolder(const std::string& path) noexcept {
  // An empty text would otherwise resolve to the current directory.
  if (path.empty()) return false;
  try {
    const auto attributes = platform::GetAttributes(path);
    return attributes && (*attributes & platform::faDirectory) != 0;
  } catch (const std::exception&) {
    return false;
  }
}

void ReadPrefs(WindowSeam& window) {
  const std::string path = PrefsPath(window);
  if (!platform::FileExists(path)) {
    window.ICQPath = kNoFolder;
    window.BackupPath = kNoFolder;
    return;
  }
  platform::TextReader reader(path);
  std::string icq_path, backup_path;  // a missing line reads as empty text
  if (reader.ReadLine(icq_path)) reader.ReadLine(backup_path);
  reader.Close();
  window.ICQPath = icq_path;
  window.BackupPath = backup_path;
}

// Written beside pref.cfg and renamed over it: a crash or a full disk keeps the old one.
void SavePrefs(const WindowSeam& window) {
  const std::string new_prefs = window.HomeFolder + "\\pref.tmp";
  std::optional<platform::TextWriter> writer;
  writer.emplace(new_prefs, platform::OpenMode::kCreate);
  try {
    writer->WriteLine(window.ICQPath);
    writer->WriteLine(window.BackupPath);
    writer->Flush();
    writer->Close();
    if (int code = platform::RenameFile(new_prefs, PrefsPath(window), true)) {
      platform::RaiseIoError(code);
    }
  } catch (const platform::EInOutError&) {
    writer.reset();  // closed, so that the half-written file can go
    static_cast<void>(platform::DeleteFile(new_prefs));
    throw;
  }
}

}  // namespace app
