// Windows finds names in any letter case itself: there is nothing to keep.
#include "platform/folder_listings.h"

namespace platform {

KeepFolderListings::KeepFolderListings() = default;
KeepFolderListings::~KeepFolderListings() = default;

}  // namespace platform
