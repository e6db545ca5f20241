// Windows looks names up without letter case itself: there is no folder to read for a
// name in another case, so there is nothing to keep. KeepFolderListings only marks the
// span in which the POSIX layer would keep listings.
#include "platform/folder_listings.h"

namespace platform {

KeepFolderListings::KeepFolderListings() = default;
KeepFolderListings::~KeepFolderListings() = default;

}  // namespace platform
