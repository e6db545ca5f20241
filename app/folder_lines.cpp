#include "app/folder_lines.h"

#include <algorithm>

#include "platform/ascii.h"
#include "platform/files.h"
#include "platform/find.h"

namespace app {
namespace {

std::string JoinPath(const std::string& folder, const std::string& name) {
  return (!folder.empty() && folder.back() == '\\') ? folder + name : folder + "\\" + name;
}

}  // namespace

FolderLines ReadFolderLines(const std::string& folder) {
  FolderLines result;
  // The path: the drive root ("C:\"), then each folder down to the current one.
  const std::string root = folder.substr(0, std::min<std::size_t>(3, folder.size()));
  result.lines.push_back({root, root, 0, true});
  std::string path = root.substr(0, 2);
  int level = 0;
  std::size_t start = root.size();
  while (start < folder.size()) {
    std::size_t end = folder.find('\\', start);
    if (end == std::string::npos) end = folder.size();
    const std::string name = folder.substr(start, end - start);
    path += "\\" + name;
    result.lines.push_back({name, path, ++level, true});
    start = end + 1;
  }
  result.current = result.lines.size() - 1;

  platform::DirectorySearch search;
  platform::SearchRec rec;
  for (int rc = search.FindFirst(JoinPath(folder, "*.*"), platform::faDirectory, &rec); rc == 0;
       rc = search.FindNext(&rec)) {
    if ((rec.attributes & platform::faDirectory) == 0 || rec.name == "." || rec.name == ".." ||
        !rec.valid_windows_name) {
      continue;
    }
    result.lines.push_back({rec.name, JoinPath(folder, rec.name), level + 1, false});
  }
  return result;
}

char DriveOf(const std::string& folder) {
  return folder.empty() ? 0 : platform::AsciiUpper(folder[0]);
}

}  // namespace app
