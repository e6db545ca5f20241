#include "backup/check_uin.h"

#include <cstdint>

#include "app/reports.h"
#include "app/settings.h"
#include "backup/folder_text.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace backup {
namespace {

const char kListName[] = "\\icqlist.txt";

bool IsUINLine(const std::string& line) {
  auto upper = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; };
  return line.size() >= 3 && upper(line[0]) == 'U' && upper(line[1]) == 'I' &&
         upper(line[2]) == 'N';
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
  window.ClearScreen();
  window.AppendLine(" ");
  window.SetGauge(0);
  window.BackupPath = ReadBackupFolder(window);

  // An empty folder text names no folder: without this test "\icqlist.txt" would be
  // looked up in the root of the current drive.
  const std::string list_path = window.BackupPath + kListName;
  if (window.BackupPath.empty() || !platform::FileExists(list_path)) {
    app::ErrorScreen(window, " ICQ Backup Files not found in ",
                     app::ShortPath(window.BackupPath) + "!", " Please check your Backup Folder at",
                     " \"2. Select / Edit Backup Folder\" again!");
    return false;
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
