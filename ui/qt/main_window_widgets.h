// The window's own kinds of control. Paths are Windows path texts kept as bytes; Qt
// only shows them.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QWidget>
#include <string>

namespace app {

inline QString Shown(const std::string& s) { return QString::fromUtf8(s.data(), s.size()); }

// A directory list: the path from the drive root down to its folder, then the folder's
// sub-folders. Double-click or Enter on a line asks to move into that folder.
class FolderList : public QListWidget {
  Q_OBJECT

 public:
  explicit FolderList(QWidget* parent);

  void Fill(const std::string& folder);

  // The full path that a line stands for (its Windows path text).
  static std::string PathOfItem(const QListWidgetItem* item);

 signals:
  void OpenRequested(const std::string& folder);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

// A drive selector: one line per drive, "c:"; its drop-down list shows each drive's host
// folder beside it.
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
class Gauge : public QWidget {
  Q_OBJECT

 public:
  using QWidget::QWidget;

  void SetValue(int percent);  // 0..100, painted at once
  QString Text() const;        // "42%"

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
