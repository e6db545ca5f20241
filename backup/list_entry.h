// What the restore and the verification take from a backup file list (icqlist.txt) beyond
// the line format: the header's count, and whether an entry may be written at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace backup {

// The number after the header's first ":", blanks before it allowed, a decimal integer
// with an optional sign; nullopt for anything else.
std::optional<std::int64_t> ListHeaderNumber(const std::string& header);

// ListHeaderNumber from 0 up, else nullopt.
std::optional<std::int64_t> ListCount(const std::string& header);

// Why an entry must not be restored: the list may come from anywhere, and its folder part
// and name become paths below the ICQ folder.
enum class EntryFault {
  kNone,
  kUnreadable,  // no "|" after the name, or a size that is no decimal number
  kBadSize,     // a size below 0 or above what the list can hold
  kBadPath,     // leads out of the ICQ folder: absolute, a drive, UNC, "." or "..", an
                // empty level
  kBadName,     // stays in it, but a name is one Windows cannot hold
};

struct ListEntry {
  std::string folder_part;  // "" for the ICQ folder itself, else "newdb\sub"
  std::string name;
  std::int64_t size = 0;
};

// True when a path meant to lie below a folder (a back.dat entry) leads out of it: a
// leading separator, a drive ("C:") at its start, a "." or ".." level.
bool LeadsOutOfFolder(const std::string& path);

// Splits a file line and checks it; *entry holds what could be read of it.
EntryFault ReadListEntry(const std::string& line, ListEntry* entry);

// A path for a report, each control character shown as "?" (it would break the line).
std::string Printable(std::string path);
// The entry's folder part and name joined for a report, Printable.
std::string EntryText(const ListEntry& entry);

}  // namespace backup
