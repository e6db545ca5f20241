// What both windows (the Qt one on Linux, the native one on Windows) do around the
// handlers, apart from drawing: one action at a time, an error it lets through shown
// in a message box, a close request during an action asked about and carried out when
// it ends, and the pace at which a busy window repaints. The texts the windows share
// live here too.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace app {

inline constexpr char kWindowCaption[] = "Varn ICQ Backup";
inline constexpr char kConfirmCaption[] = "Confirm";
inline constexpr char kStopQuestion[] = "Action in progress !\r\rStop it and close the window ?";

// One line of the message screen is one line on screen, whatever it holds: a CR or LF
// inside it shows as a space.
std::string ScreenLineText(const std::string& line);

// A question's or error's text with each CR LF, lone CR or lone LF as `line_break`: a
// message box shows a carriage return as a line break.
std::string DialogText(const std::string& text, std::string_view line_break);

class ActionRunner {
 public:
  struct Hooks {
    std::function<void(const std::string&)> show_error;  // an error the action let through
    std::function<void()> close;                         // close the window now
    std::function<void()> starting;                      // before each action runs
  };

  explicit ActionRunner(Hooks hooks) : hooks_(std::move(hooks)) {}

  // Runs one handler's work. Asked for while another runs, it waits and runs after it.
  // An exception it lets through ends it and is shown (not when the user's stop caused
  // it); a close asked for during it is carried out once it has ended.
  void Run(const std::function<void()>& action);
  bool Running() const { return busy_; }

  // The user asks to close the window: true when it may close now. During an action,
  // `confirm_stop` is asked once; Yes requests a stop (platform/interrupt.h) and the
  // window closes when the action has ended.
  bool MayClose(const std::function<bool()>& confirm_stop);

 private:
  Hooks hooks_;
  bool busy_ = false;
  bool close_requested_ = false;
  std::vector<std::function<void()>> waiting_;
};

// While an action runs, the window repaints at most every kInterval: a report of
// thousands of lines must not spend its time painting. A change held back is painted
// by the next Refresh the action calls.
class RepaintThrottle {
 public:
  static constexpr std::chrono::milliseconds kInterval{20};

  // An action starts: its first change paints at once.
  void Restart();
  // A change was made: true when it should be painted now; otherwise it is kept.
  bool PaintChangeNow();
  // The action asks for a refresh: true when a kept change waits or the interval passed.
  bool PaintOnRefresh() const;
  void Painted();

 private:
  bool Recent() const;

  std::optional<std::chrono::steady_clock::time_point> last_paint_;
  bool unpainted_ = false;
};

}  // namespace app
