// What an action sees of the window: the message screen, the gauge, the two folder
// selectors, two modal questions and the four fields of TMain.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace app {

// The text of BackupFolderList when the window is created, until start-up replaces it.
inline constexpr char kInitialBackupFolderText[] = "C:\\Backup";

class WindowSeam {
 public:
  virtual ~WindowSeam() = default;

  // Message screen (OutScreen).
  virtual void ClearScreen() = 0;
  virtual void AppendLine(const std::string& line) = 0;
  virtual void DeleteLine(int index) = 0;  // an index past the last line deletes nothing
  virtual std::vector<std::string> Lines() const = 0;

  // Gauge (ProgressBar): values held to 0..100; a change shows at once.
  virtual void SetGauge(int percent) = 0;
  virtual int Gauge() const = 0;
  // The data the action has worked through grew by `bytes`: the terminal tells the sum.
  virtual void CountBytes(std::int64_t bytes) { (void)bytes; }

  // Folder selectors. Moving one makes its folder the current directory (one that cannot
  // be entered raises EInOutError and leaves it where it was) and answers that folder as
  // the current directory then reads ("C:\ICQ", "C:\"); moving BackupFolder copies its
  // folder into the BackupFolderList text, even when it stays.
  virtual std::string ICQFolder() const = 0;
  virtual void MoveICQFolder(const std::string& folder) = 0;
  virtual std::string BackupFolder() const = 0;
  virtual void MoveBackupFolder(const std::string& folder) = 0;
  virtual std::string BackupFolderText() const = 0;
  // Sets the edit box's text as typing does: the list does not move.
  virtual void SetBackupFolderText(const std::string& text) = 0;

  // Where an action may be kept long: shows what is not shown yet, at most every few ms.
  virtual void Refresh() = 0;

  // Modal questions: true for Yes, or for OK.
  virtual bool ConfirmYesNo(const std::string& text) = 0;
  virtual bool WarnOkCancel(const std::string& caption, const std::string& text) = 0;

  std::string HomeFolder;
  std::string ICQPath = "none";
  std::string BackupPath = "none";
  std::string SupportedVersions;
};

// The seam's state as the windows and the terminal keep it; the Show hooks show changes.
class KeptWindow : public WindowSeam {
 public:
  KeptWindow();

  void ClearScreen() override;
  void AppendLine(const std::string& line) override;
  void DeleteLine(int index) override;
  std::vector<std::string> Lines() const override { return lines_; }
  void SetGauge(int percent) override;
  int Gauge() const override { return gauge_; }
  std::string ICQFolder() const override { return folders_[kICQ]; }
  void MoveICQFolder(const std::string& folder) override { MoveFolder(kICQ, folder); }
  std::string BackupFolder() const override { return folders_[kBackup]; }
  void MoveBackupFolder(const std::string& folder) override { MoveFolder(kBackup, folder); }
  std::string BackupFolderText() const override { return backup_text_; }
  void SetBackupFolderText(const std::string& text) override;

 protected:
  enum Selector { kICQ, kBackup };

  void MoveFolder(Selector selector, const std::string& folder);

  // The line hooks run before the line joins or leaves lines_.
  virtual void ShowCleared() {}
  virtual void ShowAppended(const std::string& line) { (void)line; }
  virtual void ShowDeleting(int index) { (void)index; }
  virtual void ShowGauge() {}
  virtual void ShowFolder(Selector selector) { (void)selector; }
  virtual void ShowBackupText() {}
  virtual void ScreenChanged() {}  // after each change of the screen or the gauge

  std::vector<std::string> lines_;
  int gauge_ = 0;
  std::string folders_[2];
  std::string backup_text_ = kInitialBackupFolderText;
};

}  // namespace app
