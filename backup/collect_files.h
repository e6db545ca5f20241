// The collection walk and the file line that the temporary list (icqlist.tmp) and the
// backup file list (icqlist.txt) share: folder part, "***", name, "|||", size.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/files.h"
#include "platform/run_lock.h"

namespace backup {

// The largest size a list line may carry: readers take the size as a signed 32-bit
// number, and the compressed file's header holds it in 32 bits.
inline constexpr std::int64_t kLargestListedSize = 0x7FFFFFFF;

std::string FileLine(const std::string& folder_part, const std::string& name, std::int64_t size);

struct FileLineFields {
  std::string folder_part;
  std::string name;
  std::int64_t size = 0;
};
// Splits a file line: the folder part ends at the first "*", the name follows the run
// of "*" up to the first "|", the size follows the run of "|". nullopt when the size is
// not a decimal number.
std::optional<FileLineFields> SplitFileLine(const std::string& line);

// True when a name can stand in a file line: a name Windows allows (so no "*" or "|").
bool IsListableName(const std::string& name, bool valid_windows_name);

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
  // HomeFolder + "\icqlist.tmp", open. Each line goes to the file as it is found (no
  // buffer), so the list on disk is whole up to the last file found whatever ends the walk.
  platform::File* list = nullptr;
  // The run's own lock files, which are no data (a home folder among the data folders
  // holds one); none when null.
  const platform::RunLocks* run_locks = nullptr;
  std::uint32_t count = 0;  // files listed so far
  CollectStop stop = CollectStop::kNone;
  std::string stop_path;  // the file or folder that stopped the collection
};

// Appends one file line to the list for every file below folder, depth first in the
// order of the directory search, and adds them to the count. An entry is a folder when
// it can be entered as the current directory; a folder the walk meets a second time (a
// link back up the tree) is skipped. Leaves the current directory where the walk left
// it. Answers false, with stop and stop_path set, at a file too large for the list, a
// name the list cannot hold, the second of two names in one folder that differ only in
// letter case (a restore could not keep both), or a sub-folder that cannot be entered.
// A failed append, or a failed return to a parent folder, raises EInOutError.
bool CollectFiles(const std::string& folder, Collection& collection);

}  // namespace backup
