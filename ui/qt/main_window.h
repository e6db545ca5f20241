// TMain: the program's one window. Its handlers run the actions, which see it only
// through the window seam; while an action runs, the window repaints and keeps its
// input for after the action, but a close request or Escape asks at once whether to stop.
#pragma once

#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/action_runner.h"
#include "app/folder_lines.h"
#include "app/window_seam.h"
#include "ui/form.h"
#include "ui/qt/main_window_widgets.h"

namespace app {

// An error that ends the action, or the program before its window opens, in a message
// box over `parent` (none: centred on the screen).
void ShowErrorBox(QWidget* parent, const std::string& message);

// Where a window stands, frame included, when its frame is centred in `area`: its client
// area has the size `client`, the window manager's frame the margins `frame` around it.
// Along a side where it does not fit (a large scale factor on a small screen) it stands
// at the area's start instead, so that its title bar stays on the screen.
QPoint CentredFramePosition(const QRect& area, const QSize& client, const QMargins& frame);

class TMain : public QWidget, public WindowSeam {
  Q_OBJECT

 public:
  // Builds the controls and runs the form's start-up; shown by the caller.
  explicit TMain(QWidget* parent = nullptr);

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

  // One handler's work, through the action runner; the input kept meanwhile follows it.
  void RunAction(const std::function<void()>& action);
  bool ActionRunning() const { return runner_.Running(); }

  void Click(ui::Handler handler);  // a button's, a link label's or a key's

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void BuildControls();
  void FitOuterSize();
  void LetWindowRepaint();
  void PaintNow();
  void ShowICQFolderNow();
  void ShowError(const std::string& message);
  void ReplayHeldInput();
  int AskCentred(QMessageBox& box);

  // Controls, owned by the window through Qt's parent links.
  FolderList* icq_folder_ = nullptr;
  DriveSelector* drive_combo_box1_ = nullptr;
  QLabel* icq_folder_now_ = nullptr;
  FolderList* backup_folder_ = nullptr;
  DriveSelector* drive_combo_box2_ = nullptr;
  QLineEdit* backup_folder_list_ = nullptr;
  QPlainTextEdit* out_screen_ = nullptr;
  app::Gauge* progress_bar_ = nullptr;

  std::vector<std::string> lines_;  // the message screen's lines, byte for byte
  std::string backup_folder_text_;  // BackupFolderList's text, byte for byte
  DriveFolders drive_folders_;

  ActionRunner runner_;
  RepaintThrottle throttle_;
  // Clicks and keys that reached the window during an action, handled after it.
  std::vector<std::unique_ptr<QEvent>> held_input_;
  bool shown_once_ = false;
};

}  // namespace app
