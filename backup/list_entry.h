// What the restore and the verification take from a backup file list (icqlist.txt) beyond
// the line format: the header's count, and whether an entry may be written at all.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace backup {

// The number of the list's header: the text after its first ":", blanks before it
// allowed, a decimal integer with an optional sign. nullopt for anything else (no ":",
// no number, trailing text, a number out of range).
std::optional<std::int64_t> ListHeaderNumber(const std::string& header);

// The entry count of the list's header: ListHeaderNumber from 0 up, else nullopt.
std::optional<std::int64_t> ListCount(const std::string& header);

// Why an entry of the list must not be restored: the list may come from anywhere, and its
// folder part and name become paths below the ICQ folder.
enum class EntryFault {
  kNone,
  kUnreadable,  // no "|" after the name, or a size that is no decimal number
  kBadSize,     // a size below 0 or above what the list and the header can hold
  kBadPath,     // leads out of the ICQ folder: absolute, a drive, UNC, "." or "..",
                // an empty component
  kBadName,     // stays in it, but a name is one Windows cannot hold
                // (platform::IsWindowsName)
};

struct ListEntry {
  std::string folder_part;  // "" for the ICQ folder itself, else "newdb\sub"
  std::string name;
  std::int64_t size = 0;
};

// True when a path meant to lie below a folder (a back.dat entry), joined to it with one
// backslash, leads out of it or names no folder below it: a leading separator (an
// absolute or UNC path), a drive ("C:") at its start, a "." or ".." level.
bool LeadsOutOfFolder(const std::string& path);

// Splits a file line and checks it. On kNone the entry is in *entry; on other faults
// *entry holds what could be read of it.
EntryFault ReadListEntry(const std::string& line, ListEntry* entry);

// A path for a report: control characters would break the line on the screen, so each
// shows as "?".
std::string Printable(std::string path);
// The entry's folder part and name joined for a report, Printable.
std::string EntryText(const ListEntry& entry);

}  // namespace backup
