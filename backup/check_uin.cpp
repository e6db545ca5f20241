#include "backup/check_uin.h"

#include <cstdint>

#include "app/reports.h"
#include "app/settings.h"
#include "backup/action_locks.h"
#include "backup/backup_files.h"
#include "backup/folder_text.h"
#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace backup {
namespace {

bool IsUINLine(const std::string& line) {
  return line.size() >= 3 && platform::EqualIgnoringAsciiCase(line.substr(0, 3), "UIN");
}

// A line without "*" is not one the backup writes; it yields an empty UIN, like a name
// without ".", so that it still shows up in the count and on the screen.
std::string UINOfLine(const std::string& line) {
  std::size_t star = line.find('*');
  if (star == std::string::npos) return "";
  std::size_t start = line.find_first_not_of('*', star);
  if (start == std::string::npos) start = line.size();
  std::size_t dot = line.find('.');
  if (dot == std::string::npos || dot < start) return "";
  return line.substr(start, dot - start);
}

}  // namespace

UINScan ScanUINs(const std::string& list_path) {
  platform::TextReader list(list_path);
  UINScan scan;
  std::int64_t count = 0;  // wide enough that no list can wrap it
  std::string line;
  while (list.ReadLine(line)) {
    if (!IsUINLine(line)) continue;
    scan.uin_text += UINOfLine(line);
    scan.uin_text += ' ';
    ++count;
  }
  list.Close();
  scan.count = std::to_string(count);
  return scan;
}

bool CheckUINClick(app::WindowSeam& window) {
  StartBackupFolderAction(window);
  const std::optional<platform::RunLocks> locks = LockActionFolders(window);
  if (!locks) return false;

  // An empty folder text names no folder: without this test "\icqlist.txt" would be
  // looked up in the root of the current drive.
  const std::string list_path = PathIn(window.BackupPath, kListName);
  if (window.BackupPath.empty() || !platform::FileExists(list_path)) {
    return ReportBackupFilesNotFound(window);
  }
  app::SavePrefs(window);

  const UINScan scan = ScanUINs(list_path);
  if (scan.count != "0") {
    window.AppendLine(" " + scan.count + " UIN(s) Found!");
    window.AppendLine(" ");
    std::string collected;
    for (char c : scan.uin_text) {
      if (c == ' ') {
        window.AppendLine(" " + collected);
        collected.clear();
      } else {
        collected += c;
      }
    }
    window.SetGauge(100);
    return true;
  }
  for (const char* line : {" Error!", " ", " No UIN(s) Found! ", " ", " ",
                           " Note:", " Your backup files MAY be corrupted!"}) {
    window.AppendLine(line);
  }
  return false;
}

}  // namespace backup
