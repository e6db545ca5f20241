// Windows path texts as text: the same on every system, against the layer's current
// directory.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/drives.h"
#include "platform/internal.h"

namespace platform {

using detail::IsPathSeparator;

namespace detail {

std::vector<std::string> SplitPathComponents(std::string_view text, bool (*separates)(char)) {
  std::vector<std::string> parts;
  std::size_t i = 0;
  while (i < text.size()) {
    while (i < text.size() && separates(text[i])) ++i;
    std::size_t start = i;
    while (i < text.size() && !separates(text[i])) ++i;
    if (i > start) parts.emplace_back(text.substr(start, i - start));
  }
  return parts;
}

void FoldDotComponents(std::vector<std::string>& folded, const std::vector<std::string>& parts) {
  for (const std::string& part : parts) {
    if (part == ".") continue;
    if (part == "..") {
      if (!folded.empty()) folded.pop_back();
      continue;
    }
    folded.push_back(part);
  }
}

std::vector<DriveMapping> SortedDriveTable(std::vector<DriveMapping> table) {
  for (DriveMapping& drive : table) {
    drive.letter = AsciiUpper(drive.letter);
    drive.host_root = NormalizeRoot(std::move(drive.host_root));
  }
  std::stable_sort(table.begin(), table.end(), [](const DriveMapping& a, const DriveMapping& b) {
    return a.letter < b.letter;
  });
  table.erase(std::unique(table.begin(), table.end(),
                          [](const DriveMapping& a, const DriveMapping& b) {
                            return a.letter == b.letter;
                          }),
              table.end());
  return table;
}

}  // namespace detail

int DriveNumberOfPath(const std::string& path) {
  if (path.empty() || !IsAsciiLetter(path[0])) return 0;
  return AsciiUpper(path[0]) - 'A' + 1;
}

std::string ExpandFileName(const std::string& name) {
  using detail::FoldDotComponents;
  using detail::SplitPathComponents;
  if (name.empty()) return "";
  std::string out;  // the drive or the share, then the folded parts
  std::vector<std::string> parts;
  if (name.size() >= 2 && IsPathSeparator(name[0]) && IsPathSeparator(name[1])) {
    // \\server\share\...: the server and share stay; ".." stops at the share.
    std::vector<std::string> unc = SplitPathComponents(name);
    out.push_back('\\');
    for (std::size_t i = 0; i < unc.size() && i < 2; ++i) out += "\\" + unc[i];
    if (unc.size() <= 2) return out;
    FoldDotComponents(parts, std::vector<std::string>(unc.begin() + 2, unc.end()));
  } else if (name.size() >= 2 && name[1] == ':' && IsAsciiLetter(name[0])) {
    // "C:" and "C:name" are taken from the drive's root: the settings store a root as "C:",
    // and the layer keeps one current directory, not one per drive.
    out = name.substr(0, 2);
    FoldDotComponents(parts, SplitPathComponents(std::string_view(name).substr(2)));
  } else {
    const std::string cwd = GetCurrentDir();
    out = cwd.substr(0, 2);
    if (!IsPathSeparator(name[0])) {
      FoldDotComponents(parts, SplitPathComponents(std::string_view(cwd).substr(2)));
    }
    FoldDotComponents(parts, SplitPathComponents(name));
  }
  for (const std::string& part : parts) out += "\\" + part;
  if (parts.empty() || IsPathSeparator(name.back())) out += "\\";
  return out;
}

bool SamePathText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (IsPathSeparator(a[i]) && IsPathSeparator(b[i])) continue;
    if (AsciiUpper(a[i]) != AsciiUpper(b[i])) return false;
  }
  return true;
}

}  // namespace platform
