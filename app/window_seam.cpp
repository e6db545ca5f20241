#include "app/window_seam.h"

#include <algorithm>

#include "platform/drives.h"

namespace app {

KeptWindow::KeptWindow() { folders_[kICQ] = folders_[kBackup] = platform::GetCurrentDir(); }

void KeptWindow::ClearScreen() {
  ShowCleared();
  lines_.clear();
  ScreenChanged();
}

void KeptWindow::AppendLine(const std::string& line) {
  ShowAppended(line);
  lines_.push_back(line);
  ScreenChanged();
}

void KeptWindow::DeleteLine(int index) {
  if (index < 0 || index >= static_cast<int>(lines_.size())) return;
  ShowDeleting(index);
  lines_.erase(lines_.begin() + index);
  ScreenChanged();
}

void KeptWindow::SetGauge(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent != gauge_) {
    gauge_ = percent;
    ShowGauge();
  }
  ScreenChanged();
}

void KeptWindow::SetBackupFolderText(const std::string& text) {
  backup_text_ = text;
  ShowBackupText();
}

void KeptWindow::MoveFolder(Selector selector, const std::string& folder) {
  platform::ChangeDir(folder);
  folders_[selector] = platform::GetCurrentDir();
  ShowFolder(selector);
  if (selector == kBackup) SetBackupFolderText(folders_[selector]);
}

}  // namespace app
