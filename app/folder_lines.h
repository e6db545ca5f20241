// What a folder list shows and where its drive selector sends it, for both windows: the
// path from the drive root down to the current folder, then the current folder's
// sub-folders; and, per drive, the folder it was last left at.
#pragma once

#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace app {

struct FolderLine {
  std::string text;   // what the line shows: "C:\" for the root, else one folder's name
  std::string path;   // the Windows path text the line stands for
  int level = 0;      // depth below the drive root
  bool open = false;  // on the path to the current folder (an open folder's picture)
};

struct FolderLines {
  std::vector<FolderLine> lines;
  std::size_t current = 0;  // the line of the current folder
};

// The lines of a list standing at `folder` ("C:\ICQ", or "C:\"): the root, each folder
// down to the current one, then its sub-folders in the order the directory search gives
// them. Hidden folders and names that cannot exist on Windows stay out, as they do in a
// Windows folder list.
FolderLines ReadFolderLines(const std::string& folder);

// The drive letter of a folder, upper case; 0 for an empty text.
char DriveOf(const std::string& folder);

// Windows keeps one current folder per drive: choosing a drive again returns there.
class DriveFolders {
 public:
  void Remember(const std::string& folder);
  // Where choosing `letter` moves a list: the folder that drive was left at while it is
  // still a folder, else the drive's root.
  std::string Target(char letter) const;

 private:
  std::map<char, std::string> folders_;
};

}  // namespace app
