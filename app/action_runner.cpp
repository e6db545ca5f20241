#include "app/action_runner.h"

#include <algorithm>
#include <exception>

#include "app/folder_lines.h"
#include "app/reports.h"
#include "app/settings.h"
#include "platform/interrupt.h"

namespace app {

std::string ScreenLineText(const std::string& line) {
  std::string shown = line;
  std::ranges::replace_if(
      shown, [](char c) { return c == '\r' || c == '\n'; }, ' ');
  return shown;
}

std::string DialogText(const std::string& text, std::string_view line_break) {
  std::string shown;
  shown.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' || text[i] == '\n') {
      if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
      shown += line_break;
    } else {
      shown += text[i];
    }
  }
  return shown;
}

void ActionRunner::Run(const std::function<void()>& action) {
  waiting_.push_back(action);
  if (busy_) return;
  while (!waiting_.empty()) {
    const std::function<void()> next = waiting_.front();
    waiting_.erase(waiting_.begin());
    busy_ = true;
    if (hooks_.starting) hooks_.starting();
    try {
      next();
    } catch (const std::exception& error) {
      // The screen keeps what it showed; a stop asked for by closing needs no message.
      if (!platform::StopRequested()) hooks_.show_error(error.what());
    }
    platform::ClearStopRequest();
    busy_ = false;
    if (close_requested_) {
      close_requested_ = false;
      waiting_.clear();
      hooks_.close();
      return;
    }
  }
}

bool ActionRunner::MayClose(const std::function<bool()>& confirm_stop) {
  if (!busy_) return true;
  // Yes stops the action as Ctrl-C does; the window closes when the action has ended.
  if (!close_requested_ && confirm_stop()) {
    close_requested_ = true;
    platform::RequestStop();
  }
  return false;
}

FormWindow::FormWindow()
    : runner_({.show_error = [this](const std::string& message) { ShowError(message); },
               .close = [this] { CloseNow(); },
               .starting =
                   [this] {
                     last_paint_.reset();
                     unpainted_ = false;
                   }}) {}

void FormWindow::RunAction(const std::function<void()>& action) {
  runner_.Run(action);
  if (!runner_.Running()) ActionEnded();
}

void FormWindow::Click(void (*handler)(WindowSeam& window)) {
  RunAction([this, handler] {
    handler(*this);
    if (handler == &Label4Click) ScreenToTop();
  });
}

bool FormWindow::MayClose() {
  return runner_.MayClose([this] { return ConfirmYesNo(kStopQuestion); });
}

bool FormWindow::PaintedRecently() const {
  return last_paint_ && std::chrono::steady_clock::now() - *last_paint_ < kRepaintInterval;
}

void FormWindow::ScreenChanged() {
  if (PaintedRecently()) {
    unpainted_ = true;  // shown by the next repaint, or by Refresh before the action blocks
  } else {
    Refresh();
  }
}

void FormWindow::Refresh() {
  if (!runner_.Running() || !IsShown() || (!unpainted_ && PaintedRecently())) return;
  TakeMessages();
  unpainted_ = false;
  last_paint_ = std::chrono::steady_clock::now();
}

void FormWindow::OpenFolder(Selector selector, const std::string& folder) {
  RunAction([this, selector, folder] { MoveFolder(selector, folder); });
}

void FormWindow::ChooseDrive(Selector selector, char letter) {
  RunAction([this, selector, letter] {
    if (DriveOf(folders_[selector]) == letter) return;
    const auto known = drive_folders_.find(letter);
    try {
      MoveFolder(selector, known != drive_folders_.end() && PathIsFolder(known->second)
                               ? known->second
                               : std::string(1, letter) + ":\\");
    } catch (...) {
      ShowDrive(selector);
      throw;
    }
  });
}

void FormWindow::ShowFolder(Selector selector) {
  drive_folders_[DriveOf(folders_[selector])] = folders_[selector];
  ShowList(selector);
}

}  // namespace app
