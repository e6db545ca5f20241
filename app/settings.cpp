#include "app/settings.h"

#include <exception>

#include "platform/files.h"
#include "platform/text_file.h"

namespace app {
namespace {

// Joined as the program always did: at a drive root this gives "C:\\pref.cfg", which
// the file system reads as "C:\pref.cfg".
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

void SavePrefs(const WindowSeam& window) {
  platform::TextWriter writer(PrefsPath(window), platform::OpenMode::kCreate);
  writer.WriteLine(window.ICQPath);
  writer.WriteLine(window.BackupPath);
  writer.Close();
}

}  // namespace app
