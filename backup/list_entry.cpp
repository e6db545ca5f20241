#include "backup/list_entry.h"

#include <algorithm>
#include <charconv>
#include <string_view>

#include "backup/collect_files.h"

namespace backup {
namespace {

// Characters Windows refuses in a file or folder name, besides the control characters.
// "/" is among them: the platform layer takes it for a separator.
constexpr std::string_view kForbiddenInName = "\\/:*?\"<>|";

bool IsAllowedName(std::string_view name) {
  if (name.empty() || name == "." || name == "..") return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    return static_cast<unsigned char>(c) < 0x20 ||
           kForbiddenInName.find(c) != std::string_view::npos;
  });
}

// Every level between the backslashes must be a name of its own: so no leading "\" (an
// absolute path or "\\server"), no "C:", no "..", no "a\\b".
bool IsAllowedFolderPart(std::string_view folder_part) {
  if (folder_part.empty()) return true;  // the ICQ folder itself
  std::size_t start = 0;
  while (true) {
    const std::size_t end = folder_part.find('\\', start);
    if (!IsAllowedName(folder_part.substr(start, end - start))) return false;
    if (end == std::string_view::npos) return true;
    start = end + 1;
  }
}

}  // namespace

std::optional<std::int64_t> ListCount(const std::string& header) {
  const std::size_t colon = header.find(':');
  if (colon == std::string::npos) return std::nullopt;
  const std::size_t start = header.find_first_not_of(' ', colon + 1);
  if (start == std::string::npos) return std::nullopt;
  const char* first = header.data() + start;
  const char* last = header.data() + header.size();
  if (*first == '+') ++first;  // a sign is allowed in a decimal integer
  std::int64_t count = 0;
  const auto [end, error] = std::from_chars(first, last, count);
  if (error != std::errc() || end != last || count < 0) return std::nullopt;
  return count;
}

EntryFault ReadListEntry(const std::string& line, ListEntry* entry) {
  *entry = ListEntry{};
  const std::optional<FileLineFields> fields = SplitFileLine(line);
  if (!fields) {
    entry->folder_part = line.substr(0, line.find('*'));
    return EntryFault::kUnreadable;
  }
  entry->folder_part = fields->folder_part;
  entry->name = fields->name;
  entry->size = fields->size;
  if (!IsAllowedFolderPart(entry->folder_part) || !IsAllowedName(entry->name)) {
    return EntryFault::kBadPath;
  }
  if (entry->size < 0 || entry->size > kLargestListedSize) return EntryFault::kBadSize;
  return EntryFault::kNone;
}

std::string EntryText(const ListEntry& entry) {
  std::string text = entry.folder_part.empty() ? entry.name : entry.folder_part + "\\" + entry.name;
  std::replace_if(
      text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, '?');
  return text;
}

}  // namespace backup
