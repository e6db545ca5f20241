// Remembered folder listings, for a run that has its folders to itself: finding a name in
// another letter case reads the whole folder, and a backup or restore asks about names yet to
// be in folders of thousands of files. Each listing follows the layer's own changes; another
// program's is seen by the folder's times, unless within the tick of the layer's last look.
// Windows finds names in any letter case itself: nothing is kept there.
#pragma once

namespace platform {

class KeepFolderListings {
 public:
  KeepFolderListings();
  ~KeepFolderListings();  // the last one alive forgets every listing
  KeepFolderListings(const KeepFolderListings&) = delete;
  KeepFolderListings& operator=(const KeepFolderListings&) = delete;
};

}  // namespace platform
