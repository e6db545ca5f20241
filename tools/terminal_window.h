// torq32-cli's window: the message screen is kept and printed when the action ends,
// the gauge is a progress line on standard error, and questions are answered by a
// flag, asked on the terminal, or answered No / Cancel.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "app/window_seam.h"

namespace app {

class TerminalWindow : public WindowSeam {
 public:
  enum class Answers { kAsk, kYes, kNo };
  enum class Progress {
    kNone,
    kRedraw,  // one line redrawn in place (a terminal)
    kLines,   // one line per change (a log)
  };

  // With answers kAsk, a question is asked through prompt_out and read from
  // answer_in; a null answer_in (input is not a terminal) answers No / Cancel.
  // progress_out may be null when progress is kNone. The folder lists start at the
  // current directory, the edit box at "C:\Backup".
  // A redrawn progress line tells the time left, reckoned by `clock` from the time since
  // the action cleared the screen.
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  TerminalWindow(Answers answers, std::istream* answer_in, std::ostream* prompt_out,
                 Progress progress, std::ostream* progress_out,
                 Clock clock = std::chrono::steady_clock::now);

  void ClearScreen() override;
  void AppendLine(const std::string& line) override;
  void DeleteLine(int index) override;
  std::vector<std::string> Lines() const override;

  void SetGauge(int percent) override;
  int Gauge() const override;
  // A redrawn progress line also tells the data done since the action began.
  void CountBytes(std::int64_t bytes) override;

  std::string ICQFolder() const override;
  void MoveICQFolder(const std::string& folder) override;
  std::string BackupFolder() const override;
  void MoveBackupFolder(const std::string& folder) override;
  std::string BackupFolderText() const override;
  void SetBackupFolderText(const std::string& text) override;

  // The screen is printed when the action ends, the gauge drawn as it changes: nothing
  // waits to be shown.
  void Refresh() override {}

  bool ConfirmYesNo(const std::string& text) override;
  bool WarnOkCancel(const std::string& caption, const std::string& text) override;

  // Takes a redrawn progress line off the terminal; call before printing the screen.
  void EndProgress();
  // Writes each line of the message screen, as written, followed by a newline.
  void PrintScreen(std::ostream& out) const;

 private:
  bool Ask(const std::string& caption, const std::string& text);
  void DrawGauge();

  Answers answers_;
  std::istream* answer_in_;
  std::ostream* prompt_out_;
  Progress progress_;
  std::ostream* progress_out_;
  std::size_t progress_shown_ = 0;  // the length of the redrawn line on the terminal
  Clock clock_;
  std::chrono::steady_clock::time_point action_start_;
  std::int64_t bytes_done_ = 0;
  std::chrono::steady_clock::time_point last_drawn_;

  std::vector<std::string> lines_;
  int gauge_ = 0;
  std::string icq_folder_;
  std::string backup_folder_;
  std::string backup_text_;
};

// A folder named on the command line, as a Windows path text: a text that begins with
// a drive letter and ":" or with "\" stays as it is; anything else is a host path
// (relative ones against host_cwd), turned into the drive path that holds it. nullopt
// when no drive holds it.
std::optional<std::string> WindowsPathArgument(const std::string& text,
                                               const std::string& host_cwd);

}  // namespace app
