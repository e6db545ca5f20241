#include "ui/qt/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <iterator>

#include "app/folder_lines.h"
#include "app/startup.h"

namespace app {
namespace {

// The classic box's margin, which the Read Me's lines were laid out for.
constexpr int kScreenTextMargin = 1;
// The window manager may draw its frame a little after the window first shows.
constexpr int kFrameSettleMs = 300;

// The input that waits while an action runs.
bool IsUserInput(QEvent::Type type) {
  static constexpr QEvent::Type kInput[] = {QEvent::MouseButtonPress,
                                            QEvent::MouseButtonRelease,
                                            QEvent::MouseButtonDblClick,
                                            QEvent::MouseMove,
                                            QEvent::Wheel,
                                            QEvent::KeyPress,
                                            QEvent::KeyRelease,
                                            QEvent::TouchBegin,
                                            QEvent::TouchUpdate,
                                            QEvent::TouchEnd,
                                            QEvent::TabletPress,
                                            QEvent::TabletMove,
                                            QEvent::TabletRelease};
  return std::ranges::find(kInput, type) != std::end(kInput);
}

// The program's icon in every size the build drew from its SVG (one folder a size).
QIcon ProgramIcon() {
  QIcon icon;
  const QDir sizes(":/icons");
  for (const QString& size : sizes.entryList(QDir::Dirs)) {
    icon.addFile(sizes.filePath(size + "/torq32.png"));
  }
  return icon;
}

// "C:\...\newdb\sub": leading folders give way to an ellipsis until the path fits.
QString ElidedFolder(const std::string& folder, const QFontMetrics& metrics, int width) {
  const QString full = Shown(folder);
  if (metrics.horizontalAdvance(full) <= width || full.size() <= 3) return full;
  const QString root = full.left(3);
  QStringList parts = full.mid(3).split('\\');
  while (parts.size() > 1) {
    parts.removeFirst();
    const QString candidate = root + "...\\" + parts.join('\\');
    if (metrics.horizontalAdvance(candidate) <= width) return candidate;
  }
  return metrics.elidedText(root + "...\\" + parts.join('\\'), Qt::ElideRight, width);
}

}  // namespace

QPoint CentredFramePosition(const QRect& area, const QSize& client, const QMargins& frame) {
  const QSize outer = client.grownBy(frame);
  const auto along = [](int start, int room, int size) {
    return size <= room ? start + (room - size) / 2 : start;
  };
  return {along(area.left(), area.width(), outer.width()),
          along(area.top(), area.height(), outer.height())};
}

TMain::TMain(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
  setObjectName("Main");
  setWindowTitle(kWindowCaption);
  setWindowIcon(ProgramIcon());
  setFont(QFont(ui::kArial, ui::kFontPoints));
  BuildControls();
  resize(ui::kOuterWidth, ui::kOuterHeight);
  if (QScreen* screen = this->screen()) {
    move(CentredFramePosition(screen->availableGeometry(), size(), QMargins()));
  }
  QCoreApplication::instance()->installEventFilter(this);
  RunAction([this] { FormCreate(*this); });
}

void TMain::BuildControls() {
  for (const ui::Control& control : ui::kForm) {
    QWidget* widget = nullptr;
    const QString text = control.text;
    switch (control.kind) {
      case ui::Kind::kFrame: {
        // Sunken, behind the controls it groups; the clicks go through to them.
        auto* frame = new QFrame(this);
        frame->setFrameStyle(QFrame::Box | QFrame::Sunken);
        frame->setAttribute(Qt::WA_TransparentForMouseEvents);
        widget = frame;
        break;
      }
      case ui::Kind::kLabel:
      case ui::Kind::kFolderLabel:
        widget = new QLabel(text, this);
        break;
      case ui::Kind::kLink: {
        // Blue, underlined (below), with a cross-hair cursor; eventFilter sees its clicks.
        auto* link = new QLabel(text, this);
        QPalette colours = link->palette();
        colours.setColor(QPalette::WindowText, Qt::blue);
        link->setPalette(colours);
        link->setCursor(Qt::CrossCursor);
        links_[link] = control.handler;
        widget = link;
        break;
      }
      case ui::Kind::kDriveBox:
        widget = MakeDriveBox(this);
        break;
      case ui::Kind::kFolderList:
        widget = MakeFolderList(this);
        break;
      case ui::Kind::kEdit:
        widget = backup_folder_list_ = new QLineEdit(text, this);
        break;
      case ui::Kind::kScreen:
        widget = out_screen_ = new QPlainTextEdit(this);
        break;
      case ui::Kind::kGauge:
        widget = progress_bar_ = new app::Gauge(this);
        break;
      case ui::Kind::kButton: {
        auto* button = new QPushButton(text, this);
        connect(button, &QPushButton::clicked, this, [this, &control] { Click(control.handler); });
        widget = button;
        break;
      }
    }
    widget->setObjectName(control.name);
    widget->setGeometry(control.left, control.top, control.width, control.height);
    const bool link = control.kind == ui::Kind::kLink;
    if (link || control.bold) {
      QFont font(QFontDatabase::hasFamily(control.family) ? control.family : ui::kArial,
                 ui::kFontPoints);
      font.setBold(control.bold);
      font.setUnderline(link);
      widget->setFont(font);
    }
    // A label takes the room its text needs: a stand-in font can be a little wider.
    if (control.kind == ui::Kind::kLabel || control.kind == ui::Kind::kLink) {
      const int needed = widget->fontMetrics().horizontalAdvance(text) + 1;
      if (needed > widget->width()) widget->resize(needed, widget->height());
    }
    widget->setFocusPolicy(control.tab < 0 ? Qt::NoFocus : Qt::StrongFocus);
  }
  QWidget* previous = nullptr;
  for (std::size_t index : ui::TabOrder()) {
    QWidget* next = findChild<QWidget*>(ui::kForm[index].name);
    if (previous != nullptr) setTabOrder(previous, next);
    previous = next;
  }

  lists_[kICQ] = findChild<QListWidget*>("ICQFolder");
  lists_[kBackup] = findChild<QListWidget*>("BackupFolder");
  drives_[kICQ] = findChild<QComboBox*>("DriveComboBox1");
  drives_[kBackup] = findChild<QComboBox*>("DriveComboBox2");
  icq_folder_now_ = findChild<QLabel*>("ICQFolderNow");

  out_screen_->setReadOnly(true);
  out_screen_->document()->setDocumentMargin(kScreenTextMargin);
  // Read-only, yet with a caret when it has the focus, so that the focus shows.
  out_screen_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  out_screen_->setTabChangesFocus(true);
  out_screen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  out_screen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  lists_[kICQ]->setFocus();

  for (Selector selector : {kICQ, kBackup}) {
    connect(lists_[selector], &QListWidget::itemDoubleClicked, this,
            [this, selector](QListWidgetItem* item) { OpenFolder(selector, PathOfItem(item)); });
    connect(drives_[selector], &QComboBox::activated, this, [this, selector](int index) {
      ChooseDrive(selector, drives_[selector]->itemData(index).toChar().toLatin1());
    });
    ShowFolder(selector);
  }
  connect(backup_folder_list_, &QLineEdit::textEdited, this,
          [this](const QString& text) { backup_text_ = text.toUtf8().toStdString(); });
}

void TMain::ShowCleared() { out_screen_->clear(); }

void TMain::ShowAppended(const std::string& line) {
  out_screen_->appendPlainText(Shown(ScreenLineText(line)));
}

void TMain::ShowDeleting(int index) {
  if (lines_.size() == 1) {
    out_screen_->clear();
    return;
  }
  // The block goes with one line break: the one after it, or before the last block.
  const QTextBlock block = out_screen_->document()->findBlockByNumber(index);
  QTextCursor cursor(block);
  if (block.next().isValid()) {
    cursor.setPosition(block.next().position(), QTextCursor::KeepAnchor);
  } else {
    cursor.setPosition(block.position() - 1);
    cursor.setPosition(block.position() + block.length() - 1, QTextCursor::KeepAnchor);
  }
  cursor.removeSelectedText();
}

void TMain::ShowGauge() { progress_bar_->SetValue(gauge_); }

void TMain::ShowBackupText() { backup_folder_list_->setText(Shown(backup_text_)); }

bool TMain::Ask(const std::string& caption, const std::string& text, bool yes_no) {
  const QMessageBox::StandardButton yes = yes_no ? QMessageBox::Yes : QMessageBox::Ok;
  const QMessageBox::StandardButton no = yes_no ? QMessageBox::No : QMessageBox::Cancel;
  QMessageBox box(yes_no ? QMessageBox::Question : QMessageBox::Warning, Shown(caption),
                  Shown(DialogText(text, "\n")), yes | no, this);
  box.setDefaultButton(yes);
  box.setEscapeButton(no);
  return AskCentred(box) == yes;
}

// In the window's font, with plain buttons, centred as if the box had the window's frame.
int TMain::AskCentred(QMessageBox& box) {
  box.setFont(font());
  for (QAbstractButton* button : box.buttons()) button->setIcon(QIcon());
  box.adjustSize();
  if (QScreen* screen = this->screen()) {
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    box.move(CentredFramePosition(screen->availableGeometry(), box.size(), frame));
  }
  return box.exec();
}

// The input kept during the action reaches the window now, in the order it came.
void TMain::ActionEnded() {
  std::vector<std::unique_ptr<QEvent>> held;
  held.swap(held_input_);
  if (!isVisible() || windowHandle() == nullptr) return;  // closed by the user's stop
  for (std::unique_ptr<QEvent>& event : held) {
    QCoreApplication::postEvent(windowHandle(), event.release());
  }
}

// A link label's press made it the mouse's grabber: a release on it ends a click. During an
// action input waits, but Escape asks to stop as closing the window does.
bool TMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::MouseButtonRelease && links_.contains(watched)) {
    const auto* release = static_cast<QMouseEvent*>(event);
    if (release->button() == Qt::LeftButton &&
        static_cast<QWidget*>(watched)->rect().contains(release->position().toPoint())) {
      Click(links_[watched]);
    }
    return true;
  }
  if (!ActionRunning() || watched != windowHandle() || !IsUserInput(event->type())) {
    return false;
  }
  if (event->type() == QEvent::KeyPress &&
      static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape) {
    close();
    return true;
  }
  held_input_.emplace_back(event->clone());
  return true;
}

// Every event, so that a close request is seen now; eventFilter holds the input.
void TMain::TakeMessages() { QCoreApplication::processEvents(); }

void TMain::ShowError(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, kWindowCaption, Shown(message), QMessageBox::Ok,
                  isVisible() ? this : nullptr);
  AskCentred(box);
}

void TMain::closeEvent(QCloseEvent* event) {
  if (MayClose()) {
    QWidget::closeEvent(event);
  } else {
    event->ignore();
  }
}

// The link labels' keys; Enter, which the controls pass on, opens a list line or clicks.
void TMain::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    for (Selector selector : {kICQ, kBackup}) {
      if (focusWidget() == lists_[selector] && lists_[selector]->currentItem()) {
        OpenFolder(selector, PathOfItem(lists_[selector]->currentItem()));
        return;
      }
    }
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (button != nullptr && !event->isAutoRepeat()) {
      button->click();
      return;
    }
  }
  for (const ui::Key& key : ui::kKeys) {
    const QKeyCombination wanted =
        key.function_key > 0 ? QKeyCombination(Qt::Key(Qt::Key_F1 + key.function_key - 1))
                             : QKeyCombination(Qt::ControlModifier, Qt::Key(key.control_letter));
    if (event->keyCombination() == wanted) {
      Click(key.handler);
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

void TMain::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (shown_once_) return;
  shown_once_ = true;
  QTimer::singleShot(0, this, &TMain::FitOuterSize);
  QTimer::singleShot(kFrameSettleMs, this, &TMain::FitOuterSize);
}

// The outer size counts the window manager's frame; Qt sizes the client area.
void TMain::FitOuterSize() {
  if (!windowHandle() || isMinimized()) return;
  const QMargins frame = windowHandle()->frameMargins();
  const QSize client(ui::kOuterWidth - frame.left() - frame.right(),
                     ui::kOuterHeight - frame.top() - frame.bottom());
  if (client == size()) return;
  // Only while the window still has the size it was given: the user may have resized it.
  if (size() != QSize(ui::kOuterWidth, ui::kOuterHeight)) return;
  resize(client);
  if (QScreen* screen = this->screen()) {
    move(CentredFramePosition(screen->availableGeometry(), client, frame));
  }
}

void TMain::ScreenToTop() {
  out_screen_->moveCursor(QTextCursor::Start);
  out_screen_->verticalScrollBar()->setValue(out_screen_->verticalScrollBar()->minimum());
}

void TMain::ShowList(Selector selector) {
  FillFolderList(lists_[selector], folders_[selector]);
  ShowDrive(selector);
  if (selector != kICQ) return;
  icq_folder_now_->setText(
      ElidedFolder(folders_[kICQ], icq_folder_now_->fontMetrics(), icq_folder_now_->width()));
  icq_folder_now_->setToolTip(Shown(folders_[kICQ]));
}

void TMain::ShowDrive(Selector selector) {
  const int index = drives_[selector]->findData(QChar(DriveOf(folders_[selector])));
  if (index >= 0) drives_[selector]->setCurrentIndex(index);
}

}  // namespace app
