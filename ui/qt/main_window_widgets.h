// The window's own kinds of control. Paths stay Windows path texts; Qt only shows them.
#pragma once

#include <QComboBox>
#include <QLabel>
#include <QListWidget>
#include <QWidget>
#include <string>

namespace app {

inline QString Shown(const std::string& s) { return QString::fromUtf8(s.data(), s.size()); }

// A directory list (FillFolderList): the path down to its folder, then the sub-folders.
QListWidget* MakeFolderList(QWidget* parent);
void FillFolderList(QListWidget* list, const std::string& folder);
std::string PathOfItem(const QListWidgetItem* item);  // the line's Windows path

// One line per drive, "c:"; its drop-down list shows each drive's host folder beside it.
QComboBox* MakeDriveBox(QWidget* parent);

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

}  // namespace app
