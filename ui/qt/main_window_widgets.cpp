#include "ui/qt/main_window_widgets.h"

#include <QAbstractItemView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <vector>

#include "app/folder_lines.h"
#include "platform/drives.h"
#include "ui/form.h"

namespace app {
namespace {

constexpr int kFolderIndent = 8;  // pixels per level of the path
constexpr int kFolderIconSize = 14;
constexpr int kPathRole = Qt::UserRole;       // the line's folder, bytes of a Windows path
constexpr int kLevelRole = Qt::UserRole + 1;  // depth below the drive root

// Indents each line by its level, as the classic directory list draws its tree.
class IndentDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem shifted(option);
    shifted.rect.setLeft(option.rect.left() + Indent(index));
    QStyledItemDelegate::paint(painter, shifted, index);
    // The classic dotted frame whenever it has the focus, not only after a Tab.
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (view != nullptr && view->hasFocus() && index == view->currentIndex()) {
      painter->save();
      const bool selected = option.state & QStyle::State_Selected;
      painter->setPen(
          QPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text), 1,
               Qt::DotLine));
      painter->drawRect(shifted.rect.adjusted(0, 0, -1, -1));
      painter->restore();
    }
  }

  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    return {size.width() + Indent(index), ui::kFolderItemHeight};
  }

 private:
  static int Indent(const QModelIndex& index) {
    return index.data(kLevelRole).toInt() * kFolderIndent;
  }
};

// The drop-down list names each drive's host folder beside its letter.
class DriveDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text = QString("%1  [%2]").arg(option->text, index.data(Qt::ToolTipRole).toString());
  }
};

}  // namespace

FolderList::FolderList(QWidget* parent) : QListWidget(parent) {
  setItemDelegate(new IndentDelegate(this));
  setIconSize(QSize(kFolderIconSize, kFolderIconSize));
  setUniformItemSizes(true);
  setSelectionMode(QAbstractItemView::SingleSelection);
  connect(this, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { emit OpenRequested(PathOfItem(item)); });
}

std::string FolderList::PathOfItem(const QListWidgetItem* item) {
  const QByteArray bytes = item->data(kPathRole).toByteArray();
  return std::string(bytes.constData(), bytes.size());
}

void FolderList::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && currentItem()) {
    emit OpenRequested(PathOfItem(currentItem()));
    return;
  }
  QListWidget::keyPressEvent(event);
}

void FolderList::Fill(const std::string& folder) {
  clear();
  const QIcon open_icon = style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed_icon = style()->standardIcon(QStyle::SP_DirClosedIcon);
  const FolderLines shown = ReadFolderLines(folder);
  QListWidgetItem* current = nullptr;
  for (std::size_t i = 0; i < shown.lines.size(); ++i) {
    const FolderLine& line = shown.lines[i];
    auto* item = new QListWidgetItem(line.open ? open_icon : closed_icon, Shown(line.text), this);
    item->setData(kPathRole,
                  QByteArray(line.path.data(), static_cast<qsizetype>(line.path.size())));
    item->setData(kLevelRole, line.level);
    item->setToolTip(Shown(line.path));
    if (i == shown.current) current = item;
  }
  // From the top, as far down as the current folder needs.
  scrollToTop();
  setCurrentItem(current);
  scrollToItem(current, QAbstractItemView::EnsureVisible);
}

DriveSelector::DriveSelector(QWidget* parent) : QComboBox(parent) {
  for (const platform::DriveMapping& drive : platform::Drives()) {
    addItem(QString("%1:").arg(QChar(drive.letter).toLower()), QChar(drive.letter));
    setItemData(count() - 1, Shown(drive.host_root), Qt::ToolTipRole);
  }
  view()->setItemDelegate(new DriveDelegate(view()));
  view()->setTextElideMode(Qt::ElideNone);
  view()->setMinimumWidth(view()->sizeHintForColumn(0) + 2 * view()->frameWidth() + 8);
  connect(this, &QComboBox::activated, this,
          [this](int index) { emit DriveChosen(itemData(index).toChar().toLatin1()); });
}

void DriveSelector::ShowDriveOf(const std::string& folder) {
  if (folder.empty()) return;
  const int index = findData(QChar(folder[0]).toUpper());
  if (index >= 0) setCurrentIndex(index);
}

void Gauge::SetValue(int percent) {
  value_ = percent;
  // Painted now, not when the event loop next runs: long actions keep the loop waiting.
  repaint();
}

QString Gauge::Text() const { return QString("%1%").arg(value_); }

void Gauge::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect inner = rect().adjusted(1, 1, -1, -1);
  painter.setPen(Qt::black);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  painter.fillRect(inner, Qt::white);
  const QRect bar(inner.left(), inner.top(), inner.width() * value_ / 100, inner.height());
  painter.fillRect(bar, Qt::black);
  // The percentage reads black on the white part and white on the black part.
  painter.setClipRect(inner);
  painter.drawText(inner, Qt::AlignCenter, Text());
  painter.setClipRect(bar);
  painter.setPen(Qt::white);
  painter.drawText(inner, Qt::AlignCenter, Text());
}

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
  QPalette colours = palette();
  colours.setColor(QPalette::WindowText, Qt::blue);
  setPalette(colours);
  setCursor(Qt::CrossCursor);
}

void LinkLabel::mousePressEvent(QMouseEvent* event) {
  pressed_ = event->button() == Qt::LeftButton;
}

void LinkLabel::mouseReleaseEvent(QMouseEvent* event) {
  const bool click =
      pressed_ && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
  pressed_ = false;
  if (click) emit clicked();
}

void PushButton::keyPressEvent(QKeyEvent* event) {
  if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && !event->isAutoRepeat()) {
    click();
    return;
  }
  QPushButton::keyPressEvent(event);
}

}  // namespace app
