#include "search/auto_search.h"

#include <string>

#include "app/icq_folder.h"
#include "app/reports.h"
#include "app/settings.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/find.h"

namespace search {
namespace {

const char kUsualFolder[] = "C:\\Program Files\\ICQ";
constexpr char kFirstDrive = 'c';  // A: and B: are floppy drives, never searched
constexpr char kLastDrive = 'z';
constexpr int kPathLine = 14;          // the screen line that shows the folder entered last
constexpr int kGaugeFolderLimit = 99;  // the gauge counts folders up to here

std::string ProgramFileIn(const std::string& folder) { return folder + "\\" + app::kProgramName; }

// Until a folder holds the program file: ICQPath is then that folder.
void SearchFolder(app::WindowSeam& window, const std::string& folder, platform::WalkGuard& guard) {
  window.AppendLine(app::ShortPath(folder));
  if (window.Gauge() < kGaugeFolderLimit) window.SetGauge(window.Gauge() + 1);
  // Read once for the test and the walk; a folder that cannot be read is asked directly.
  platform::WalkListing listing;
  bool holds_program = false;
  if (listing.Read(folder) != 0) {
    holds_program = platform::FileExists(ProgramFileIn(folder));
  } else {
    const platform::WalkListing::Entry* program = listing.LookUp(app::kProgramName);
    holds_program = program && program->kind == platform::WalkListing::Kind::kFile;
  }
  if (holds_program) {
    window.ICQPath = folder;
    return;
  }
  for (const std::string& name : listing.Folders()) {
    const std::string path = folder + "\\" + name;
    if (guard.TryEnter(path) != platform::WalkGuard::Enter::kEntered) continue;
    window.DeleteLine(kPathLine);
    SearchFolder(window, path, guard);
    platform::ChangeDir("..");
  }
}

}  // namespace

bool Label2Click(app::WindowSeam& window) {
  window.ClearScreen();
  window.AppendLine(" ");
  window.SetGauge(0);
  app::AppendLines(
      window,
      {" Searching for ICQ...", " ", " This may take a few minutes...", " ", " ",
       " Note:", " 1. Try not to run other programs as this", "      will slow down the search.",
       " 2. If you are multi-tasking, Torq32 may", "      appear not to be responsing. Just",
       "      let it complete itself.", " ", " Searching:"});
  // "none" and an empty setting name no folder (they would look in the current directory).
  const bool setting_holds_icq = window.ICQPath != app::kNoFolder && !window.ICQPath.empty() &&
                                 platform::FileExists(ProgramFileIn(window.ICQPath));
  if (!setting_holds_icq) {
    if (platform::FileExists(ProgramFileIn(kUsualFolder))) {
      window.ICQPath = kUsualFolder;
    } else {
      window.ICQPath = app::kNoFolder;
      for (char letter = kFirstDrive; letter <= kLastDrive && window.ICQPath == app::kNoFolder;
           ++letter) {
        const std::string drive{letter, ':'};
        if (!app::PathIsFolder(drive + "\\")) continue;
        // On the drive's file system, entering no folder twice.
        platform::WalkGuard guard(true);
        guard.TryEnter(drive + "\\");
        SearchFolder(window, drive, guard);
      }
    }
  }
  if (window.ICQPath == app::kNoFolder) {
    app::Report(window, {" ", " Error!", " ", " ICQ cannot be found on this system!", " ", " ",
                         " Note:", " Please ensure that ICQ is installed!"});
    return false;
  }
  window.ICQPath = app::WithoutTrailingBackslash(window.ICQPath);
  app::Report(window,
              {" ", " Search Successful!", " ", " ICQ Found in" + app::ShortPath(window.ICQPath)});
  window.MoveICQFolder(window.ICQPath);
  app::SavePrefs(window);
  window.SetGauge(100);
  return true;
}

}  // namespace search
