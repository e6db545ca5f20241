// Remembered folder listings for a run that has its folders to itself.
//
// Finding a name in another letter case means reading the whole folder, and a backup
// or restore asks about names that do not exist yet (the next icqN.lzz, icq.tmp) in
// folders of thousands of files, several times each. While a KeepFolderListings lives,
// the layer keeps what it read of each folder and updates it with its own creates,
// renames and deletes. A change made by another program is noticed through the
// folder's modification time, unless it falls within the same clock tick as the
// layer's last look at that folder: hence only for runs that own their folders (ICQ
// closed, as the program asks).
//
// On Windows the system finds names in any letter case itself: nothing is kept.
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
