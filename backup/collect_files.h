// The collection walk, and the file line of icqlist.tmp and icqlist.txt: folder part,
// "***", name, "|||", size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "platform/files.h"
#include "platform/run_lock.h"

namespace backup {

// The largest size a list line may carry: readers take it as a signed 32-bit number.
inline constexpr std::int64_t kLargestListedSize = 0x7FFFFFFF;

std::string FileLine(const std::string& folder_part, const std::string& name, std::int64_t size);

struct FileLineFields {
  std::string folder_part;
  std::string name;
  std::int64_t size = 0;
};
// The folder part ends at the first "*", the name follows the run of "*" up to the first
// "|", the size follows the run of "|"; nullopt when the size is not a decimal number.
std::optional<FileLineFields> SplitFileLine(const std::string& line);

// The whole text as a decimal integer, a "+" sign allowed; nullopt for anything else.
std::optional<std::int64_t> DecimalNumber(std::string_view text);

// Why a collection stopped before its end; the list then lacks the rest.
enum class CollectStop {
  kNone,
  kFileTooLarge,      // a data file above kLargestListedSize
  kNameNotListable,   // a file or folder name that the list cannot hold
  kCasePair,          // a name that differs from the one before it only in letter case
  kFolderNotEntered,  // a sub-folder the walk may not enter, so its files cannot be read
};

// One backup's collection: shared by the calls for all back.dat entries.
struct Collection {
  std::string icq_path;  // ICQPath, without a trailing backslash
  // icqlist.tmp, open; each line is written as it is found, so whatever ends the walk the
  // list is whole up to the last file found.
  platform::File* list = nullptr;
  const platform::RunLocks* run_locks = nullptr;  // the run's own lock files are no data
  std::uint32_t count = 0;                        // files listed so far
  CollectStop stop = CollectStop::kNone;
  std::string stop_path;  // the file or folder that stopped the collection
};

// Appends a file line for every file below folder, depth first in the order of the
// directory search, and counts them; a folder met a second time (a link back up the tree)
// is skipped. Leaves the current directory where the walk left it. False, with stop and
// stop_path set, at the first CollectStop. A failed append, or a failed return to a parent
// folder, raises EInOutError.
bool CollectFiles(const std::string& folder, Collection& collection);

}  // namespace backup
