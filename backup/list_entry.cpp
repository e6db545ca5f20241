#include "backup/list_entry.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "platform/find.h"

namespace backup {
namespace {

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

}  // namespace

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
