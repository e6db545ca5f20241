#include "backup/collect_files.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "platform/drives.h"
#include "platform/files.h"
#include "platform/find.h"
#include "platform/interrupt.h"
#include "platform/text_file.h"

namespace backup {
namespace {

constexpr char kNameMark[] = "***";
constexpr char kSizeMark[] = "|||";

// Both separate levels: the platform layer takes "/" for a separator too.
constexpr std::string_view kSeparators = "\\/";

// Split at every separator ("a\\b" has an empty level).
std::vector<std::string_view> Levels(std::string_view path) {
  std::vector<std::string_view> levels;
  std::size_t start = 0;
  while (true) {
    const std::size_t end = path.find_first_of(kSeparators, start);
    levels.push_back(path.substr(start, end - start));
    if (end == std::string_view::npos) return levels;
    start = end + 1;
  }
}

EntryFault PathFault(const std::string& folder_part, const std::string& name) {
  std::vector<std::string_view> levels;
  if (!folder_part.empty()) levels = Levels(folder_part);  // "" is the ICQ folder itself
  const std::size_t name_at = levels.size();
  for (std::string_view level : Levels(name)) levels.push_back(level);
  if (name_at > 0 && levels.front().size() >= 2 && levels.front()[1] == ':') {
    return EntryFault::kBadPath;
  }
  bool bad_name = name.empty() || name.find_first_of(kSeparators) != std::string::npos;
  for (std::size_t i = 0; i < levels.size(); ++i) {
    const std::string_view level = levels[i];
    // An empty name alone is a name missing, not a way out.
    if (level.empty() && !(i == name_at && name.empty())) return EntryFault::kBadPath;
    if (level == "." || level == "..") return EntryFault::kBadPath;
    bad_name = bad_name || !platform::IsWindowsName(level);
  }
  return bad_name ? EntryFault::kBadName : EntryFault::kNone;
}

bool Stop(Collection& collection, CollectStop why, const std::string& path) {
  collection.stop = why;
  collection.stop_path = path;
  return false;
}

bool Walk(const std::string& folder, Collection& collection, platform::WalkGuard& guard) {
  platform::DirectorySearch search;
  platform::SearchRec rec;
  std::string previous_name;
  for (int found = search.FindFirst(folder + "\\*.*", platform::faAnyFile, &rec); found == 0;
       found = search.FindNext(&rec)) {
    if (rec.name == "." || rec.name == "..") continue;
    platform::RaiseIfStopRequested();
    const std::string path = folder + "\\" + rec.name;
    if (collection.run_locks && platform::SamePathText(rec.name, platform::kRunLockFileName) &&
        collection.run_locks->IsLockFile(path)) {
      continue;
    }
    if (!rec.valid_windows_name || rec.name.empty() ||
        rec.name.find_first_of("*|") != std::string::npos) {
      return Stop(collection, CollectStop::kNameNotListable, path);
    }
    // The search orders names by their upper-case form: a case pair comes together.
    if (platform::SamePathText(rec.name, previous_name)) {
      return Stop(collection, CollectStop::kCasePair, path);
    }
    previous_name = rec.name;
    // The search followed links to tell a folder: a file needs no look-up to be listed.
    switch (rec.attributes & platform::faDirectory ? guard.TryEnter(path)
                                                   : platform::WalkGuard::Enter::kCannotEnter) {
      case platform::WalkGuard::Enter::kEntered:
        if (!Walk(path, collection, guard)) return false;
        platform::ChangeDir("..");
        break;
      case platform::WalkGuard::Enter::kAlreadyVisited:
        break;  // a link back up the tree: its files are listed where the walk met them
      case platform::WalkGuard::Enter::kCannotEnter: {
        if (rec.attributes & platform::faDirectory) {
          return Stop(collection, CollectStop::kFolderNotEntered, path);
        }
        if (rec.size > kLargestListedSize) {
          return Stop(collection, CollectStop::kFileTooLarge, path);
        }
        const std::size_t cut = std::min(folder.size(), collection.icq_path.size() + 1);
        platform::WriteTextLine(*collection.list, FileLine(folder.substr(cut), rec.name, rec.size));
        ++collection.count;
        break;
      }
    }
  }
  return true;
}

}  // namespace

std::string FileLine(const std::string& folder_part, const std::string& name, std::int64_t size) {
  return folder_part + kNameMark + name + kSizeMark + std::to_string(size);
}

std::optional<ListEntry> SplitFileLine(const std::string& line) {
  ListEntry fields;
  const std::size_t star = line.find('*');
  fields.folder_part = line.substr(0, star);
  const std::size_t name_start = line.find_first_not_of('*', star);
  const std::size_t bar = line.find('|', name_start);
  if (name_start != std::string::npos) {
    fields.name = line.substr(name_start, bar == std::string::npos ? bar : bar - name_start);
  }
  const std::size_t size_start = line.find_first_not_of('|', bar);
  if (bar == std::string::npos || size_start == std::string::npos) return std::nullopt;
  const std::optional<std::int64_t> size = DecimalNumber(std::string_view(line).substr(size_start));
  if (!size) return std::nullopt;
  fields.size = *size;
  return fields;
}

std::optional<std::int64_t> DecimalNumber(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);  // a sign is allowed in a decimal integer
  std::int64_t number = 0;
  const char* last = text.data() + text.size();
  const auto [end, error] = std::from_chars(text.data(), last, number);
  if (error != std::errc() || end != last) return std::nullopt;
  return number;
}

bool CollectFiles(const std::string& folder, Collection& collection) {
  // One guard per entry: a folder under two back.dat entries is listed twice, as they ask.
  platform::WalkGuard guard;
  guard.TryEnter(folder);
  return Walk(folder, collection, guard);
}

std::optional<std::int64_t> ListHeaderNumber(const std::string& header) {
  const std::size_t colon = header.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::size_t start = header.find_first_not_of(' ', colon + 1);
  if (start == std::string::npos) return std::nullopt;
  return DecimalNumber(std::string_view(header).substr(start));
}

std::optional<std::int64_t> ListCount(const std::string& header) {
  const std::optional<std::int64_t> count = ListHeaderNumber(header);
  if (!count || *count < 0) return std::nullopt;
  return count;
}

bool LeadsOutOfFolder(const std::string& path) {
  const std::vector<std::string_view> levels = Levels(path);
  if (levels.front().empty() || (levels.front().size() >= 2 && levels.front()[1] == ':')) {
    return true;
  }
  return std::any_of(levels.begin(), levels.end(),
                     [](std::string_view level) { return level == "." || level == ".."; });
}

EntryFault ReadListEntry(const std::string& line, ListEntry* entry) {
  const std::optional<ListEntry> fields = SplitFileLine(line);
  if (!fields) {
    *entry = {line.substr(0, line.find('*')), "", 0};
    return EntryFault::kUnreadable;
  }
  *entry = *fields;
  if (const EntryFault fault = PathFault(entry->folder_part, entry->name);
      fault != EntryFault::kNone) {
    return fault;
  }
  if (entry->size < 0 || entry->size > kLargestListedSize) return EntryFault::kBadSize;
  return EntryFault::kNone;
}

std::string Printable(std::string path) {
  std::replace_if(
      path.begin(), path.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
  return path;
}

std::string EntryText(const ListEntry& entry) {
  return Printable(entry.folder_part.empty() ? entry.name : entry.folder_part + "\\" + entry.name);
}

}  // namespace backup
