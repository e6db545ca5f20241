#include "app/reports.h"

#include <string_view>

namespace app {
namespace {

constexpr std::string_view kTitleLine = " Varn ICQ Backup - 32 bit Ver 0.9.3 beta";
constexpr std::string_view kWebAddress = "http://www.example.org/varn";
constexpr std::string_view kMailAddress = "varn@example.org";

constexpr std::size_t kShortPathLimit = 30;
constexpr std::size_t kShortPathHead = 3;
constexpr std::size_t kShortPathTail = 25;

bool IsUtf8Continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

}  // namespace

void AppendLines(WindowSeam& window, std::initializer_list<std::string> lines) {
  for (const std::string& line : lines) window.AppendLine(line);
}

void Report(WindowSeam& window, std::initializer_list<std::string> lines) {
  window.ClearScreen();
  AppendLines(window, lines);
}

void Banner(WindowSeam& window) {
  AppendLines(window,
              {" ", std::string(kTitleLine), " ", " Supports ICQ : " + window.SupportedVersions,
               " ", " ", " Visit " + std::string(kWebAddress), " for latest plugin!"});
}

void ClearScreenClick(WindowSeam& window) {
  window.SetGauge(0);
  window.ClearScreen();
  Banner(window);
}

void AboutClick(WindowSeam& window) {
  const std::initializer_list<std::string> lines = {
      " ",
      std::string(kTitleLine),
      " ",
      " Copyright (c) 2000-2026 Varn authors",
      " ",
      " ",
      " Programmed by the Varn authors",
      " E-mail : " + std::string(kMailAddress),
      " Web : " + std::string(kWebAddress),
      " ",
      " ",
      " Thanks for using Varn ICQ Backup!",
  };
  Report(window, lines);
  window.SetGauge(100);
}

void Label4Click(WindowSeam& window) {
  const std::initializer_list<std::string> lines = {
      " ",
      " - Read Me -",
      " ",
      " ",
      " Installing ICQ Backup:",
      " ",
      " 1. Unzip the file TORQ32.EXE to any folder",
      "     and run it from there.",
      " ",
      " ",
      " Background Information:",
      " ",
      " 1. This is a fully workable freeware with",
      "     NO time limit.",
      " 2. Thus, I sincerely need your continued",
      "     suggestions to improve on it.",
      " 3. Feel free to drop me at mail at",
      "     " + std::string(kMailAddress),
      " 4. Visit the software support forum",
      "     at http://forum.example.org/varn",
      " ",
      " ** This 32 bit version is incompatible",
      "     with the 16 bit version!",
      " ",
      " ",
      " Point To Note:",
      " ",
      " 1. Please ensure that ICQ is inactive",
      "      when performing restoration!",
      " 2. Just make sure no flower is visible",
      "      in the system tray.",
      " ",
      " ",
      " Features:",
      " ",
      " 1. For new users, ICQ Backup is for",
      "      backing up and restoring of ICQ",
      "      data files.",
      " 2. Using the LZSS Compression Engine,",
      "      data files are compressed up to",
      "      80%.",
      " 3. It can backup multiple accounts and",
      "      multiple instances of ICQ on your",
      "      harddisk.",
      " 4. Upgradable to support future versions",
      "      of ICQ just by downloading a small",
      "      file of less than 1Kb.",
      " ",
      " ",
      " Special Thanks:",
      " ",
      " 1. The authors of the LZSS method",
      "      and all who refined it since",
      "      for their LZSS Compression Codes.",
      "      URL: http://www.example.org/lzss",
      " ",
      " ",
      " - The End -",
  };
  Report(window, lines);
  window.SetGauge(100);
}

std::string ShortPath(const std::string& path) {
  if (path.size() <= kShortPathLimit) return " " + path;
  std::size_t head = kShortPathHead;
  while (head > 0 && IsUtf8Continuation(path[head])) --head;
  std::size_t tail = path.size() - kShortPathTail;
  while (tail < path.size() && IsUtf8Continuation(path[tail])) ++tail;
  return " " + path.substr(0, head) + ".." + path.substr(tail);
}

bool ErrorScreen(WindowSeam& window, const std::string& headline, const std::string& detail,
                 const std::string& advice1, const std::string& advice2) {
  Report(window, {" ", " Error!", " ", headline, detail, " ", " ", " Note:", advice1, advice2});
  return false;
}

}  // namespace app
