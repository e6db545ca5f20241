#include "backup/backup_files.h"

#include "app/reports.h"

namespace backup {

std::string PathIn(const std::string& folder, const std::string& name) {
  return folder + "\\" + name;
}

std::string CompressedFileName(std::uint64_t number, const char* extension) {
  return kCompressedPrefix + std::to_string(number) + extension;
}

std::string CompressedFilePath(const std::string& folder, std::uint64_t number,
                               const char* extension) {
  return PathIn(folder, CompressedFileName(number, extension));
}

bool ReportBackupFilesNotFound(app::WindowSeam& window) {
  return app::ErrorScreen(window, " ICQ Backup Files not found in ",
                          app::ShortPath(window.BackupPath) + "!",
                          " Please check your Backup Folder at",
                          " \"2. Select / Edit Backup Folder\" again!");
}

void ReportIcqNotFound(app::WindowSeam& window, const std::string& search_advice) {
  window.ClearScreen();
  for (const std::string& line :
       {std::string(" "), std::string(" Error!"), std::string(" "),
        std::string(" ICQ cannot be found in "), app::ShortPath(window.ICQPath), std::string(" "),
        std::string(" "), std::string(" Note:"), std::string(" 1. Please check your ICQ Folder at"),
        std::string("     \"1. Select ICQ Folder\" again or"), search_advice}) {
    window.AppendLine(line);
  }
}

}  // namespace backup
