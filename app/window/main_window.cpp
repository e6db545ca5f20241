#include "app/window/main_window.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMessageBox>
#include <QScreen>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <exception>

#include "app/action_runner.h"
#include "app/folder_lines.h"
#include "app/reports.h"
#include "app/settings.h"
#include "app/startup.h"
#include "backup/backup.h"
#include "backup/check_date.h"
#include "backup/check_uin.h"
#include "backup/restore.h"
#include "search/auto_search.h"

namespace app {
namespace {

// Outer size at 96 dots per inch; Qt's device-independent pixels scale it to the screen.
constexpr int kOuterWidth = 540;
constexpr int kOuterHeight = 425;
constexpr int kFontPoints = 8;
constexpr char kFontFamily[] = "Arial";
// Asked for by two link labels; where it is not installed they use the window's family.
constexpr char kLinkFontFamily[] = "MS Sans Serif";
// The classic multi-line box keeps a pixel of margin inside its frame; the Read Me's
// lines were laid out to fit that width.
constexpr int kScreenTextMargin = 1;
// Keys for the three link labels, which take no focus: help, find, and a terminal's
// clear screen.
constexpr int kReadMeKey = Qt::Key_F1;
constexpr int kAutoSearchKey = Qt::Key_F3;
const QKeyCombination kClearScreenKeys(Qt::ControlModifier, Qt::Key_L);
// The window manager may draw its frame a little after the window first shows; the size
// is fitted to the frame on both occasions.
constexpr int kFrameSettleMs = 300;

QString Shown(const std::string& bytes) { return QString::fromUtf8(bytes.data(), bytes.size()); }

QString DialogLines(const std::string& text) { return Shown(DialogText(text, "\n")); }

// The input that waits while an action runs.
bool IsUserInput(QEvent::Type type) {
  switch (type) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::MouseMove:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletMove:
    case QEvent::TabletRelease:
      return true;
    default:
      return false;
  }
}

QFont ControlFont(const char* family, bool bold = false, bool underline = false) {
  QFont font(family, kFontPoints);
  font.setBold(bold);
  font.setUnderline(underline);
  return font;
}

QFont LinkFont(const char* family) {
  return ControlFont(QFontDatabase::hasFamily(family) ? family : kFontFamily, false, true);
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

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width, int height) {
  widget->setObjectName(name);
  widget->setGeometry(left, top, width, height);
  return widget;
}

// A label takes at least the room its text needs, as the classic labels size themselves
// to their text: the fonts that stand in for the original ones can be a little wider.
void FitLabelToText(QLabel* label) {
  const int needed = label->fontMetrics().horizontalAdvance(label->text()) + 1;
  if (needed > label->width()) label->resize(needed, label->height());
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
                          Qt::WindowCloseButtonHint),
      runner_({.show_error = [this](const std::string& message) { ShowError(message); },
               .close = [this] { close(); },
               .starting = [this] { throttle_.Restart(); }}) {
  setObjectName("Main");
  setWindowTitle(kWindowCaption);
  setWindowIcon(ProgramIcon());
  setFont(ControlFont(kFontFamily));
  BuildControls();
  resize(kOuterWidth, kOuterHeight);
  if (QScreen* screen = this->screen()) {
    move(CentredFramePosition(screen->availableGeometry(), size(), QMargins()));
  }
  QCoreApplication::instance()->installEventFilter(this);
  FormCreate();
}

void TMain::BuildControls() {
  // Frames first, so that they lie beneath the controls they group.
  Place(new Bevel(this), "Bevel1", 8, 24, 265, 145);
  Place(new Bevel(this), "Bevel2", 8, 176, 265, 153);
  Place(new Bevel(this), "Bevel3", 8, 344, 201, 41);
  Place(new Bevel(this), "Bevel4", 216, 344, 201, 41);
  Place(new Bevel(this), "Bevel5", 424, 344, 97, 41);

  auto* label1 = Place(new QLabel("1. Select ICQ Folder :", this), "Label1", 16, 32, 112, 14);
  label1->setFont(ControlFont(kFontFamily, true));
  drive_combo_box1_ = Place(new DriveSelector(this), "DriveComboBox1", 192, 32, 73, 20);
  icq_folder_ = Place(new FolderList(this), "ICQFolder", 16, 56, 249, 81);
  icq_folder_now_ = Place(new QLabel(this), "ICQFolderNow", 16, 144, 185, 14);
  auto* label2 = Place(new LinkLabel("AutoSearch", this), "Label2", 208, 144, 56, 13);
  label2->setFont(LinkFont(kLinkFontFamily));

  auto* label3 =
      Place(new QLabel("2. Select / Edit Backup Folder :", this), "Label3", 16, 184, 162, 14);
  label3->setFont(ControlFont(kFontFamily, true));
  drive_combo_box2_ = Place(new DriveSelector(this), "DriveComboBox2", 192, 184, 73, 20);
  backup_folder_ = Place(new FolderList(this), "BackupFolder", 16, 208, 249, 81);
  backup_folder_list_ = Place(new QLineEdit(this), "BackupFolderList", 16, 296, 249, 22);
  backup_folder_text_ = kInitialBackupFolderText;
  backup_folder_list_->setText(kInitialBackupFolderText);

  out_screen_ = Place(new QPlainTextEdit(this), "OutScreen", 288, 24, 233, 289);
  out_screen_->setReadOnly(true);
  out_screen_->document()->setDocumentMargin(kScreenTextMargin);
  // Read-only, yet with a caret when it has the focus, so that the focus shows.
  out_screen_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
  out_screen_->setTabChangesFocus(true);
  out_screen_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  out_screen_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  out_screen_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  out_screen_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  progress_bar_ = Place(new app::Gauge(this), "ProgressBar", 296, 320, 145, 14);
  auto* clear_screen = Place(new LinkLabel("Clear Screen", this), "ClearScreen", 452, 320, 61, 13);
  clear_screen->setFont(LinkFont(kLinkFontFamily));
  auto* label4 = Place(new LinkLabel("Read Me", this), "Label4", 472, 5, 42, 14);
  label4->setFont(LinkFont(kFontFamily));

  auto* backup = Place(new PushButton("Backup", this), "Backup", 24, 352, 75, 25);
  auto* restore = Place(new PushButton("Restore", this), "Restore", 120, 352, 75, 25);
  auto* check_uin = Place(new PushButton("Check UIN", this), "CheckUIN", 232, 352, 75, 25);
  auto* check_date = Place(new PushButton("Check Date", this), "CheckDate", 328, 352, 75, 25);
  auto* about = Place(new PushButton("About", this), "About", 440, 352, 65, 25);

  for (QLabel* label : {label1, icq_folder_now_, static_cast<QLabel*>(label2), label3,
                        static_cast<QLabel*>(clear_screen), static_cast<QLabel*>(label4)}) {
    if (label != icq_folder_now_) FitLabelToText(label);  // the folder label keeps its size
  }

  // Tab order 0..10; labels, frames and the gauge take no focus.
  QWidget* tab_order[] = {icq_folder_,       drive_combo_box1_,   out_screen_, backup_folder_,
                          drive_combo_box2_, backup_folder_list_, backup,      restore,
                          check_uin,         check_date,          about};
  for (QWidget* control : tab_order) control->setFocusPolicy(Qt::StrongFocus);
  for (std::size_t i = 1; i < std::size(tab_order); ++i) {
    setTabOrder(tab_order[i - 1], tab_order[i]);
  }
  icq_folder_->setFocus();

  connect(backup, &QPushButton::clicked, this, &TMain::BackupClick);
  connect(restore, &QPushButton::clicked, this, &TMain::RestoreClick);
  connect(check_uin, &QPushButton::clicked, this, &TMain::CheckUINClick);
  connect(check_date, &QPushButton::clicked, this, &TMain::CheckDateClick);
  connect(about, &QPushButton::clicked, this, &TMain::AboutClick);
  connect(label2, &LinkLabel::clicked, this, &TMain::Label2Click);
  connect(label4, &LinkLabel::clicked, this, &TMain::Label4Click);
  connect(clear_screen, &LinkLabel::clicked, this, &TMain::ClearScreenClick);

  // The folder selectors: drive box and list bound together, the label and the edit
  // box following their lists.
  connect(icq_folder_, &FolderList::FolderChanged, this, [this] {
    drive_folders_.Remember(icq_folder_->Folder());
    drive_combo_box1_->ShowDriveOf(icq_folder_->Folder());
    ShowICQFolderNow();
  });
  connect(backup_folder_, &FolderList::FolderChanged, this, [this] {
    drive_folders_.Remember(backup_folder_->Folder());
    drive_combo_box2_->ShowDriveOf(backup_folder_->Folder());
    BackupFolderChange();
  });
  connect(icq_folder_, &FolderList::OpenRequested, this,
          [this](const std::string& folder) { OpenFolder(icq_folder_, folder); });
  connect(backup_folder_, &FolderList::OpenRequested, this,
          [this](const std::string& folder) { OpenFolder(backup_folder_, folder); });
  connect(drive_combo_box1_, &DriveSelector::DriveChosen, this,
          [this](char letter) { ChooseDrive(icq_folder_, drive_combo_box1_, letter); });
  connect(drive_combo_box2_, &DriveSelector::DriveChosen, this,
          [this](char letter) { ChooseDrive(backup_folder_, drive_combo_box2_, letter); });
  connect(backup_folder_list_, &QLineEdit::textEdited, this,
          [this](const QString& text) { backup_folder_text_ = text.toUtf8().toStdString(); });

  drive_folders_.Remember(icq_folder_->Folder());
  drive_combo_box1_->ShowDriveOf(icq_folder_->Folder());
  drive_combo_box2_->ShowDriveOf(backup_folder_->Folder());
  ShowICQFolderNow();
}

// --- The window seam ---------------------------------------------------------------

void TMain::ClearScreen() {
  lines_.clear();
  out_screen_->clear();
  LetWindowRepaint();
}

void TMain::AppendLine(const std::string& line) {
  lines_.push_back(line);
  out_screen_->appendPlainText(Shown(ScreenLineText(line)));
  LetWindowRepaint();
}

void TMain::DeleteLine(int index) {
  if (index < 0 || index >= static_cast<int>(lines_.size())) return;
  lines_.erase(lines_.begin() + index);
  if (lines_.empty()) {
    out_screen_->clear();
  } else {
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
  LetWindowRepaint();
}

std::vector<std::string> TMain::Lines() const { return lines_; }

void TMain::SetGauge(int percent) {
  progress_bar_->SetValue(percent);
  LetWindowRepaint();
}

int TMain::Gauge() const { return progress_bar_->Value(); }

std::string TMain::ICQFolder() const { return icq_folder_->Folder(); }

void TMain::MoveICQFolder(const std::string& folder) { icq_folder_->MoveTo(folder); }

std::string TMain::BackupFolder() const { return backup_folder_->Folder(); }

void TMain::MoveBackupFolder(const std::string& folder) { backup_folder_->MoveTo(folder); }

std::string TMain::BackupFolderText() const { return backup_folder_text_; }

void TMain::SetBackupFolderText(const std::string& text) {
  backup_folder_text_ = text;
  backup_folder_list_->setText(Shown(text));
}

bool TMain::ConfirmYesNo(const std::string& text) {
  QMessageBox box(QMessageBox::Question, kConfirmCaption, DialogLines(text),
                  QMessageBox::Yes | QMessageBox::No, this);
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::No);
  return AskCentred(box) == QMessageBox::Yes;
}

bool TMain::WarnOkCancel(const std::string& caption, const std::string& text) {
  QMessageBox box(QMessageBox::Warning, Shown(caption), DialogLines(text),
                  QMessageBox::Ok | QMessageBox::Cancel, this);
  box.setDefaultButton(QMessageBox::Ok);
  box.setEscapeButton(QMessageBox::Cancel);
  return AskCentred(box) == QMessageBox::Ok;
}

// The boxes speak in the window's font, with plain buttons, and stand in the middle of
// the screen rather than of the window. Their frame is not known before they show; the
// window's own frame, drawn by the same window manager, stands in for it.
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

// --- Running the handlers ----------------------------------------------------------

void TMain::RunAction(const std::function<void()>& action) {
  runner_.Run(action);
  if (!runner_.Running()) ReplayHeldInput();
}

// The input kept during the action reaches the window now, in the order it came.
void TMain::ReplayHeldInput() {
  std::vector<std::unique_ptr<QEvent>> held;
  held.swap(held_input_);
  if (!isVisible() || windowHandle() == nullptr) return;  // closed by the user's stop
  for (std::unique_ptr<QEvent>& event : held) {
    QCoreApplication::postEvent(windowHandle(), event.release());
  }
}

// While an action runs, the window's input is kept for after it, except a request to
// stop: Escape asks as closing the window does.
bool TMain::eventFilter(QObject* watched, QEvent* event) {
  if (!runner_.Running() || watched != windowHandle() || !IsUserInput(event->type())) {
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

void TMain::LetWindowRepaint() {
  if (!runner_.Running() || !isVisible()) return;
  if (throttle_.PaintChangeNow()) PaintNow();
}

void TMain::Refresh() {
  if (!runner_.Running() || !isVisible()) return;
  if (throttle_.PaintOnRefresh()) PaintNow();
}

void TMain::PaintNow() {
  // Every event, so that a close request is seen now; eventFilter keeps the clicks and
  // keys for after the action.
  QCoreApplication::processEvents();
  throttle_.Painted();
}

void ShowErrorBox(QWidget* parent, const std::string& message) {
  QMessageBox::critical(parent, kWindowCaption, Shown(message));
}

void TMain::ShowError(const std::string& message) {
  QMessageBox box(QMessageBox::Critical, kWindowCaption, Shown(message), QMessageBox::Ok,
                  isVisible() ? this : nullptr);
  AskCentred(box);
}

void TMain::closeEvent(QCloseEvent* event) {
  if (!runner_.MayClose([this] { return ConfirmYesNo(kStopQuestion); })) {
    event->ignore();
    return;
  }
  QWidget::closeEvent(event);
}

void TMain::keyPressEvent(QKeyEvent* event) {
  if (event->keyCombination() == kClearScreenKeys) {
    ClearScreenClick();
  } else if (event->modifiers() != Qt::NoModifier) {
    QWidget::keyPressEvent(event);
  } else if (event->key() == kReadMeKey) {
    Label4Click();
  } else if (event->key() == kAutoSearchKey) {
    Label2Click();
  } else {
    QWidget::keyPressEvent(event);
  }
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
  const QSize client(kOuterWidth - frame.left() - frame.right(),
                     kOuterHeight - frame.top() - frame.bottom());
  if (client == size()) return;
  // Only while the window still has the size it was given: the user may have resized it.
  if (size() != QSize(kOuterWidth, kOuterHeight)) return;
  resize(client);
  if (QScreen* screen = this->screen()) {
    move(CentredFramePosition(screen->availableGeometry(), client, frame));
  }
}

// --- Handlers ----------------------------------------------------------------------

void TMain::FormCreate() {
  RunAction([this] { app::FormCreate(*this); });
}

void TMain::BackupClick() {
  RunAction([this] { backup::BackupClick(*this); });
}

void TMain::RestoreClick() {
  RunAction([this] { backup::RestoreClick(*this); });
}

void TMain::CheckUINClick() {
  RunAction([this] { backup::CheckUINClick(*this); });
}

void TMain::CheckDateClick() {
  RunAction([this] { backup::CheckDateClick(*this); });
}

void TMain::Label2Click() {
  RunAction([this] { search::Label2Click(*this); });
}

void TMain::Label4Click() {
  RunAction([this] {
    app::Label4Click(*this);
    // The text is read from its first line; the screen would stay at its last.
    out_screen_->moveCursor(QTextCursor::Start);
    out_screen_->verticalScrollBar()->setValue(out_screen_->verticalScrollBar()->minimum());
  });
}

void TMain::AboutClick() {
  RunAction([this] { app::AboutClick(*this); });
}

void TMain::ClearScreenClick() {
  RunAction([this] { app::ClearScreenClick(*this); });
}

void TMain::BackupFolderChange() {
  backup_folder_text_ = backup_folder_->Folder();
  backup_folder_list_->setText(Shown(backup_folder_text_));
}

// --- The folder selectors ----------------------------------------------------------

void TMain::ShowICQFolderNow() {
  icq_folder_now_->setText(ElidedFolder(icq_folder_->Folder(), icq_folder_now_->fontMetrics(),
                                        icq_folder_now_->width()));
  icq_folder_now_->setToolTip(Shown(icq_folder_->Folder()));
}

void TMain::OpenFolder(FolderList* list, const std::string& folder) {
  RunAction([list, folder] { list->MoveTo(folder); });
}

void TMain::ChooseDrive(FolderList* list, DriveSelector* selector, char letter) {
  RunAction([this, list, selector, letter] {
    if (DriveOf(list->Folder()) == letter) return;
    try {
      list->MoveTo(drive_folders_.Target(letter));
    } catch (...) {
      selector->ShowDriveOf(list->Folder());
      throw;
    }
  });
}

}  // namespace app
