// TMain on Qt's offscreen platform: the controls against the form's table, the folder
// selectors on drives made of temporary folders, the handlers behind the clicks, and
// the window's side of the seam (errors, questions, close requests during an action).
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ui/qt/main_window.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/fault_injection.h"
#include "platform/interrupt.h"
#include "platform/io_error.h"
#include "tests/drive_sandbox.h"
#include "tests/german_locales.h"

namespace {

// One QApplication for the test process, made before the first test and gone after
// the last.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "test_window";
    static char* argv[] = {name, nullptr};
    application_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { application_.reset(); }

 private:
  std::unique_ptr<QApplication> application_;
};
// GoogleTest takes ownership of the environment.
[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

// What a message box showed, and how the test answered it.
struct BoxSeen {
  bool seen = false;
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButton default_button = QMessageBox::NoButton;
  QMessageBox::StandardButton escape_button = QMessageBox::NoButton;
  QRect geometry;
  QFont text_font;
  bool button_icons = false;  // any button shows an icon
};

// Watches for the next modal message box and answers it from inside its event loop.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(std::function<void(QMessageBox&)> answer) : answer_(std::move(answer)) {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }
  const BoxSeen& Seen() const { return seen_; }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr || !box->isVisible()) return;
    timer_.stop();
    seen_.seen = true;
    seen_.caption = box->windowTitle();
    seen_.text = box->text();
    seen_.icon = box->icon();
    seen_.default_button = box->standardButton(box->defaultButton());
    seen_.escape_button = box->standardButton(qobject_cast<QAbstractButton*>(box->escapeButton()));
    seen_.geometry = box->frameGeometry();
    const auto* label = box->findChild<QLabel*>("qt_msgbox_label");
    seen_.text_font = label ? label->font() : box->font();
    for (const QAbstractButton* button : box->buttons()) {
      if (!button->icon().isNull()) seen_.button_icons = true;
    }
    answer_(*box);
  }

  std::function<void(QMessageBox&)> answer_;
  QTimer timer_;
  BoxSeen seen_;
};

void PressKey(QMessageBox& box, Qt::Key key) { QTest::keyClick(&box, key); }

// A box speaks in the window's font, Arial 8, with plain buttons.
void ExpectWindowsLook(const BoxSeen& seen) {
  EXPECT_EQ(seen.text_font.family(), "Arial");
  EXPECT_EQ(seen.text_font.pointSize(), 8);
  EXPECT_FALSE(seen.button_icons);
}

// Drives C: and D: of temporary folders; the window starts in C:\Home.
class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    platform::testing::ResetFaults();
    sandbox_.MakeFolder("C:\\Home\\Alpha");
    sandbox_.MakeFolder("C:\\Home\\beta");
    sandbox_.MakeFolder("C:\\Home\\.hidden");
    sandbox_.WriteFile("C:\\Home\\notes.txt", "a file, not a folder");
    sandbox_.MakeFolder("C:\\ICQ");
    sandbox_.MakeFolder("D:\\Backups\\Old");
    ASSERT_TRUE(platform::SetCurrentDir("C:\\Home"));
  }
  void TearDown() override {
    window_.reset();
    platform::testing::ResetFaults();
  }

  app::TMain& Open() {
    window_ = std::make_unique<app::TMain>();
    window_->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
    return *window_;
  }

  template <typename Widget>
  Widget* Control(const char* name) {
    auto* widget = window_->findChild<Widget*>(name);
    EXPECT_NE(widget, nullptr) << name;
    return widget;
  }

  static std::vector<std::string> ItemTexts(const QListWidget* list) {
    std::vector<std::string> texts;
    for (int i = 0; i < list->count(); ++i) texts.push_back(list->item(i)->text().toStdString());
    return texts;
  }

  static QListWidgetItem* Item(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? nullptr : found.front();
  }

  static void DoubleClick(QListWidget* list, const QString& text) {
    QListWidgetItem* item = Item(list, text);
    ASSERT_NE(item, nullptr) << text.toStdString();
    list->scrollToItem(item);
    const QPoint centre = list->visualItemRect(item).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
  }

  DriveSandbox sandbox_{'C', 'D'};
  std::unique_ptr<app::TMain> window_;
};

// --- The form's table ----------------------------------------------------------------

struct ControlRow {
  const char* name;
  const char* kind;  // Qt class the control is, or derives from
  int left, top, width, height;
  const char* text;  // nullptr: not a text control
  const char* family;
  bool bold;
  bool link;  // blue, underlined, cross-hair cursor; may grow to fit its text
};

void PrintTo(const ControlRow& c, std::ostream* os) { *os << c.name; }

const char kArial[] = "Arial";
const char kMsSansSerif[] = "MS Sans Serif";

const ControlRow kControls[] = {
    {"Bevel1", "QFrame", 8, 24, 265, 145, nullptr, kArial, false, false},
    {"Label1", "QLabel", 16, 32, 112, 14, "1. Select ICQ Folder :", kArial, true, false},
    {"DriveComboBox1", "QComboBox", 192, 32, 73, 20, nullptr, kArial, false, false},
    {"ICQFolder", "QListWidget", 16, 56, 249, 81, nullptr, kArial, false, false},
    {"ICQFolderNow", "QLabel", 16, 144, 185, 14, "C:\\Home", kArial, false, false},
    {"Label2", "QLabel", 208, 144, 56, 13, "AutoSearch", kMsSansSerif, false, true},
    {"Bevel2", "QFrame", 8, 176, 265, 153, nullptr, kArial, false, false},
    {"Label3", "QLabel", 16, 184, 162, 14, "2. Select / Edit Backup Folder :", kArial, true, false},
    {"DriveComboBox2", "QComboBox", 192, 184, 73, 20, nullptr, kArial, false, false},
    {"BackupFolder", "QListWidget", 16, 208, 249, 81, nullptr, kArial, false, false},
    {"BackupFolderList", "QLineEdit", 16, 296, 249, 22, "C:\\Home", kArial, false, false},
    {"OutScreen", "QPlainTextEdit", 288, 24, 233, 289, nullptr, kArial, false, false},
    {"ProgressBar", "app::Gauge", 296, 320, 145, 14, nullptr, kArial, false, false},
    {"ClearScreen", "QLabel", 452, 320, 61, 13, "Clear Screen", kMsSansSerif, false, true},
    {"Label4", "QLabel", 472, 5, 42, 14, "Read Me", kArial, false, true},
    {"Bevel3", "QFrame", 8, 344, 201, 41, nullptr, kArial, false, false},
    {"Backup", "QPushButton", 24, 352, 75, 25, "Backup", kArial, false, false},
    {"Restore", "QPushButton", 120, 352, 75, 25, "Restore", kArial, false, false},
    {"Bevel4", "QFrame", 216, 344, 201, 41, nullptr, kArial, false, false},
    {"CheckUIN", "QPushButton", 232, 352, 75, 25, "Check UIN", kArial, false, false},
    {"CheckDate", "QPushButton", 328, 352, 75, 25, "Check Date", kArial, false, false},
    {"Bevel5", "QFrame", 424, 344, 97, 41, nullptr, kArial, false, false},
    {"About", "QPushButton", 440, 352, 65, 25, "About", kArial, false, false},
};

QString TextOf(QWidget* widget) {
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) return edit->text();
  if (auto* button = qobject_cast<QPushButton*>(widget)) return button->text();
  return {};
}

class ControlTableTest : public WindowTest, public ::testing::WithParamInterface<ControlRow> {};

TEST_P(ControlTableTest, PlaceTextAndFontAsTheFormGivesThem) {
  const ControlRow& row = GetParam();
  Open();
  auto* widget = Control<QWidget>(row.name);
  ASSERT_NE(widget, nullptr);
  EXPECT_TRUE(widget->inherits(row.kind)) << widget->metaObject()->className();
  EXPECT_TRUE(widget->isVisible());

  const QRect place = widget->geometry();
  EXPECT_EQ(place.left(), row.left);
  EXPECT_EQ(place.top(), row.top);
  EXPECT_EQ(place.height(), row.height);
  if (row.link) {
    // A link label keeps its place and grows only as far as its text needs.
    EXPECT_GE(place.width(), row.width);
    EXPECT_LE(place.width(),
              std::max(row.width, widget->fontMetrics().horizontalAdvance(TextOf(widget)) + 1));
  } else {
    EXPECT_EQ(place.width(), row.width);
  }
  if (row.text != nullptr) {
    EXPECT_EQ(TextOf(widget).toStdString(), row.text);
  }
  if (!TextOf(widget).isEmpty()) {
    EXPECT_LE(widget->fontMetrics().horizontalAdvance(TextOf(widget)), place.width())
        << "text cut off";
  }

  const QFont font = widget->font();
  const bool family_installed = QFontDatabase::hasFamily(row.family);
  EXPECT_EQ(font.family().toStdString(), family_installed ? row.family : kArial);
  EXPECT_EQ(font.pointSize(), 8);
  EXPECT_EQ(font.bold(), row.bold);
  EXPECT_EQ(font.underline(), row.link);
  if (row.link) {
    EXPECT_EQ(widget->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(widget->cursor().shape(), Qt::CrossCursor);
  }
}

INSTANTIATE_TEST_SUITE_P(Form, ControlTableTest, ::testing::ValuesIn(kControls),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(WindowTest, WindowIsCentredWithoutMaximiseAndControlsDoNotOverlap) {
  app::TMain& window = Open();
  EXPECT_EQ(window.objectName(), "Main");
  EXPECT_EQ(window.windowTitle(), "Varn ICQ Backup");
  // The offscreen platform draws no frame, so the outer size is the whole window.
  EXPECT_EQ(window.frameGeometry().size(), QSize(540, 425));
  const QPoint screen_centre = window.screen()->availableGeometry().center();
  EXPECT_LE((window.frameGeometry().center() - screen_centre).manhattanLength(), 2);

  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowSystemMenuHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(window.minimumSize() == window.maximumSize()) << "the frame stays resizable";
  EXPECT_EQ(window.font().family(), "Arial");
  EXPECT_EQ(window.font().pointSize(), 8);
  // The program's own icon, drawn for the small sizes of a title bar and the large ones
  // of a task switcher.
  const QList<QSize> icon_sizes = window.windowIcon().availableSizes();
  EXPECT_TRUE(icon_sizes.contains(QSize(16, 16)) && icon_sizes.contains(QSize(256, 256)))
      << icon_sizes.size() << " sizes";

  // Frames group controls; every other pair of controls is apart.
  std::vector<QWidget*> controls;
  for (const ControlRow& row : kControls) {
    if (std::string(row.kind) != "QFrame") controls.push_back(Control<QWidget>(row.name));
  }
  for (std::size_t i = 0; i < controls.size(); ++i) {
    for (std::size_t j = i + 1; j < controls.size(); ++j) {
      EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
          << controls[i]->objectName().toStdString() << " overlaps "
          << controls[j]->objectName().toStdString();
    }
  }

  // Resizing leaves every control where it was.
  window.resize(700, 500);
  QApplication::processEvents();
  EXPECT_EQ(Control<QWidget>("About")->geometry(), QRect(440, 352, 65, 25));
  EXPECT_EQ(Control<QWidget>("OutScreen")->geometry(), QRect(288, 24, 233, 289));
}

TEST_F(WindowTest, TabKeyWalksTheControlsInTabOrder) {
  app::TMain& window = Open();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  EXPECT_EQ(QApplication::focusWidget()->objectName(), "ICQFolder");

  const std::vector<std::string> order = {"ICQFolder",    "DriveComboBox1", "OutScreen",
                                          "BackupFolder", "DriveComboBox2", "BackupFolderList",
                                          "Backup",       "Restore",        "CheckUIN",
                                          "CheckDate",    "About",          "ICQFolder"};
  std::vector<std::string> visited = {QApplication::focusWidget()->objectName().toStdString()};
  for (std::size_t i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited.push_back(QApplication::focusWidget()->objectName().toStdString());
  }
  EXPECT_EQ(visited, order);

  for (const char* name : {"Label1", "ICQFolderNow", "Label2", "Label3", "ProgressBar",
                           "ClearScreen", "Label4", "Bevel1", "Bevel5"}) {
    EXPECT_EQ(Control<QWidget>(name)->focusPolicy(), Qt::NoFocus) << name;
  }
}

// Without the mouse: Enter presses the focused button, keys stand for the three link
// labels, and the lists and the message screen look different when they have the focus.
TEST_F(WindowTest, KeyboardReachesEveryActionAndTheFocusShows) {
  app::TMain& window = Open();
  window.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  struct KeyRow {
    const char* what;
    std::function<void()> press;
    std::function<void()> handler;
  };
  auto* about = Control<QPushButton>("About");
  const KeyRow rows[] = {
      {"Enter on About",
       [&] {
         about->setFocus();
         QTest::keyClick(about, Qt::Key_Return);
       },
       [&] { window.Click(&app::AboutClick); }},
      {"F1", [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_F1); },
       [&] { window.Click(&app::Label4Click); }},
      {"F3", [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_F3); },
       [&] { window.Click(&ui::Label2Click); }},
      {"Ctrl+L",
       [&] { QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier); },
       [&] { window.Click(&app::ClearScreenClick); }},
  };
  for (const KeyRow& row : rows) {
    window.ClearScreen();
    row.handler();
    const std::vector<std::string> expected = window.Lines();
    window.ClearScreen();
    Control<QListWidget>("BackupFolder")->setFocus();
    row.press();
    EXPECT_EQ(window.Lines(), expected) << row.what;
    EXPECT_FALSE(expected.empty()) << row.what;
  }

  // Each control pictured with the focus and without it: the pictures differ.
  for (const char* name : {"ICQFolder", "BackupFolder", "OutScreen"}) {
    auto* control = Control<QAbstractScrollArea>(name);
    about->setFocus();
    const QImage without = control->grab().toImage();
    control->setFocus();
    ASSERT_TRUE(control->hasFocus()) << name;
    const QImage with = control->grab().toImage();
    EXPECT_NE(with, without) << name << " shows no focus";
  }
}

TEST_F(WindowTest, MessageScreenIsReadOnlyWrappedWithBothScrollBars) {
  Open();
  auto* screen = Control<QPlainTextEdit>("OutScreen");
  EXPECT_TRUE(screen->isReadOnly());
  EXPECT_EQ(screen->lineWrapMode(), QPlainTextEdit::WidgetWidth);
  EXPECT_EQ(screen->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  EXPECT_EQ(screen->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
  // Typing into it changes nothing.
  screen->setFocus();
  QTest::keyClicks(screen, "typed");
  EXPECT_FALSE(screen->toPlainText().contains("typed"));
}

// --- Start-up and the folder selectors -------------------------------------------------

TEST_F(WindowTest, FirstStartShowsBannerAndTheStartFolderEverywhere) {
  app::TMain& window = Open();
  ASSERT_EQ(window.Lines().size(), 8u);
  EXPECT_EQ(window.Lines()[1], " Varn ICQ Backup - 32 bit Ver 0.9.3 beta");
  EXPECT_EQ(window.Lines()[3], " Supports ICQ : 98b-2000b(P)");
  EXPECT_EQ(Control<QPlainTextEdit>("OutScreen")->document()->blockCount(), 8);
  EXPECT_EQ(window.HomeFolder, "C:\\Home");
  EXPECT_EQ(window.ICQFolder(), "C:\\Home");
  EXPECT_EQ(window.BackupFolder(), "C:\\Home");
  EXPECT_EQ(window.BackupFolderText(), "C:\\Home");
  EXPECT_EQ(Control<QLabel>("ICQFolderNow")->text(), "C:\\Home");
  EXPECT_EQ(window.Gauge(), 0);
  auto* drives = Control<QComboBox>("DriveComboBox2");
  EXPECT_EQ(Control<QComboBox>("DriveComboBox1")->currentText(), "c:");
  ASSERT_EQ(drives->count(), 2);
  EXPECT_EQ(drives->itemText(1), "d:");
  EXPECT_EQ(drives->itemData(1, Qt::ToolTipRole).toString().toStdString(),
            sandbox_.Host("D:\\").string());
}

TEST_F(WindowTest, SavedFoldersPointTheSelectors) {
  sandbox_.WriteFile("C:\\Home\\pref.cfg", "C:\\ICQ\r\nD:\\Backups\r\n");
  app::TMain& window = Open();
  EXPECT_EQ(window.ICQFolder(), "C:\\ICQ");
  EXPECT_EQ(Control<QLabel>("ICQFolderNow")->text(), "C:\\ICQ");
  EXPECT_EQ(window.BackupFolder(), "D:\\Backups");
  EXPECT_EQ(window.BackupFolderText(), "D:\\Backups");
  EXPECT_EQ(Control<QLineEdit>("BackupFolderList")->text(), "D:\\Backups");
  EXPECT_EQ(Control<QComboBox>("DriveComboBox1")->currentText().left(2), "c:");
  EXPECT_EQ(Control<QComboBox>("DriveComboBox2")->currentText().left(2), "d:");
  EXPECT_EQ(window.HomeFolder, "C:\\Home");
}

TEST_F(WindowTest, UnreadableSettingsAreShownInABoxAndTheWindowOpensWithoutBanner) {
  sandbox_.WriteFile("C:\\Home\\pref.cfg", "C:\\ICQ\r\nD:\\Backups\r\n");
  platform::testing::HoldOpen("C:\\Home\\pref.cfg");
  BoxAnswerer answerer([](QMessageBox& box) { PressKey(box, Qt::Key_Return); });
  app::TMain& window = Open();
  ASSERT_TRUE(answerer.Seen().seen);
  EXPECT_EQ(answerer.Seen().text.toStdString(), platform::EInOutError(32).what());
  EXPECT_EQ(answerer.Seen().icon, QMessageBox::Critical);
  EXPECT_TRUE(window.Lines().empty());
  EXPECT_EQ(window.ICQFolder(), "C:\\Home");
  EXPECT_EQ(window.BackupFolderText(), "C:\\Backup");
}

TEST_F(WindowTest, FolderListShowsPathThenVisibleSubFolders) {
  Open();
  auto* list = Control<QListWidget>("ICQFolder");
  EXPECT_EQ(ItemTexts(list), (std::vector<std::string>{"C:\\", "Home", "Alpha", "beta"}));
  EXPECT_EQ(list->currentItem()->text(), "Home");
  EXPECT_EQ(app::PathOfItem(list->item(2)), "C:\\Home\\Alpha");
  EXPECT_EQ(app::PathOfItem(list->item(0)), "C:\\");
  for (int i = 0; i < list->count(); ++i) {
    EXPECT_EQ(list->visualItemRect(list->item(i)).height(), 16) << i;
  }
}

TEST_F(WindowTest, DoubleClickMovesTheBackupListAndTheEditBoxFollows) {
  app::TMain& window = Open();
  auto* list = Control<QListWidget>("BackupFolder");
  DoubleClick(list, "Alpha");
  EXPECT_EQ(window.BackupFolder(), "C:\\Home\\Alpha");
  EXPECT_EQ(window.BackupFolderText(), "C:\\Home\\Alpha");
  EXPECT_EQ(Control<QLineEdit>("BackupFolderList")->text(), "C:\\Home\\Alpha");
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\Home\\Alpha");
  EXPECT_EQ(ItemTexts(list), (std::vector<std::string>{"C:\\", "Home", "Alpha"}));
  EXPECT_EQ(window.ICQFolder(), "C:\\Home") << "the other list stays";

  DoubleClick(list, "C:\\");
  EXPECT_EQ(window.BackupFolderText(), "C:\\");
  EXPECT_EQ(ItemTexts(list), (std::vector<std::string>{"C:\\", "Home", "ICQ"}));
}

TEST_F(WindowTest, EnterMovesIntoTheSelectedFolderAndTheLabelFollows) {
  app::TMain& window = Open();
  auto* list = Control<QListWidget>("ICQFolder");
  list->setFocus();
  list->setCurrentItem(Item(list, "beta"));
  QTest::keyClick(list, Qt::Key_Return);
  EXPECT_EQ(window.ICQFolder(), "C:\\Home\\beta");
  EXPECT_EQ(Control<QLabel>("ICQFolderNow")->text(), "C:\\Home\\beta");
  EXPECT_EQ(window.BackupFolderText(), "C:\\Home") << "only the backup list feeds the edit box";
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\Home\\beta");
}

TEST_F(WindowTest, TypingInTheEditBoxLeavesTheListWhereItWas) {
  app::TMain& window = Open();
  auto* edit = Control<QLineEdit>("BackupFolderList");
  edit->setFocus();
  edit->selectAll();
  QTest::keyClicks(edit, "D:\\New\\Place");
  EXPECT_EQ(window.BackupFolderText(), "D:\\New\\Place");
  EXPECT_EQ(window.BackupFolder(), "C:\\Home");
  EXPECT_EQ(platform::GetCurrentDir(), "C:\\Home");

  // Moving the list afterwards replaces the typed text again.
  DoubleClick(Control<QListWidget>("BackupFolder"), "beta");
  EXPECT_EQ(window.BackupFolderText(), "C:\\Home\\beta");
}

TEST_F(WindowTest, DriveSelectorMovesItsListAndComesBackToWhereTheDriveWasLeft) {
  app::TMain& window = Open();
  auto* drives = Control<QComboBox>("DriveComboBox2");
  drives->setFocus();
  QTest::keyClick(drives, Qt::Key_Down);  // c: -> d:
  EXPECT_EQ(window.BackupFolder(), "D:\\");
  EXPECT_EQ(window.BackupFolderText(), "D:\\");
  EXPECT_EQ(platform::GetCurrentDir(), "D:\\");
  EXPECT_EQ(ItemTexts(Control<QListWidget>("BackupFolder")),
            (std::vector<std::string>{"D:\\", "Backups"}));

  DoubleClick(Control<QListWidget>("BackupFolder"), "Backups");
  QTest::keyClick(drives, Qt::Key_Up);  // back to c:, where the list was
  EXPECT_EQ(window.BackupFolderText(), "C:\\Home");
  QTest::keyClick(drives, Qt::Key_Down);
  EXPECT_EQ(window.BackupFolderText(), "D:\\Backups");
  EXPECT_EQ(window.ICQFolder(), "C:\\Home");
}

TEST_F(WindowTest, DriveThatCannotBeEnteredIsReportedAndTheSelectorGoesBack) {
  app::TMain& window = Open();
  std::filesystem::remove_all(sandbox_.Host("D:\\"));
  BoxAnswerer answerer([](QMessageBox& box) { PressKey(box, Qt::Key_Return); });
  auto* drives = Control<QComboBox>("DriveComboBox1");
  drives->setFocus();
  QTest::keyClick(drives, Qt::Key_Down);
  ASSERT_TRUE(answerer.Seen().seen);
  EXPECT_EQ(answerer.Seen().icon, QMessageBox::Critical);
  EXPECT_EQ(window.ICQFolder(), "C:\\Home");
  EXPECT_EQ(drives->currentText().left(2), "c:");
  EXPECT_FALSE(window.ActionRunning());
}

TEST_F(WindowTest, LongIcqFolderIsShortenedInItsLabelOnly) {
  const std::string deep =
      "C:\\Home\\Alpha\\A rather long folder name for a test\\Second\\ICQ 2000b";
  sandbox_.MakeFolder(deep);
  app::TMain& window = Open();
  window.MoveICQFolder(deep);
  auto* label = Control<QLabel>("ICQFolderNow");
  EXPECT_EQ(window.ICQFolder(), deep);
  EXPECT_EQ(label->text().toStdString(), "C:\\...\\Second\\ICQ 2000b");
  EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), 185);
  EXPECT_EQ(label->width(), 185);
  EXPECT_EQ(platform::GetCurrentDir(), deep);
}

TEST_F(WindowTest, MovingToAMissingFolderRaisesAndLeavesTheSelector) {
  app::TMain& window = Open();
  EXPECT_THROW(window.MoveBackupFolder("C:\\Nowhere"), platform::EInOutError);
  EXPECT_EQ(window.BackupFolder(), "C:\\Home");
  EXPECT_EQ(window.BackupFolderText(), "C:\\Home");
  window.SetBackupFolderText("C:\\Typed");
  window.MoveBackupFolder("C:\\Home");  // copies even when the list stays
  EXPECT_EQ(window.BackupFolderText(), "C:\\Home");
}

// --- Handlers ----------------------------------------------------------------------------

TEST_F(WindowTest, AboutReadMeAndClearScreenClicksRunTheirHandlers) {
  app::TMain& window = Open();
  QTest::mouseClick(Control<QPushButton>("About"), Qt::LeftButton);
  ASSERT_EQ(window.Lines().size(), 12u);
  EXPECT_EQ(window.Lines()[11], " Thanks for using Varn ICQ Backup!");
  EXPECT_EQ(window.Gauge(), 100);
  EXPECT_EQ(Control<app::Gauge>("ProgressBar")->Text(), "100%");

  QTest::mouseClick(Control<QLabel>("Label4"), Qt::LeftButton);
  EXPECT_EQ(window.Lines().size(), 58u);
  EXPECT_EQ(Control<QPlainTextEdit>("OutScreen")->document()->blockCount(), 58);

  QTest::mouseClick(Control<QLabel>("ClearScreen"), Qt::LeftButton);
  ASSERT_EQ(window.Lines().size(), 8u);
  EXPECT_EQ(window.Lines()[1], " Varn ICQ Backup - 32 bit Ver 0.9.3 beta");
  EXPECT_EQ(window.Gauge(), 0);
  EXPECT_EQ(Control<app::Gauge>("ProgressBar")->Text(), "0%");

  // A press that leaves the link before the release is no click.
  auto* link = Control<QLabel>("Label4");
  QTest::mousePress(link, Qt::LeftButton);
  QTest::mouseRelease(link, Qt::LeftButton, Qt::NoModifier, QPoint(-5, -5));
  EXPECT_EQ(window.Lines().size(), 8u);
}

TEST_F(WindowTest, CheckDateClickReportsOnTheScreen) {
  app::TMain& window = Open();
  window.SetBackupFolderText("C:\\Nowhere");
  QTest::mouseClick(Control<QPushButton>("CheckDate"), Qt::LeftButton);
  ASSERT_GE(window.Lines().size(), 2u);
  EXPECT_EQ(window.Lines()[1], " Error!") << "a missing backup folder is an error report";
}

// A German LC_TIME in either codeset: the screen shows "M\u00e4r", never a replacement
// character. The locales are compiled into a private LOCPATH.
class WindowGermanDateTest : public WindowTest, public ::testing::WithParamInterface<const char*> {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    for (auto& [name, value] : saved_) {
      if (const char* old = ::getenv(name)) value = old;
    }
  }
  void TearDown() override {
    for (const auto& [name, value] : saved_) {
      if (value) {
        ::setenv(name, value->c_str(), 1);
      } else {
        ::unsetenv(name);
      }
    }
    platform::RereadMonthNamesForTests();
    WindowTest::TearDown();
  }

 private:
  std::vector<std::pair<const char*, std::optional<std::string>>> saved_ = {{"LOCPATH", {}},
                                                                            {"LC_ALL", {}}};
};

TEST_P(WindowGermanDateTest, MonthNamesAreShownWhateverTheLocalesCodeset) {
  const std::filesystem::path locales = sandbox_.Root() / "locales";
  const std::string utf8 = BuildGermanLocale(locales, "UTF-8");
  const std::string tested = BuildGermanLocale(locales, GetParam());
  if (utf8.empty() || tested.empty()) {
    GTEST_SKIP() << "no German locale: localedef or its de_DE source is missing";
  }
  sandbox_.WriteFile("D:\\Backups\\icqlist.txt", "Total Files : 0\r\n");
  sandbox_.SetLocalTime("D:\\Backups\\icqlist.txt", 2001, 3, 5, 10, 0, 0);
  ::setenv("LOCPATH", locales.c_str(), 1);
  ::setenv("LC_ALL", tested.c_str(), 1);
  platform::RereadMonthNamesForTests();

  app::TMain& window = Open();
  window.SetBackupFolderText("D:\\Backups");
  QTest::mouseClick(Control<QPushButton>("CheckDate"), Qt::LeftButton);
  const QStringList shown = Control<QPlainTextEdit>("OutScreen")->toPlainText().split('\n');
  ASSERT_EQ(shown.size(), 7) << shown.join('|').toStdString();
  EXPECT_EQ(shown[4].toStdString(), " Today is: " + TodayInLocale(locales, utf8));
  EXPECT_EQ(shown[6].toStdString(), " Date of Backup Files: 05 M\xc3\xa4r 2001");
}

INSTANTIATE_TEST_SUITE_P(Codesets, WindowGermanDateTest, ::testing::Values("UTF-8", "ISO-8859-1"),
                         [](const auto& info) {
                           std::string name = info.param;
                           std::erase(name, '-');
                           return name;
                         });

TEST_F(WindowTest, RestoreClickAsksItsWarningAndCancelLeavesEverything) {
  sandbox_.WriteFile("C:\\ICQ\\icq.exe", "");
  sandbox_.WriteFile("D:\\Backups\\icqlist.txt", "Total Files : 0\r\n");
  sandbox_.WriteFile("C:\\Home\\pref.cfg", "C:\\ICQ\r\nD:\\Backups\r\n");
  app::TMain& window = Open();
  BoxAnswerer answerer([](QMessageBox& box) { PressKey(box, Qt::Key_Escape); });
  QTest::mouseClick(Control<QPushButton>("Restore"), Qt::LeftButton);
  ASSERT_TRUE(answerer.Seen().seen);
  EXPECT_EQ(answerer.Seen().caption, "Warning");
  EXPECT_EQ(answerer.Seen().icon, QMessageBox::Warning);
  ASSERT_FALSE(window.Lines().empty());
  EXPECT_EQ(window.Lines().back(), " ICQ Restoration Cancelled!");
  EXPECT_FALSE(window.ActionRunning());
}

// --- The seam's message screen and gauge ------------------------------------------------

TEST_F(WindowTest, MessageScreenLinesStayByteForByteAndDeleteByIndex) {
  app::TMain& window = Open();
  auto* screen = Control<QPlainTextEdit>("OutScreen");
  window.ClearScreen();
  EXPECT_TRUE(window.Lines().empty());
  const std::string latin1_name = " caf\xe9";  // not UTF-8: kept as written
  for (const std::string& line :
       {std::string(" a"), std::string(" "), latin1_name, std::string(" d")}) {
    window.AppendLine(line);
  }
  EXPECT_EQ(window.Lines(), (std::vector<std::string>{" a", " ", latin1_name, " d"}));

  window.DeleteLine(1);
  window.DeleteLine(7);  // past the end: nothing
  window.DeleteLine(-1);
  EXPECT_EQ(window.Lines(), (std::vector<std::string>{" a", latin1_name, " d"}));
  EXPECT_EQ(screen->document()->blockCount(), 3);
  window.DeleteLine(2);  // the last line
  EXPECT_EQ(screen->toPlainText().toStdString(), " a\n caf\xef\xbf\xbd");
  window.DeleteLine(0);
  EXPECT_EQ(screen->toPlainText().toStdString(), " caf\xef\xbf\xbd");
  window.DeleteLine(0);
  EXPECT_TRUE(window.Lines().empty());
  EXPECT_TRUE(screen->toPlainText().isEmpty());

  // A line break inside a line does not make two lines of it.
  window.AppendLine(" one\r\ntwo");
  EXPECT_EQ(screen->document()->blockCount(), 1);
}

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  explicit PaintCounter(QWidget* widget) { widget->installEventFilter(this); }
  int count = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++count;
    return false;
  }
};

TEST_F(WindowTest, GaugePaintsAtOnceWhenItsPercentageChanges) {
  app::TMain& window = Open();
  PaintCounter paints(Control<app::Gauge>("ProgressBar"));
  window.SetGauge(30);  // no event loop runs here
  EXPECT_EQ(paints.count, 1);
  window.SetGauge(30);
  window.SetGauge(-1);
  window.SetGauge(0);  // held to 0: one change only
  EXPECT_EQ(paints.count, 2);
}

TEST_F(WindowTest, GaugeHoldsItsValuesAndDrawsBlackOnWhite) {
  app::TMain& window = Open();
  auto* gauge = Control<app::Gauge>("ProgressBar");
  window.SetGauge(-5);
  EXPECT_EQ(window.Gauge(), 0);
  window.SetGauge(150);
  EXPECT_EQ(window.Gauge(), 100);
  window.SetGauge(50);
  EXPECT_EQ(gauge->Text(), "50%");

  const QImage image = gauge->grab().toImage();
  const int middle = image.height() / 2;
  EXPECT_EQ(QColor(image.pixel(0, middle)), QColor(Qt::black)) << "border";
  EXPECT_EQ(QColor(image.pixel(image.width() - 1, middle)), QColor(Qt::black)) << "border";
  EXPECT_EQ(QColor(image.pixel(3, 2)), QColor(Qt::black)) << "filled half";
  EXPECT_EQ(QColor(image.pixel(image.width() - 4, 2)), QColor(Qt::white)) << "empty half";
  // The percentage is written across the middle, in both colours.
  int dark_in_white_half = 0, light_in_black_half = 0;
  for (int x = 1; x < image.width() - 1; ++x) {
    for (int y = 1; y < image.height() - 1; ++y) {
      const int grey = qGray(image.pixel(x, y));
      if (x > image.width() / 2 + 1 && grey < 128) ++dark_in_white_half;
      if (x < image.width() / 2 - 1 && grey > 128) ++light_in_black_half;
    }
  }
  EXPECT_GT(dark_in_white_half, 0);
  EXPECT_GT(light_in_black_half, 0);
}

TEST_F(WindowTest, AboutLinesFitTheScreenAndReadMeOpensAtItsFirstLine) {
  Open();
  auto* screen = Control<QPlainTextEdit>("OutScreen");
  QTest::mouseClick(Control<QPushButton>("About"), Qt::LeftButton);
  screen->viewport()->repaint();  // lays out the lines on screen
  int blocks = 0;
  for (QTextBlock block = screen->document()->begin(); block.isValid(); block = block.next()) {
    ++blocks;
    ASSERT_NE(block.layout(), nullptr);
    EXPECT_EQ(block.layout()->lineCount(), 1) << "wraps: '" << block.text().toStdString() << "'";
  }
  EXPECT_EQ(blocks, 12);

  QTest::mouseClick(Control<QLabel>("Label4"), Qt::LeftButton);
  QApplication::processEvents();
  screen->viewport()->repaint();
  // Its lines were laid out by hand to fit the box; this one fills it to the last pixel.
  const QTextBlock unzip = screen->document()->findBlockByNumber(6);
  ASSERT_EQ(unzip.text(), " 1. Unzip the file TORQ32.EXE to any folder");
  EXPECT_EQ(unzip.layout()->lineCount(), 1) << "its last word wraps alone";
  EXPECT_GT(screen->verticalScrollBar()->maximum(), 0) << "the Read Me is longer than the screen";
  EXPECT_EQ(screen->verticalScrollBar()->value(), 0) << "it opens at its first line";
}

// --- Running actions -----------------------------------------------------------------------

TEST_F(WindowTest, RefreshPaintsAChangeTheThrottleHeldBack) {
  app::TMain& window = Open();
  PaintCounter paints(Control<QPlainTextEdit>("OutScreen")->viewport());
  bool held_back = false;
  bool painted_by_refresh = false;
  window.RunAction([&] {
    window.ClearScreen();
    // Lines written in a row: the first is painted, those right after it wait.
    for (int i = 0; i < 1000 && !held_back; ++i) {
      const int before = paints.count;
      window.AppendLine(" line " + std::to_string(i));
      held_back = paints.count == before;
    }
    const int before = paints.count;
    window.Refresh();  // as an action does before it blocks
    painted_by_refresh = paints.count > before;
  });
  ASSERT_TRUE(held_back) << "the throttle held no change back";
  EXPECT_TRUE(painted_by_refresh);
}

TEST(BoxPlacementTest, TheFrameIsCentredNotTheClientArea) {
  const QRect area(0, 0, 1024, 768);
  const QSize client(300, 120);
  const QMargins frame(4, 24, 4, 4);
  const QPoint at = app::CentredFramePosition(area, client, frame);
  EXPECT_LE((QRect(at, client.grownBy(frame)).center() - area.center()).manhattanLength(), 1);
  // The client area stands half of the frame's extra height below the middle.
  const QRect client_area(at + QPoint(frame.left(), frame.top()), client);
  EXPECT_EQ(client_area.center().y() - area.center().y(), (frame.top() - frame.bottom()) / 2);

  // The window at twice its size on a 1024x768 screen (512x384 in scaled pixels): too
  // tall and too wide, it stands at the top left, title bar on the screen; too tall
  // only, it stays centred from side to side.
  const QRect scaled(0, 0, 512, 384);
  EXPECT_EQ(app::CentredFramePosition(scaled, QSize(532, 400), frame), QPoint(0, 0));
  const QRect shifted(100, 30, 512, 384);
  EXPECT_EQ(app::CentredFramePosition(shifted, QSize(300, 400), frame), QPoint(100 + 102, 30));
}

TEST_F(WindowTest, ErrorLetThroughByAnActionIsShownAndTheScreenKept) {
  app::TMain& window = Open();
  BoxAnswerer answerer([](QMessageBox& box) { PressKey(box, Qt::Key_Return); });
  window.RunAction([&] {
    window.ClearScreen();
    window.AppendLine(" Working");
    platform::RaiseIoError(platform::kDiskFull);
  });
  ASSERT_TRUE(answerer.Seen().seen);
  EXPECT_EQ(answerer.Seen().text, "Disk full");
  EXPECT_EQ(answerer.Seen().icon, QMessageBox::Critical);
  EXPECT_EQ(answerer.Seen().caption, "Varn ICQ Backup");
  ExpectWindowsLook(answerer.Seen());
  EXPECT_EQ(window.Lines(), std::vector<std::string>{" Working"});
  EXPECT_FALSE(window.ActionRunning());

  // The window goes on working.
  QTest::mouseClick(Control<QPushButton>("About"), Qt::LeftButton);
  EXPECT_EQ(window.Lines().size(), 12u);
}

TEST_F(WindowTest, CloseRequestDuringAnActionAsksThenStopsItAndClosesWhenItEnds) {
  app::TMain& window = Open();
  BoxAnswerer answerer([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
  bool visible_after_request = false;
  bool stop_requested = false;
  window.RunAction([&] {
    window.close();
    window.AppendLine(" still here");
    visible_after_request = window.isVisible();
    stop_requested = platform::StopRequested();
    platform::RaiseIfStopRequested();  // as the backup's engine does between blocks
    window.AppendLine(" not reached");
  });
  ASSERT_TRUE(answerer.Seen().seen);
  EXPECT_EQ(answerer.Seen().text, "Action in progress !\n\nStop it and close the window ?");
  EXPECT_TRUE(stop_requested);
  EXPECT_FALSE(platform::StopRequested()) << "cleared for the next action";
  EXPECT_TRUE(visible_after_request);
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(window.Lines().back(), " still here");
}

TEST_F(WindowTest, CloseRequestAnsweredNoLetsTheActionGoOn) {
  app::TMain& window = Open();
  BoxAnswerer answerer([](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
  window.RunAction([&] {
    window.close();
    platform::RaiseIfStopRequested();
    window.AppendLine(" finished");
  });
  ASSERT_TRUE(answerer.Seen().seen);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(window.Lines().back(), " finished");
}

// Input reaches the window through the window system, as a real click and key would. While
// an action runs, a click waits for its end, but Escape asks at once as closing does.
TEST_F(WindowTest, EscapeDuringAnActionAsksAtOnceWhileAClickWaitsForItsEnd) {
  app::TMain& window = Open();
  const QPoint about = Control<QPushButton>("About")->geometry().center();
  BoxAnswerer no([](QMessageBox& box) { box.button(QMessageBox::No)->click(); });
  std::size_t lines_at_escape = 0;
  window.RunAction([&] {
    window.ClearScreen();
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, about);
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
    lines_at_escape = window.Lines().size();
    platform::RaiseIfStopRequested();
    window.AppendLine(" finished");
  });
  ASSERT_TRUE(no.Seen().seen) << "Escape asked nothing during the action";
  EXPECT_EQ(no.Seen().text, "Action in progress !\n\nStop it and close the window ?");
  ExpectWindowsLook(no.Seen());
  EXPECT_EQ(lines_at_escape, 0u) << "the click on About ran inside the action";
  EXPECT_EQ(window.Lines(), std::vector<std::string>{" finished"});
  QApplication::processEvents();
  ASSERT_EQ(window.Lines().size(), 12u) << "the click on About was not handled after the action";

  // Yes stops the action and closes the window; a click that waited goes with it.
  BoxAnswerer yes([](QMessageBox& box) { box.button(QMessageBox::Yes)->click(); });
  window.RunAction([&] {
    window.ClearScreen();
    QTest::mouseClick(window.windowHandle(), Qt::LeftButton, Qt::NoModifier, about);
    QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
    platform::RaiseIfStopRequested();
    window.AppendLine(" not reached");
  });
  ASSERT_TRUE(yes.Seen().seen);
  EXPECT_FALSE(window.isVisible());
  QApplication::processEvents();
  EXPECT_TRUE(window.Lines().empty());

  // Without an action, Escape asks nothing and leaves the window open.
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  QTest::keyClick(window.windowHandle(), Qt::Key_Escape);
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(WindowTest, HandlerAskedForDuringAnActionRunsAfterIt) {
  app::TMain& window = Open();
  window.RunAction([&] {
    window.ClearScreen();
    window.AppendLine(" first begins");
    window.Click(&app::AboutClick);  // as if its click arrived now
    window.AppendLine(" first ends");
  });
  ASSERT_EQ(window.Lines().size(), 12u) << "About ran after the first action ended";
  EXPECT_EQ(window.Lines()[11], " Thanks for using Varn ICQ Backup!");
}

// --- Questions -------------------------------------------------------------------------------

struct QuestionRow {
  const char* name;
  bool warning;  // WarnOkCancel, else ConfirmYesNo
  Qt::Key key;   // Qt::Key_unknown: click the first button
  bool expected;
};

void PrintTo(const QuestionRow& c, std::ostream* os) { *os << c.name; }

class QuestionTest : public WindowTest, public ::testing::WithParamInterface<QuestionRow> {};

TEST_P(QuestionTest, AnswersAsTheBoxWasClosed) {
  const QuestionRow& row = GetParam();
  app::TMain& window = Open();
  window.move(0, 0);  // away from the middle, where the box must stand
  BoxAnswerer answerer([&row](QMessageBox& box) {
    if (row.key == Qt::Key_unknown) {
      box.button(row.warning ? QMessageBox::Ok : QMessageBox::Yes)->click();
    } else {
      PressKey(box, row.key);
    }
  });
  const bool answer = row.warning
                          ? window.WarnOkCancel("Warning", "Before proceeding !\r\rSwitch it off !")
                          : window.ConfirmYesNo("Existing Backup Found !\r\rOverwrite files ?");
  ASSERT_TRUE(answerer.Seen().seen);
  EXPECT_EQ(answer, row.expected);
  const BoxSeen& seen = answerer.Seen();
  const QPoint centre = window.screen()->availableGeometry().center();
  EXPECT_LE((seen.geometry.center() - centre).manhattanLength(), 4) << "centred on the screen";
  ExpectWindowsLook(seen);
  if (row.warning) {
    EXPECT_EQ(seen.caption, "Warning");
    EXPECT_EQ(seen.icon, QMessageBox::Warning);
    EXPECT_EQ(seen.text, "Before proceeding !\n\nSwitch it off !");
    EXPECT_EQ(seen.default_button, QMessageBox::Ok);
    EXPECT_EQ(seen.escape_button, QMessageBox::Cancel);
  } else {
    EXPECT_EQ(seen.icon, QMessageBox::Question);
    EXPECT_EQ(seen.text, "Existing Backup Found !\n\nOverwrite files ?");
    EXPECT_EQ(seen.default_button, QMessageBox::Yes);
    EXPECT_EQ(seen.escape_button, QMessageBox::No);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, QuestionTest,
    ::testing::Values(QuestionRow{"ConfirmClickYes", false, Qt::Key_unknown, true},
                      QuestionRow{"ConfirmEnter", false, Qt::Key_Return, true},
                      QuestionRow{"ConfirmEscape", false, Qt::Key_Escape, false},
                      QuestionRow{"WarningClickOk", true, Qt::Key_unknown, true},
                      QuestionRow{"WarningEnter", true, Qt::Key_Return, true},
                      QuestionRow{"WarningEscape", true, Qt::Key_Escape, false}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
