// What the restore and the verification take from a backup file list beyond the line
// format: the header's count, and whether an entry may be written at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "backup/collect_files.h"

namespace backup {

// The number after the header's first ":" and blanks (DecimalNumber).
std::optional<std::int64_t> ListHeaderNumber(const std::string& header);

// ListHeaderNumber from 0 up, else nullopt.
std::optional<std::int64_t> ListCount(const std::string& header);

// Why an entry must not be restored: the list may come from anywhere.
enum class EntryFault {
  kNone,
  kUnreadable,  // no "|" after the name, or a size that is no decimal number
  kBadSize,     // below 0 or above kLargestListedSize
  kBadPath,     // leads out of the ICQ folder: absolute, a drive, "." or "..", an empty level
  kBadName,     // stays in it, but a name is one Windows cannot hold
};

// True when a path meant to lie below a folder (a back.dat entry) leads out of it: a leading
// separator, a drive, a "." or ".." level.
bool LeadsOutOfFolder(const std::string& path);

// *entry holds what could be read of the line.
EntryFault ReadListEntry(const std::string& line, ListEntry* entry);

// Control characters shown as "?": they would break the report's line.
std::string Printable(std::string path);
// Folder part and name joined for a report, Printable.
std::string EntryText(const ListEntry& entry);

}  // namespace backup
