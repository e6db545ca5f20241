// The names a backup is made of, and what the actions share: the backup folder text, reports,
// and the run locks that keep their folders from another copy of the program meanwhile.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "app/icq_folder.h"
#include "app/window_seam.h"
#include "platform/run_lock.h"

namespace backup {

inline constexpr char kListName[] = "icqlist.txt";           // the list in the backup folder
inline constexpr char kTemporaryListName[] = "icqlist.tmp";  // collected in HomeFolder
// In HomeFolder: the temporary files a restore made, so that the next one knows them.
inline constexpr char kRestoreRecordName[] = "icqtemp.lst";
inline constexpr char kCompressedPrefix[] = "icq";  // "icq" N extension
inline constexpr char kCompressedExtension[] = ".lzz";
inline constexpr char kOldCompressedExtension[] = ".lz";  // left by earlier backups

// A backup over an earlier one (backup_commit.h).
inline constexpr char kStagedExtension[] = ".new";
inline constexpr char kStagedListName[] = "icqlist.new";
inline constexpr char kCommittedListName[] = "icqlist.put";
inline constexpr char kEarlierFilesName[] = "icqlist.del";

std::string PathIn(const std::string& folder, const std::string& name);

// Nullopt for a drive without a figure.
std::optional<unsigned long long> FreeSpace(const std::string& folder);

std::string CompressedFileName(std::uint64_t number, const char* extension = kCompressedExtension);
std::string CompressedFilePath(const std::string& folder, std::uint64_t number,
                               const char* extension = kCompressedExtension);

// N for "icqN" + one of the extensions, in any letter case, N without leading zeros; else 0.
std::uint64_t CompressedFileNumber(const std::string& name,
                                   std::initializer_list<const char*> extensions);

// The numbers 1..total of the icqN files there (with folders_too, of folders so named too),
// ascending, by one search of the folder: a damaged header with a huge total costs nothing.
std::vector<std::uint64_t> StoredFileNumbers(const std::string& backup_path,
                                             std::initializer_list<const char*> extensions,
                                             std::int64_t total, bool folders_too = false);

// The backup folder text, one trailing backslash removed. One relative to the current
// directory (which the walks move) is made a full path first, shown in the edit box.
std::string ReadBackupFolder(app::WindowSeam& window);

// The start of every action on the backup folder: a cleared screen, BackupPath read.
void StartBackupFolderAction(app::WindowSeam& window);

// A backup folder without a list. Answers false.
bool ReportBackupFilesNotFound(app::WindowSeam& window);
// False, after that report, when window.BackupPath holds no list.
bool FindList(app::WindowSeam& window);

// The start of the backup and the restore: false, after the report ending in
// `search_advice`, when window.ICQPath holds no icq.exe.
bool StartIcqAction(app::WindowSeam& window, const std::string& search_advice);

// No rights, or held by a program. Answers false.
bool ReportCannotOpenFolder(app::WindowSeam& window, const std::string& folder);

// False, after the report, when another copy of the program holds the folder. A folder that
// cannot hold a lock file is used without one: no other run can write there either.
bool LockFolder(app::WindowSeam& window, platform::RunLocks& locks, const std::string& folder);

// HomeFolder, BackupPath and, with `icq_folder`, ICQPath, in that order; then finishes
// what a killed backup left.
std::optional<platform::RunLocks> LockActionFolders(app::WindowSeam& window,
                                                    bool icq_folder = false);

}  // namespace backup
