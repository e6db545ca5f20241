#include "backup/list_backup.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "app/icq_folder.h"
#include "app/reports.h"
#include "backup/backup_files.h"
#include "backup/collect_files.h"
#include "lz/lz_file.h"
#include "lz/lz_format.h"
#include "platform/files.h"
#include "platform/text_file.h"

namespace backup {
namespace {

constexpr char kNoDate[] = "-";

// " number size date-time method path", the columns lined up for the usual figures.
std::string Row(const std::string& number, const std::string& size, const std::string& date,
                const std::string& method, const std::string& path) {
  char text[128];
  std::snprintf(text, sizeof text, " %6s %12s  %-19s  %-6s", number.c_str(), size.c_str(),
                date.c_str(), method.c_str());
  return text + std::string("  ") + path;
}

// The date-time and method of compressed file `number`, or why there are none.
std::pair<std::string, std::string> StoredFacts(const std::string& backup_path,
                                                std::uint64_t number, std::int64_t size) {
  const std::string compressed = CompressedFilePath(backup_path, number);
  lz::LZFileInfo info;
  const std::int32_t kind = lz::GetFileInfo(compressed, info);
  if (kind == lz::kNoSuchFile) return {size == 0 ? kNoDate : "missing", kNoDate};
  if (kind != 1) return {"not compressed", kNoDate};
  return {lz::DateTimeText(info.date_time), lz::MethodName(info.method)};
}

}  // namespace

bool ListBackupClick(app::WindowSeam& window) {
  window.ClearScreen();
  window.BackupPath = app::WithoutTrailingBackslash(window.BackupFolderText());
  const std::optional<platform::RunLocks> locks = LockActionFolders(window);
  if (!locks || !FindList(window)) return false;
  const std::string list_path = PathIn(window.BackupPath, kListName);
  platform::TextReader list(list_path);
  std::string line;
  list.ReadLine(line);
  const std::optional<std::int64_t> count = ListCount(line);
  if (!count) {
    list.Close();
    return app::ErrorScreen(window, " Backup File List damaged: ", app::ShortPath(list_path) + "!",
                            " Its first line has no file count!", " ");
  }
  app::AppendLines(
      window, {" ", " Backup of " + std::to_string(*count) + " files in " + window.BackupPath + ":",
               " ", Row("number", "size", "date-time", "method", "path")});
  std::uint64_t number = 0;
  std::int64_t total = 0;
  while (list.ReadLine(line)) {
    ++number;
    ListEntry entry;
    const EntryFault fault = ReadListEntry(line, &entry);
    if (fault == EntryFault::kUnreadable || fault == EntryFault::kBadSize) {
      window.AppendLine(Row(std::to_string(number), "?", "-", "-", "entry cannot be read"));
      continue;
    }
    const auto [date, method] = StoredFacts(window.BackupPath, number, entry.size);
    std::string path = EntryText(entry);
    if (fault == EntryFault::kBadPath) path += "  (outside the ICQ folder: never restored)";
    window.AppendLine(Row(std::to_string(number), std::to_string(entry.size), date, method, path));
    total += entry.size;
  }
  list.Close();
  window.AppendLine(" ");
  window.AppendLine(" " + std::to_string(number) + " entries, " + std::to_string(total) + " bytes");
  return true;
}

}  // namespace backup
