#include "backup/check_uin.h"

#include <cstdint>
#include <string>

#include "app/reports.h"
#include "app/settings.h"
#include "backup/backup_files.h"
#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace backup {
namespace {

// A line without "*" is not one the backup writes; it yields an empty UIN, like a name
// without ".", so that it still shows up in the count and on the screen.
std::string UINOfLine(const std::string& line) {
  // Without "*", or with nothing after its run, the start is npos: no "." can follow it.
  const std::size_t start = line.find_first_not_of('*', line.find('*'));
  const std::size_t dot = line.find('.');
  if (dot == std::string::npos || dot < start) return "";
  return line.substr(start, dot - start);
}

}  // namespace

bool CheckUINClick(app::WindowSeam& window) {
  StartBackupFolderAction(window);
  const std::optional<platform::RunLocks> locks = LockActionFolders(window);
  if (!locks || !FindList(window)) return false;
  app::SavePrefs(window);

  std::string uins;        // each followed by one space
  std::int64_t count = 0;  // wide enough that no list can wrap it
  platform::TextReader list(PathIn(window.BackupPath, kListName));
  for (std::string line; list.ReadLine(line);) {
    if (line.size() >= 3 && platform::EqualIgnoringAsciiCase(line.substr(0, 3), "UIN")) {
      uins += UINOfLine(line) + ' ';
      ++count;
    }
  }
  list.Close();
  if (count == 0) {
    app::AppendLines(window, {" Error!", " ", " No UIN(s) Found! ", " ", " ",
                              " Note:", " Your backup files MAY be corrupted!"});
    return false;
  }
  window.AppendLine(" " + std::to_string(count) + " UIN(s) Found!");
  window.AppendLine(" ");
  // A UIN with a space in it shows as two lines.
  for (std::size_t start = 0, space; (space = uins.find(' ', start)) != std::string::npos;
       start = space + 1) {
    window.AppendLine(" " + uins.substr(start, space - start));
  }
  window.SetGauge(100);
  return true;
}

}  // namespace backup
