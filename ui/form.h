// The window's form, drawn by both windows: its controls and the keys for the link
// labels. Pixels at 96 dots per inch, inside the client area.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "app/reports.h"
#include "app/window_seam.h"

namespace ui {

inline constexpr int kOuterWidth = 540;  // frame included
inline constexpr int kOuterHeight = 425;
inline constexpr int kFontPoints = 8;
inline constexpr char kArial[] = "Arial";
inline constexpr char kSansSerif[] = "MS Sans Serif";  // two of the link labels
inline constexpr int kFolderItemHeight = 16;
inline constexpr int kFolderIndent = 8;  // per level of the path
inline constexpr int kFolderIconSize = 14;

enum class Kind {
  kFrame,        // sunken, behind the controls it groups
  kLabel,        // shows its whole text, though a stand-in font may be wider
  kFolderLabel,  // the ICQ folder list's current folder, shortened to fit
  kLink,         // a label that is blue, underlined, with a cross-hair cursor
  kDriveBox,     // bound to the folder list after it in the form
  kFolderList,   // the path down to the current folder, then its sub-folders
  kEdit,         // the backup folder the actions use
  kScreen,       // the message screen: read-only, both scroll bars, wrapped
  kGauge,
  kButton,
};

// What a click or a key runs: an action on the window; nullptr for none.
using Handler = void (*)(app::WindowSeam& window);

// The actions whose own functions take or answer more than a click needs.
void BackupClick(app::WindowSeam& window);
void RestoreClick(app::WindowSeam& window);
void CheckUINClick(app::WindowSeam& window);
void CheckDateClick(app::WindowSeam& window);
void Label2Click(app::WindowSeam& window);  // AutoSearch

struct Control {
  const char* name;
  Kind kind;
  int left, top, width, height;
  const char* text;
  const char* family;
  bool bold;
  int tab;  // place in the tab order; -1: takes no focus
  Handler handler;
};

// In the table's order; frames come before the controls they group.
inline constexpr Control kForm[] = {
    {"Bevel1", Kind::kFrame, 8, 24, 265, 145, "", kArial, false, -1, nullptr},
    {"Label1", Kind::kLabel, 16, 32, 112, 14, "1. Select ICQ Folder :", kArial, true, -1, nullptr},
    {"DriveComboBox1", Kind::kDriveBox, 192, 32, 73, 20, "", kArial, false, 1, nullptr},
    {"ICQFolder", Kind::kFolderList, 16, 56, 249, 81, "", kArial, false, 0, nullptr},
    {"ICQFolderNow", Kind::kFolderLabel, 16, 144, 185, 14, "", kArial, false, -1, nullptr},
    {"Label2", Kind::kLink, 208, 144, 56, 13, "AutoSearch", kSansSerif, false, -1, &Label2Click},
    {"Bevel2", Kind::kFrame, 8, 176, 265, 153, "", kArial, false, -1, nullptr},
    {"Label3", Kind::kLabel, 16, 184, 162, 14, "2. Select / Edit Backup Folder :", kArial, true, -1,
     nullptr},
    {"DriveComboBox2", Kind::kDriveBox, 192, 184, 73, 20, "", kArial, false, 4, nullptr},
    {"BackupFolder", Kind::kFolderList, 16, 208, 249, 81, "", kArial, false, 3, nullptr},
    {"BackupFolderList", Kind::kEdit, 16, 296, 249, 22, app::kInitialBackupFolderText, kArial,
     false, 5, nullptr},
    {"OutScreen", Kind::kScreen, 288, 24, 233, 289, "", kArial, false, 2, nullptr},
    {"ProgressBar", Kind::kGauge, 296, 320, 145, 14, "0%", kArial, false, -1, nullptr},
    {"ClearScreen", Kind::kLink, 452, 320, 61, 13, "Clear Screen", kSansSerif, false, -1,
     &app::ClearScreenClick},
    {"Label4", Kind::kLink, 472, 5, 42, 14, "Read Me", kArial, false, -1, &app::Label4Click},
    {"Bevel3", Kind::kFrame, 8, 344, 201, 41, "", kArial, false, -1, nullptr},
    {"Backup", Kind::kButton, 24, 352, 75, 25, "Backup", kArial, false, 6, &BackupClick},
    {"Restore", Kind::kButton, 120, 352, 75, 25, "Restore", kArial, false, 7, &RestoreClick},
    {"Bevel4", Kind::kFrame, 216, 344, 201, 41, "", kArial, false, -1, nullptr},
    {"CheckUIN", Kind::kButton, 232, 352, 75, 25, "Check UIN", kArial, false, 8, &CheckUINClick},
    {"CheckDate", Kind::kButton, 328, 352, 75, 25, "Check Date", kArial, false, 9, &CheckDateClick},
    {"Bevel5", Kind::kFrame, 424, 344, 97, 41, "", kArial, false, -1, nullptr},
    {"About", Kind::kButton, 440, 352, 65, 25, "About", kArial, false, 10, &app::AboutClick},
};

// The keys that click the link labels, which take no focus: F1 = 1, or Ctrl+letter.
struct Key {
  int function_key;
  char control_letter;
  Handler handler;
};

inline constexpr Key kKeys[] = {
    {1, 0, &app::Label4Click},
    {3, 0, &Label2Click},
    {0, 'L', &app::ClearScreenClick},
};

// The index in kForm of the control of that name; std::size(kForm) for none.
constexpr std::size_t IndexOf(std::string_view name) {
  std::size_t i = 0;
  while (i < std::size(kForm) && kForm[i].name != name) ++i;
  return i;
}

// The indexes in kForm of the controls that take the focus, in tab order.
std::vector<std::size_t> TabOrder();

}  // namespace ui
