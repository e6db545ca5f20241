// torq32-cli's window: the screen printed at the end, the gauge a progress line,
// questions answered by a flag or on the terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>

#include "app/window_seam.h"

namespace app {

class TerminalWindow : public KeptWindow {
 public:
  enum class Answers { kAsk, kYes, kNo };
  enum class Progress {
    kNone,
    kRedraw,  // one line redrawn in place (a terminal)
    kLines,   // one line per change (a log)
  };

  // kAsk asks on prompt_out, else No / Cancel without answer_in. A redrawn progress line
  // tells the data done and the time left, by `clock`.
  using Clock = std::function<std::chrono::steady_clock::time_point()>;
  TerminalWindow(Answers answers, std::istream* answer_in, std::ostream* prompt_out,
                 Progress progress, std::ostream* progress_out,
                 Clock clock = std::chrono::steady_clock::now);

  void CountBytes(std::int64_t bytes) override;
  void Refresh() override {}  // the gauge is drawn as it changes

  bool ConfirmYesNo(const std::string& text) override;
  bool WarnOkCancel(const std::string& caption, const std::string& text) override;

  // Takes a redrawn progress line off the terminal; call before printing the screen.
  void EndProgress();
  void PrintScreen(std::ostream& out) const;

 private:
  void ShowCleared() override;
  void ShowGauge() override;

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
};

// A folder named on the command line as a Windows path: "C:..." and "\..." as typed, a
// host path (against host_cwd) as the drive path holding it; nullopt on no drive.
std::optional<std::string> WindowsPathArgument(const std::string& text,
                                               const std::string& host_cwd);

}  // namespace app
