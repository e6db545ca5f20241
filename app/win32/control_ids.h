// The control identifiers of the Windows window, for the window and for the tools that
// look at it from outside (the tests read the message screen by its identifier).
#pragma once

namespace app {

// The window class of TMain and its caption's class name, as FindWindow takes them.
inline constexpr wchar_t kMainWindowClass[] = L"TMain";

enum ControlId : int {
  kICQFolderId = 101,
  kDriveComboBox1Id,
  kOutScreenId,
  kBackupFolderId,
  kDriveComboBox2Id,
  kBackupFolderListId,
  kBackupId,
  kRestoreId,
  kCheckUINId,
  kCheckDateId,
  kAboutId,
  kLabel1Id,
  kICQFolderNowId,
  kLabel2Id,
  kLabel3Id,
  kProgressBarId,
  kClearScreenId,
  kLabel4Id,
};

}  // namespace app
