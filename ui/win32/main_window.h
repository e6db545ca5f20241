// TMain on Windows: the program's one window, built from the system's own controls.
// Its handlers run the same actions as the Linux window, which see it only through the
// window seam; while an action runs, the window repaints but holds its input back until
// the action has ended, and closing it (or Escape) asks whether to stop the action.
#pragma once

#include <windows.h>

#include <array>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "app/action_runner.h"
#include "app/folder_lines.h"
#include "app/window_seam.h"
#include "ui/form.h"

namespace app {

// An error that ends the action, or the program before its window opens, in a message
// box centred on the screen (owner: none, or the window it speaks for).
void ShowErrorBox(HWND owner, const std::string& message);

class TMain : public WindowSeam {
 public:
  // Creates the window and its controls and runs the form's start-up; Show() shows it.
  TMain();
  ~TMain() override;
  TMain(const TMain&) = delete;
  TMain& operator=(const TMain&) = delete;

  void Show(int show_command);

  // The message loop's handling of one message taken from the queue: the window's own
  // keys, then the dialog manager's (Tab walks the controls), then the window procedure.
  void HandleQueued(MSG message);

  // The window seam.
  void ClearScreen() override;
  void AppendLine(const std::string& line) override;
  void DeleteLine(int index) override;
  std::vector<std::string> Lines() const override;
  void SetGauge(int percent) override;
  int Gauge() const override;
  std::string ICQFolder() const override;
  void MoveICQFolder(const std::string& folder) override;
  std::string BackupFolder() const override;
  void MoveBackupFolder(const std::string& folder) override;
  std::string BackupFolderText() const override;
  void SetBackupFolderText(const std::string& text) override;
  void Refresh() override;
  bool ConfirmYesNo(const std::string& text) override;
  bool WarnOkCancel(const std::string& caption, const std::string& text) override;

  void Click(ui::Handler handler);  // a button's, a link label's or a key's

 private:
  struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
  };
  using Font = std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter>;

  // A drive box bound to a folder list.
  struct FolderSelector {
    HWND list = nullptr;
    HWND drives = nullptr;
    std::string folder;  // as the current directory then read: "C:\ICQ", or "C:\"
    FolderLines lines;
  };

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

  void RunAction(const std::function<void()>& action);
  void LetWindowRepaint();
  void PaintNow();
  void HoldInput(const MSG& message);
  void ReplayHeldInput();

  // Folder selectors.
  void MoveSelector(FolderSelector& selector, const std::string& folder);
  void FillFolderList(FolderSelector& selector);
  void ShowDriveOf(const FolderSelector& selector);
  void OpenCurrentLine(FolderSelector& selector);
  void ChooseDrive(FolderSelector& selector);

  HWND window_ = nullptr;
  Font font_;                                      // the window's, for what it draws itself
  std::vector<Font> fonts_{std::size(ui::kForm)};  // each control's, in the form's order

  FolderSelector icq_folder_;
  FolderSelector backup_folder_;
  HWND icq_folder_now_ = nullptr;
  HWND backup_folder_list_ = nullptr;
  HWND out_screen_ = nullptr;
  HWND progress_bar_ = nullptr;

  std::vector<std::string> lines_;    // the message screen's lines, byte for byte
  std::string backup_folder_text_;    // BackupFolderList's text, byte for byte
  bool setting_backup_text_ = false;  // the program, not the user, changes the edit box
  int gauge_ = 0;
  DriveFolders drive_folders_;

  ActionRunner runner_;
  RepaintThrottle throttle_;
  std::deque<HeldInput> held_input_;  // handled once the action has ended, in order
};

}  // namespace app
