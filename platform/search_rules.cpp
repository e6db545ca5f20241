// How a directory search matches and orders names: the same on every system, so that a
// backup numbers its files alike wherever it runs.
#include <algorithm>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/ascii.h"
#include "platform/find.h"
#include "platform/internal.h"

namespace platform::detail {
namespace {

// "*" any run of characters, "?" one character; letters compared without case.
bool GlobMatch(std::string_view pattern, std::string_view name) {
  std::size_t p = 0, n = 0;
  std::size_t star = std::string_view::npos, resume = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = n;
    } else if (p < pattern.size() &&
               (pattern[p] == '?' || AsciiUpper(pattern[p]) == AsciiUpper(name[n]))) {
      ++p;
      ++n;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      n = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace

bool ValidWindowsName(std::string_view name) {
  return name == "." || name == ".." || IsWindowsName(name);
}

bool NameMatches(std::string_view pattern, std::string_view name) {
  if (pattern == "*" || pattern == "*.*") return true;
  if (GlobMatch(pattern, name)) return true;
  return pattern.size() > 1 && pattern.back() == '.' && name.find('.') == std::string_view::npos &&
         GlobMatch(pattern.substr(0, pattern.size() - 1), name);
}

SearchPattern SplitSearchPattern(const std::string& pattern) {
  const std::size_t cut = pattern.find_last_of("\\/");
  if (cut != std::string::npos) {
    return {cut == 0 ? pattern.substr(0, 1) : pattern.substr(0, cut), pattern.substr(cut + 1)};
  }
  if (pattern.size() >= 2 && pattern[1] == ':') return {pattern.substr(0, 2), pattern.substr(2)};
  return {".", pattern};
}

void KeepOnlyTheLookedUpName(std::vector<std::string>& names, const std::string& name_pattern) {
  if (name_pattern.find_first_of("*?") != std::string::npos) return;
  const std::string* chosen = ChooseSpelling(
      names, name_pattern, [](const std::string& name) -> const std::string& { return name; });
  names = chosen ? std::vector<std::string>{*chosen} : std::vector<std::string>{};
}

void SortInSearchOrder(std::vector<std::string>& names) {
  std::vector<std::pair<std::string, std::string>> keyed;
  keyed.reserve(names.size());
  for (std::string& name : names) keyed.emplace_back(AsciiUpper(name), std::move(name));
  std::sort(keyed.begin(), keyed.end());
  names.clear();
  for (auto& [upper, name] : keyed) names.push_back(std::move(name));
}

}  // namespace platform::detail

namespace platform {

bool IsWindowsName(std::string_view name) {
  if (name.empty() || name.back() == '.' || name.back() == ' ') return false;
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view("\\/:*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  // Windows takes a device name before any extension, and blanks after it, for the device.
  std::string base = AsciiUpper(name.substr(0, name.find('.')));
  base.erase(base.find_last_not_of(' ') + 1);
  if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return false;
  return !(base.size() == 4 && (base.starts_with("COM") || base.starts_with("LPT")) &&
           base[3] >= '1' && base[3] <= '9');
}

}  // namespace platform
