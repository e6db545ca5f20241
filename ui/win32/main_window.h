// TMain on Windows, built from the system's own controls.
#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/action_runner.h"
#include "app/folder_lines.h"
#include "ui/form.h"

namespace app {

// An error that ends the action, or the program before its window opens, centred.
void ShowErrorBox(HWND owner, const std::string& message);

class TMain : public FormWindow {
 public:
  // Creates the window and its controls and runs the form's start-up; Show() shows it.
  TMain();
  ~TMain() override;
  TMain(const TMain&) = delete;
  TMain& operator=(const TMain&) = delete;

  void Show(int show_command);

  // One queued message: the window's own keys, the dialog manager's, the window's.
  void HandleQueued(MSG message);

 private:
  struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
  };
  using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

  // A click or key that came during an action, with the keys held down when it came.
  struct HeldInput {
    MSG message;
    std::array<BYTE, 256> keys;
  };

  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam);
  bool TakeKey(const MSG& message);
  void BuildControls();
  void OnCommand(int id, int code, HWND control);
  void OnClose();
  void Paint();
  void DrawItem(const DRAWITEMSTRUCT& item);
  void DrawFolderLine(const DRAWITEMSTRUCT& item);
  void HoldInput(const MSG& message);
  void OpenCurrentLine(Selector selector);

  bool Ask(const std::string& caption, const std::string& text, bool yes_no) override;
  void ShowCleared() override;
  void ShowAppended(const std::string& line) override;
  void ShowDeleting(int index) override;
  void ShowGauge() override;
  void ShowBackupText() override;
  bool IsShown() const override { return IsWindowVisible(window_); }
  void TakeMessages() override;
  void ActionEnded() override;
  void ScreenToTop() override;
  void ShowError(const std::string& message) override;
  void CloseNow() override { PostMessageW(window_, WM_CLOSE, 0, 0); }
  void ShowList(Selector selector) override;
  void ShowDrive(Selector selector) override;

  HWND window_ = nullptr;
  Font font_;                                      // the window's, for what it draws itself
  std::vector<Font> fonts_{std::size(ui::kForm)};  // each control's, in the form's order

  HWND lists_[2] = {};
  HWND drives_[2] = {};
  FolderLines shown_lines_[2];  // what each folder list shows
  HWND icq_folder_now_ = nullptr;
  HWND backup_folder_list_ = nullptr;
  HWND out_screen_ = nullptr;
  HWND progress_bar_ = nullptr;
  bool setting_backup_text_ = false;  // the program, not the user, changes the edit box

  std::deque<HeldInput> held_input_;  // handled once the action has ended, in order
};

}  // namespace app
