#include "ui/qt/main_window_widgets.h"

#include <QAbstractItemView>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include "app/folder_lines.h"
#include "platform/drives.h"
#include "ui/form.h"

namespace app {
namespace {

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
    return index.data(kLevelRole).toInt() * ui::kFolderIndent;
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

QListWidget* MakeFolderList(QWidget* parent) {
  auto* list = new QListWidget(parent);
  list->setItemDelegate(new IndentDelegate(list));
  list->setIconSize(QSize(ui::kFolderIconSize, ui::kFolderIconSize));
  list->setUniformItemSizes(true);
  list->setSelectionMode(QAbstractItemView::SingleSelection);
  return list;
}

void FillFolderList(QListWidget* list, const std::string& folder) {
  list->clear();
  const QIcon open_icon = list->style()->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed_icon = list->style()->standardIcon(QStyle::SP_DirClosedIcon);
  const FolderLines shown = ReadFolderLines(folder);
  QListWidgetItem* current = nullptr;
  for (std::size_t i = 0; i < shown.lines.size(); ++i) {
    const FolderLine& line = shown.lines[i];
    auto* item = new QListWidgetItem(line.open ? open_icon : closed_icon, Shown(line.text), list);
    item->setData(kPathRole,
                  QByteArray(line.path.data(), static_cast<qsizetype>(line.path.size())));
    item->setData(kLevelRole, line.level);
    item->setToolTip(Shown(line.path));
    if (i == shown.current) current = item;
  }
  // From the top, as far down as the current folder needs.
  list->scrollToTop();
  list->setCurrentItem(current);
  list->scrollToItem(current, QAbstractItemView::EnsureVisible);
}

std::string PathOfItem(const QListWidgetItem* item) {
  const QByteArray bytes = item->data(kPathRole).toByteArray();
  return std::string(bytes.constData(), bytes.size());
}

QComboBox* MakeDriveBox(QWidget* parent) {
  auto* box = new QComboBox(parent);
  for (const platform::DriveMapping& drive : platform::Drives()) {
    box->addItem(QString("%1:").arg(QChar(drive.letter).toLower()), QChar(drive.letter));
    box->setItemData(box->count() - 1, Shown(drive.host_root), Qt::ToolTipRole);
  }
  QAbstractItemView* view = box->view();
  view->setItemDelegate(new DriveDelegate(view));
  view->setTextElideMode(Qt::ElideNone);
  view->setMinimumWidth(view->sizeHintForColumn(0) + 2 * view->frameWidth() + 8);
  return box;
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

}  // namespace app
