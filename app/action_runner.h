// What both windows do around the handlers, apart from drawing, and the texts they share.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/window_seam.h"

namespace app {

inline constexpr char kWindowCaption[] = "Varn ICQ Backup";
inline constexpr char kConfirmCaption[] = "Confirm";
inline constexpr char kStopQuestion[] = "Action in progress !\r\rStop it and close the window ?";

// A message screen line with each CR and LF as a space: one line stays one line.
std::string ScreenLineText(const std::string& line);

// A question's or error's text with each CR LF, lone CR or lone LF as `line_break`.
std::string DialogText(const std::string& text, std::string_view line_break);

class ActionRunner {
 public:
  struct Hooks {
    std::function<void(const std::string&)> show_error;  // an error the action let through
    std::function<void()> close;                         // close the window now
    std::function<void()> starting;                      // before each action runs
  };

  explicit ActionRunner(Hooks hooks) : hooks_(std::move(hooks)) {}

  // Runs one handler's work, or queues it after the running one. An escaping exception is
  // shown unless the user's stop caused it; a close asked for meanwhile follows the end.
  void Run(const std::function<void()>& action);
  bool Running() const { return busy_; }

  // True when the window may close now; during an action, Yes to `confirm_stop` (asked
  // once) requests a stop.
  bool MayClose(const std::function<bool()>& confirm_stop);

 private:
  Hooks hooks_;
  bool busy_ = false;
  bool close_requested_ = false;
  std::vector<std::function<void()>> waiting_;
};

// The part of TMain both windows share. During an action it repaints at most every
// kRepaintInterval: a long report must not spend its time painting.
class FormWindow : public KeptWindow {
 public:
  static constexpr std::chrono::milliseconds kRepaintInterval{20};

  FormWindow();

  void Refresh() override;

  // One handler's work; the input kept meanwhile follows it.
  void RunAction(const std::function<void()>& action);
  bool ActionRunning() const { return runner_.Running(); }
  void Click(void (*handler)(WindowSeam& window));  // a button's, a link label's or a key's

  bool ConfirmYesNo(const std::string& text) final { return Ask(kConfirmCaption, text, true); }
  bool WarnOkCancel(const std::string& caption, const std::string& text) final {
    return Ask(caption, text, false);
  }

 protected:
  // A question with Yes and No, else OK and Cancel: true for Yes or OK.
  virtual bool Ask(const std::string& caption, const std::string& text, bool yes_no) = 0;
  virtual bool IsShown() const = 0;
  virtual void TakeMessages() = 0;  // lets the window repaint and sees a close request
  virtual void ActionEnded() = 0;   // replays the input held during the action
  virtual void ScreenToTop() = 0;   // the Read Me is read from its first line
  virtual void ShowError(const std::string& message) = 0;
  virtual void CloseNow() = 0;
  virtual void ShowList(Selector selector) = 0;  // its folder list, drive box and label
  virtual void ShowDrive(Selector selector) = 0;

  void ScreenChanged() override;
  bool MayClose();
  void OpenFolder(Selector selector, const std::string& folder);
  // As Windows, back to the folder last shown on that drive while it exists, else its root.
  void ChooseDrive(Selector selector, char letter);
  void ShowFolder(Selector selector) final;

 private:
  bool PaintedRecently() const;

  ActionRunner runner_;
  std::optional<std::chrono::steady_clock::time_point> last_paint_;
  bool unpainted_ = false;
  std::map<char, std::string> drive_folders_;
};

}  // namespace app
