// TMain: the program's one window. While an action runs, it repaints and keeps its input
// for after the action, but a close request or Escape asks at once whether to stop.
#pragma once

#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/action_runner.h"
#include "ui/form.h"
#include "ui/qt/main_window_widgets.h"

namespace app {

// Where a window with that client size and frame stands when centred in `area`; along a
// side where it does not fit, at the area's start, so that its title bar stays on screen.
QPoint CentredFramePosition(const QRect& area, const QSize& client, const QMargins& frame);

class TMain : public QWidget, public FormWindow {
  Q_OBJECT

 public:
  // Builds the controls and runs the form's start-up; shown by the caller.
  explicit TMain(QWidget* parent = nullptr);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  bool Ask(const std::string& caption, const std::string& text, bool yes_no) override;
  void ShowCleared() override;
  void ShowAppended(const std::string& line) override;
  void ShowDeleting(int index) override;
  void ShowGauge() override;
  void ShowBackupText() override;
  bool IsShown() const override { return isVisible(); }
  void TakeMessages() override;
  void ActionEnded() override;
  void ScreenToTop() override;
  void ShowError(const std::string& message) override;
  void CloseNow() override { close(); }
  void ShowList(Selector selector) override;
  void ShowDrive(Selector selector) override;

  void BuildControls();
  void FitOuterSize();
  int AskCentred(QMessageBox& box);

  // Controls, owned by the window through Qt's parent links.
  QListWidget* lists_[2] = {};
  QComboBox* drives_[2] = {};
  QLabel* icq_folder_now_ = nullptr;
  QLineEdit* backup_folder_list_ = nullptr;
  QPlainTextEdit* out_screen_ = nullptr;
  app::Gauge* progress_bar_ = nullptr;

  // Clicks and keys that reached the window during an action, handled after it.
  std::vector<std::unique_ptr<QEvent>> held_input_;
  std::map<QObject*, ui::Handler> links_;  // the link labels' handlers
  bool shown_once_ = false;
};

}  // namespace app
