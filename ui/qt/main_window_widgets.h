// The window's own kinds of control: the folder list with its drive selector, the
// gauge, the link label and the push button. Paths are Windows path texts kept as
// bytes; Qt only shows them.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <string>

namespace app {

// A directory list: the path from the drive root down to the current folder, then the
// current folder's sub-folders. Double-click or Enter on a line moves into that folder.
class FolderList : public QListWidget {
  Q_OBJECT

 public:
  // Starts at the current directory.
  explicit FolderList(QWidget* parent);

  // The current folder as the current directory then read: "C:\ICQ", or "C:\".
  const std::string& Folder() const { return folder_; }

  // Makes the folder the current directory and shows it, then emits FolderChanged.
  // A folder that cannot be entered raises EInOutError and leaves the list as it was.
  void MoveTo(const std::string& folder);

  // The full path that a line stands for (its Windows path text).
  static std::string PathOfItem(const QListWidgetItem* item);

 signals:
  void FolderChanged();
  // A line was opened by the user; the owner moves the list (and reports any error).
  void OpenRequested(const std::string& folder);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void Fill();

  std::string folder_;
};

// A drive selector: one line per drive of the platform's drive table, "c:"; the list
// that drops down shows the host folder of each drive beside it.
class DriveSelector : public QComboBox {
  Q_OBJECT

 public:
  explicit DriveSelector(QWidget* parent);

  // Shows the drive of a Windows path without telling anyone.
  void ShowDriveOf(const std::string& folder);

 signals:
  void DriveChosen(char letter);  // by the user
};

// The gauge: 0..100, black on white, a single-line border and the percentage centred.
// A change of the shown percentage paints at once, without waiting for the event loop.
class Gauge : public QWidget {
  Q_OBJECT

 public:
  explicit Gauge(QWidget* parent);

  void SetValue(int percent);  // held to 0..100
  int Value() const { return value_; }
  QString Text() const;  // "42%"

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  int value_ = 0;
};

// A label that acts as a link: blue, underlined, cross-hair cursor, click signal.
class LinkLabel : public QLabel {
  Q_OBJECT

 public:
  LinkLabel(const QString& text, QWidget* parent);

 signals:
  void clicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool pressed_ = false;
};

// A push button that Enter presses too, as Space does, whether or not it is the default.
class PushButton : public QPushButton {
  Q_OBJECT

 public:
  using QPushButton::QPushButton;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace app
