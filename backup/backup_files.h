// The names a backup is made of, and the reports of an action that finds no backup or no
// ICQ: the one place that spells the list's name and the compressed files' names.
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
inline constexpr char kCompressedPrefix[] = "icq";           // "icq" N extension
inline constexpr char kCompressedExtension[] = ".lzz";
inline constexpr char kOldCompressedExtension[] = ".lz";  // left by earlier backups

// A backup over an earlier one is written beside it under names of its own and put in
// its place once whole (backup_commit.h tells what each name means when).
inline constexpr char kStagedExtension[] = ".new";           // icqN.new, to become icqN.lzz
inline constexpr char kStagedListName[] = "icqlist.new";     // the new list while written
inline constexpr char kCommittedListName[] = "icqlist.put";  // the new list, whole: committed
inline constexpr char kEarlierFilesName[] = "icqlist.del";   // the earlier files that go

// folder + "\" + name, the way every action names a file in a folder text.
std::string PathIn(const std::string& folder, const std::string& name);

// The free space of the drive of a folder text; nullopt for a drive without a figure.
std::optional<unsigned long long> FreeSpace(const std::string& folder);

// "icqN" + extension: the name of compressed file `number` of the list.
std::string CompressedFileName(std::uint64_t number, const char* extension = kCompressedExtension);

// PathIn(folder, CompressedFileName(number, extension)).
std::string CompressedFilePath(const std::string& folder, std::uint64_t number,
                               const char* extension = kCompressedExtension);

// N for a name "icqN" + one of the extensions, in any letter case (N from 1, written
// without leading zeros); 0 for every other name.
std::uint64_t CompressedFileNumber(const std::string& name,
                                   std::initializer_list<const char*> extensions);

// The numbers 1..total for which a file icqN + one of the extensions exists, ascending.
// Found by one search of the folder instead of a look-up per number and name, so that
// a damaged header with a huge total costs nothing.
std::vector<std::uint64_t> StoredFileNumbers(const std::string& backup_path,
                                             std::initializer_list<const char*> extensions,
                                             std::int64_t total);

// The screen of an action whose backup folder (window.BackupPath) holds no list.
// Answers false, the action's result.
bool ReportBackupFilesNotFound(app::WindowSeam& window);

// The screen of an action whose ICQ folder (window.ICQPath) holds no icq.exe; the last
// line, the advice to search, is the caller's (the actions word it differently).
void ReportIcqNotFound(app::WindowSeam& window, const std::string& search_advice);

}  // namespace backup
