#include "backup/check_date.h"

#include <cstdio>

#include "app/reports.h"
#include "app/settings.h"
#include "backup/backup_files.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/find.h"

namespace backup {
namespace {

// "dd mmm yyyy": two-digit day, the locale's abbreviated month name, four-digit year
// ("05 Mar 2001" in an English locale).
std::string FormatDate(const platform::LocalDateTime& t) {
  const auto& months = platform::ShortMonthNames();
  const std::string& month = (t.month >= 1 && t.month <= 12) ? months[t.month - 1] : "";
  char text[128];
  std::snprintf(text, sizeof text, "%02d %s %04d", t.day, month.c_str(), t.year);
  return text;
}

}  // namespace

bool CheckDateClick(app::WindowSeam& window) {
  StartBackupFolderAction(window);
  const std::optional<platform::RunLocks> locks = LockActionFolders(window);
  if (!locks) return false;

  platform::DirectorySearch search;
  platform::SearchRec list;
  // An empty folder text names no folder: "\icqlist.txt" would be looked up at a drive's root.
  const bool found =
      !window.BackupPath.empty() &&
      search.FindFirst(PathIn(window.BackupPath, kListName), platform::faAnyFile, &list) == 0;
  if (!found) return ReportBackupFilesNotFound(window);
  app::SavePrefs(window);
  app::Report(
      window,
      {" ", " Backup Files Found!", " ", " ", " Today is: " + FormatDate(platform::Now()), " ",
       " Date of Backup Files: " + FormatDate(platform::UnpackDosTime(list.dos_time))});
  window.SetGauge(100);
  return true;
}

}  // namespace backup
