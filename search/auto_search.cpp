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

const char* const kNotes[] = {
    " Searching for ICQ...",
    " ",
    " This may take a few minutes...",
    " ",
    " ",
    " Note:",
    " 1. Try not to run other programs as this",
    "      will slow down the search.",
    " 2. If you are multi-tasking, Torq32 may",
    "      appear not to be responsing. Just",
    "      let it complete itself.",
    " ",
    " Searching:",
};

// The walk of one drive. The guard keeps it off other file systems and out of folders
// it has entered before, so that a link back up the tree cannot make it run forever.
class DriveWalk {
 public:
  explicit DriveWalk(app::WindowSeam& window) : window_(window), guard_(true) {}

  // Walks the drive whose root is drive + "\" ("c:").
  void Run(const std::string& drive) {
    // Entering the root first ties the guard to the drive's file system and counts the
    // root as visited.
    guard_.TryEnter(drive + "\\");
    SearchFolder(drive);
  }

 private:
  void SearchFolder(const std::string& folder) {
    window_.AppendLine(app::ShortPath(folder));
    if (window_.Gauge() < kGaugeFolderLimit) window_.SetGauge(window_.Gauge() + 1);
    // The folder is read once, in the order of a directory search: the test for the
    // program file looks in the listing that the walk then goes through.
    platform::WalkListing listing;
    const int read = listing.Read(folder);
    if (HoldsProgramFile(listing, read, folder)) {
      window_.ICQPath = folder;
      return;
    }
    // Files are passed over (they cannot be entered), and so are folders that cannot
    // be entered and folders met before.
    for (const std::string& name : listing.Folders()) {
      const std::string path = folder + "\\" + name;
      if (guard_.TryEnter(path) != platform::WalkGuard::Enter::kEntered) continue;
      window_.DeleteLine(kPathLine);
      SearchFolder(path);
      platform::ChangeDir("..");
    }
  }

  // Whether the folder holds the program file, as FileExists would answer, from the
  // folder's listing; a folder that may be entered but not read is asked directly.
  static bool HoldsProgramFile(const platform::WalkListing& listing, int read_result,
                               const std::string& folder) {
    if (read_result != 0) return platform::FileExists(ProgramFileIn(folder));
    const platform::WalkListing::Entry* program = listing.LookUp(app::kProgramName);
    return program != nullptr && program->kind == platform::WalkListing::Kind::kFile;
  }

  app::WindowSeam& window_;
  platform::WalkGuard guard_;
};

void ShowSuccess(app::WindowSeam& window) {
  window.ICQPath = app::WithoutTrailingBackslash(window.ICQPath);
  app::Report(window,
              {" ", " Search Successful!", " ", " ICQ Found in" + app::ShortPath(window.ICQPath)});
  window.MoveICQFolder(window.ICQPath);
  app::SavePrefs(window);
  window.SetGauge(100);
}

void ShowFailure(app::WindowSeam& window) {
  app::Report(window, {" ", " Error!", " ", " ICQ cannot be found on this system!", " ", " ",
                       " Note:", " Please ensure that ICQ is installed!"});
}

}  // namespace

bool Label2Click(app::WindowSeam& window) {
  window.ClearScreen();
  window.AppendLine(" ");
  window.SetGauge(0);
  for (const char* note : kNotes) window.AppendLine(note);

  // "none" and an empty setting name no folder: taken as paths they would look in the
  // current directory or the root of the current drive, and a find in "none" would
  // still end in the failure report.
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
        DriveWalk(window).Run(drive);
      }
    }
  }
  if (window.ICQPath == app::kNoFolder) {
    ShowFailure(window);
    return false;
  }
  ShowSuccess(window);
  return true;
}

}  // namespace search
