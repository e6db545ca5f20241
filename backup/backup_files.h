// The names a backup is made of, and the reports that several actions share.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "app/window_seam.h"

namespace backup {

inline constexpr char kListName[] = "icqlist.txt";           // the list in the backup folder
inline constexpr char kTemporaryListName[] = "icqlist.tmp";  // collected in HomeFolder
// In HomeFolder: the temporary files a restore made, so that the next one knows them.
inline constexpr char kRestoreRecordName[] = "icqtemp.lst";
inline constexpr char kCompressedPrefix[] = "icq";  // "icq" N extension
inline constexpr char kCompressedExtension[] = ".lzz";
inline constexpr char kOldCompressedExtension[] = ".lz";  // left by earlier backups

// A backup over an earlier one is written beside it (backup_commit.h).
inline constexpr char kStagedExtension[] = ".new";           // icqN.new, to become icqN.lzz
inline constexpr char kStagedListName[] = "icqlist.new";     // the new list while written
inline constexpr char kCommittedListName[] = "icqlist.put";  // the new list, whole: committed
inline constexpr char kEarlierFilesName[] = "icqlist.del";   // the earlier files that go

// folder + "\" + name.
std::string PathIn(const std::string& folder, const std::string& name);

// The free space of the drive of a folder text; nullopt for a drive without a figure.
std::optional<unsigned long long> FreeSpace(const std::string& folder);

std::string CompressedFileName(std::uint64_t number, const char* extension = kCompressedExtension);
std::string CompressedFilePath(const std::string& folder, std::uint64_t number,
                               const char* extension = kCompressedExtension);

// N for a name "icqN" + one of the extensions, in any letter case (N from 1, without
// leading zeros); 0 for every other name.
std::uint64_t CompressedFileNumber(const std::string& name,
                                   std::initializer_list<const char*> extensions);

// The numbers 1..total for which a file icqN + one of the extensions exists, ascending,
// found by one search of the folder: a damaged header with a huge total costs nothing.
std::vector<std::uint64_t> StoredFileNumbers(const std::string& backup_path,
                                             std::initializer_list<const char*> extensions,
                                             std::int64_t total);

// An action whose backup folder (window.BackupPath) holds no list. Answers false.
bool ReportBackupFilesNotFound(app::WindowSeam& window);
// True when window.BackupPath holds a list; else false, after that report.
bool FindList(app::WindowSeam& window);

// The start of the backup and the restore: StartBackupFolderAction, and window.ICQPath read
// from its selector (one trailing backslash removed); false, after the report, when it
// holds no icq.exe. The report's last line, the advice to search, is the caller's.
bool StartIcqAction(app::WindowSeam& window, const std::string& search_advice);

// A folder that may not be entered (no rights, or held by a program). Answers false.
bool ReportCannotOpenFolder(app::WindowSeam& window, const std::string& folder);

}  // namespace backup
