// What an action sees of the window: the message screen, the gauge, the two folder
// selectors, two modal questions and the four fields. TMain implements it with
// widgets, the tests with a recording object, torq32-cli on a terminal.
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
  // The data an action has worked through since it cleared the screen grew by `bytes`.
  // Only the terminal's progress line tells the sum; the windows show the gauge alone.
  virtual void CountBytes(std::int64_t bytes) { (void)bytes; }

  // Folder selectors. Moving a selector also makes that folder the current directory
  // (a folder that cannot be entered raises EInOutError and leaves the selector where it
  // was); moving BackupFolder copies its folder into the BackupFolderList text
  // (BackupFolderChange). A selector answers its folder as the current directory then
  // reads, e.g. "C:\ICQ" or "C:\" at a drive root.
  virtual std::string ICQFolder() const = 0;  // current folder of ICQFolder
  virtual void MoveICQFolder(const std::string& folder) = 0;
  virtual std::string BackupFolder() const = 0;                  // current folder of BackupFolder
  virtual void MoveBackupFolder(const std::string& folder) = 0;  // copies, even when it stays
  virtual std::string BackupFolderText() const = 0;              // text of BackupFolderList
  // Sets the edit box's text as typing does: the list does not move.
  virtual void SetBackupFolderText(const std::string& text) = 0;

  // Actions call this before a step that may keep them long (compressing or decoding a
  // large file, a flush not done yet), every few milliseconds while they wait for a
  // worker, and between the blocks of the engine's work. What the window has not shown
  // yet is shown now; otherwise it answers the window system (a region uncovered is
  // repainted) at most every few milliseconds. Changes nothing an action reads.
  virtual void Refresh() = 0;

  // Modal questions. Yes/No confirmation: true for Yes. OK/Cancel warning: true for OK.
  virtual bool ConfirmYesNo(const std::string& text) = 0;
  virtual bool WarnOkCancel(const std::string& caption, const std::string& text) = 0;

  // The four fields of TMain.
  std::string HomeFolder;
  std::string ICQPath = "none";
  std::string BackupPath = "none";
  std::string SupportedVersions;
};

}  // namespace app
