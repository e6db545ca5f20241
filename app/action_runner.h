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

// A CR or LF inside a message screen line shows as a space: one line stays one line.
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

  // Runs one handler's work; asked for during another, it runs after it. An exception it
  // lets through ends it and is shown, unless the user's stop caused it; a close asked
  // for meanwhile is carried out once it has ended.
  void Run(const std::function<void()>& action);
  bool Running() const { return busy_; }

  // The user asks to close the window: true when it may close now. During an action,
  // `confirm_stop` is asked once; Yes requests a stop (platform/interrupt.h).
  bool MayClose(const std::function<bool()>& confirm_stop);

 private:
  Hooks hooks_;
  bool busy_ = false;
  bool close_requested_ = false;
  std::vector<std::function<void()>> waiting_;
};

// The part of TMain both windows share. While an action runs the window repaints at most
// every kRepaintInterval, so that a long report does not spend its time painting.
class FormWindow : public KeptWindow {
 public:
  static constexpr std::chrono::milliseconds kRepaintInterval{20};

  FormWindow();

  void Refresh() override;

  // One handler's work; the input kept meanwhile follows it.
  void RunAction(const std::function<void()>& action);
  bool ActionRunning() const { return runner_.Running(); }
  void Click(void (*handler)(WindowSeam& window));  // a button's, a link label's or a key's

 protected:
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
  // Windows keeps one current folder per drive: choosing a drive again returns there
  // while that is still a folder, else to the drive's root.
  void ChooseDrive(Selector selector, char letter);
  void ShowFolder(Selector selector) final;

 private:
  void PaintNow();
  bool PaintedRecently() const;

  ActionRunner runner_;
  std::optional<std::chrono::steady_clock::time_point> last_paint_;
  bool unpainted_ = false;
  std::map<char, std::string> drive_folders_;
};

}  // namespace app
