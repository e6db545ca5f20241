// The collection walk, and the lines of icqlist.tmp and icqlist.txt: a header with the count,
// then a line per file: folder part, "***", name, "|||", size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/run_lock.h"

namespace backup {

// Readers take a listed size as a signed 32-bit number.
inline constexpr std::int64_t kLargestListedSize = 0x7FFFFFFF;

struct ListEntry {
  std::string folder_part;  // "" for the ICQ folder itself, else "newdb\sub"
  std::string name;
  std::int64_t size = 0;
};

std::string FileLine(const std::string& folder_part, const std::string& name, std::int64_t size);

// The folder part ends at the first "*", the name follows the run of "*" up to the first
// "|", the size follows the run of "|"; nullopt when the size is not a decimal number.
std::optional<ListEntry> SplitFileLine(const std::string& line);

// The whole text as a decimal integer, a "+" sign allowed.
std::optional<std::int64_t> DecimalNumber(std::string_view text);

enum class CollectStop {
  kNone,
  kFileTooLarge,      // above kLargestListedSize
  kNameNotListable,   // a name that the list cannot hold
  kCasePair,          // a name that differs from the one before it only in letter case
  kFolderNotEntered,  // a sub-folder the walk may not enter
};

// One backup's collection, shared by the calls for all back.dat entries.
struct Collection {
  std::string icq_path;            // without a trailing backslash
  platform::File* list = nullptr;  // icqlist.tmp, written a line at a time as files are found
  const platform::RunLocks* run_locks = nullptr;  // the run's own lock files are no data
  std::uint32_t count = 0;
  CollectStop stop = CollectStop::kNone;
  std::string stop_path;
};

// Lists every file below folder, depth first in directory search order, skipping a folder met
// a second time (a link back up the tree). False, with stop and stop_path set, at the first
// CollectStop. A failed write or return to a parent folder raises EInOutError.
bool CollectFiles(const std::string& folder, Collection& collection);

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
