// window_probe: looks at the running Windows window from outside, as the window tests
// need it (run under the same Wine as the program):
//   window_probe wait SECONDS    waits until the window is there (exit 1 if it is not)
//   window_probe text [NAME]     prints a control's text (default: the message screen)
//                                in bytes of the ANSI code page, each line ending in LF
//                                as torq32-cli prints the screen
//   window_probe caption         prints the window's caption
//   window_probe place [NAME]    prints "left top width height" on the screen of a
//                                control, or of the whole window (no NAME)
// NAME is a control's name on the form: OutScreen, ProgressBar, Backup, Restore, ...
//   window_probe form            prints one line per control: its name, "left top width
//                                height" in the window's client area, and its place in
//                                the tab order (from 0), or "-" for one that takes no focus
//   window_probe focus           prints the name of the control that has the focus
//   window_probe close           asks the window to close, as its close box does
//   window_probe box             prints the caption and the text of the message box on
//                                the screen, one a line (exit 1 when there is none)
//   window_probe answer yes|no   presses that button of the question on the screen
//   window_probe hold FILE SECONDS  holds FILE open without sharing, as another program
//                                may, for SECONDS (prints "held" once it holds it)
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "ui/form.h"
#include "ui/win32/control_ids.h"

namespace {

constexpr UINT kAnswerMs = 10000;  // a busy window answers between the steps of its action
constexpr int kPollMs = 100;

int Id(std::size_t index) { return app::kFirstControlId + static_cast<int>(index); }

// 0 for no name, -1 for a name the form does not have.
int ControlByName(const char* name) {
  if (!name) return 0;
  const std::size_t index = ui::IndexOf(name);
  return index < std::size(ui::kForm) ? Id(index) : -1;
}

HWND FindMain() { return FindWindowW(app::kMainWindowClass, nullptr); }

std::string Narrow(const std::wstring& wide) {
  if (wide.empty()) return {};
  const int length = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()),
                                         nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length,
                      nullptr, nullptr);
  return text;
}

bool ReadText(HWND window, std::wstring* text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXTLENGTH, 0, 0, SMTO_NORMAL, kAnswerMs, &length)) {
    return false;
  }
  text->assign(length + 1, L'\0');
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text->data()),
                           SMTO_NORMAL, kAnswerMs, &copied)) {
    return false;
  }
  text->resize(copied);
  return true;
}

void Print(const std::string& text) {
  std::string shown;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    shown += text[i];
  }
  if (!shown.empty()) shown += '\n';
  std::fwrite(shown.data(), 1, shown.size(), stdout);
}

int Usage() {
  std::fputs(
      "usage: window_probe wait SECONDS | text [NAME] | caption | place [NAME] | form | focus"
      " | close | box | answer yes|no | hold FILE SECONDS\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char* argv[]) {
  _setmode(_fileno(stdout), _O_BINARY);
  if (argc < 2) return Usage();
  const std::string command = argv[1];

  if (command == "box") {
    // A message box is a dialog of the system's class; its text is the static 0xFFFF.
    const HWND box = FindWindowW(L"#32770", nullptr);
    if (!box || !IsWindowVisible(box)) return 1;
    std::wstring caption, text;
    const HWND message = GetDlgItem(box, 0xFFFF);
    if (!ReadText(box, &caption) || !message || !ReadText(message, &text)) return 1;
    Print(Narrow(caption));
    Print(Narrow(text));
    return 0;
  }
  if (command == "answer") {
    const HWND box = FindWindowW(L"#32770", nullptr);
    if (argc < 3 || !box || !IsWindowVisible(box)) return 1;
    const HWND button = GetDlgItem(box, std::strcmp(argv[2], "yes") == 0 ? IDYES : IDNO);
    return button && PostMessageW(button, BM_CLICK, 0, 0) ? 0 : 1;
  }
  if (command == "hold") {
    if (argc < 4) return Usage();
    const int length = MultiByteToWideChar(CP_ACP, 0, argv[2], -1, nullptr, 0);
    std::wstring path(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_ACP, 0, argv[2], -1, path.data(), length);
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      std::fprintf(stderr, "window_probe: cannot hold %s (%lu)\n", argv[2], GetLastError());
      return 1;
    }
    std::puts("held");
    std::fflush(stdout);
    Sleep(static_cast<DWORD>(std::atoi(argv[3])) * 1000);
    CloseHandle(file);
    return 0;
  }
  if (command == "wait") {
    const DWORD limit = static_cast<DWORD>(argc > 2 ? std::atoi(argv[2]) : 20) * 1000;
    const DWORD start = GetTickCount();
    while (!FindMain() || !IsWindowVisible(FindMain())) {
      if (GetTickCount() - start > limit) {
        std::fputs("window_probe: the window did not appear\n", stderr);
        return 1;
      }
      Sleep(kPollMs);
    }
    return 0;
  }

  const HWND main_window = FindMain();
  if (!main_window) {
    std::fputs("window_probe: no window\n", stderr);
    return 1;
  }
  const char* name = argc > 2 ? argv[2] : (command == "text" ? "OutScreen" : nullptr);
  const int id = ControlByName(name);
  const HWND target = id == 0 ? main_window : id > 0 ? GetDlgItem(main_window, id) : nullptr;
  if (!target) {
    std::fprintf(stderr, "window_probe: no control %s\n", name);
    return 1;
  }

  if (command == "text" || command == "caption") {
    std::wstring text;
    if (!ReadText(target, &text)) {
      std::fputs("window_probe: the window does not answer\n", stderr);
      return 1;
    }
    Print(Narrow(text));
    return 0;
  }
  if (command == "place") {
    RECT place;
    if (!GetWindowRect(target, &place)) return 1;
    std::printf("%ld %ld %ld %ld\n", place.left, place.top, place.right - place.left,
                place.bottom - place.top);
    return 0;
  }
  if (command == "form") {
    // The dialog manager walks the controls that take the focus in their window order.
    int tab = 0;
    std::string tab_of[std::size(ui::kForm)];
    for (HWND child = GetWindow(main_window, GW_CHILD); child;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if ((GetWindowLongW(child, GWL_STYLE) & WS_TABSTOP) == 0) continue;
      for (std::size_t i = 0; i < std::size(ui::kForm); ++i) {
        if (GetDlgCtrlID(child) == Id(i)) tab_of[i] = std::to_string(tab);
      }
      ++tab;
    }
    // The frames are drawn by the window, not controls of their own.
    for (std::size_t i = 0; i < std::size(ui::kForm); ++i) {
      if (ui::kForm[i].kind == ui::Kind::kFrame) continue;
      const HWND control = GetDlgItem(main_window, Id(i));
      RECT place;
      if (!control || !GetWindowRect(control, &place)) {
        std::printf("%s missing\n", ui::kForm[i].name);
        continue;
      }
      MapWindowPoints(nullptr, main_window, reinterpret_cast<POINT*>(&place), 2);
      std::printf("%s %ld %ld %ld %ld %s\n", ui::kForm[i].name, place.left, place.top,
                  place.right - place.left, place.bottom - place.top,
                  tab_of[i].empty() ? "-" : tab_of[i].c_str());
    }
    return 0;
  }
  if (command == "focus") {
    GUITHREADINFO thread = {};
    thread.cbSize = sizeof thread;
    if (!GetGUIThreadInfo(GetWindowThreadProcessId(main_window, nullptr), &thread)) return 1;
    const int focus = thread.hwndFocus ? GetDlgCtrlID(thread.hwndFocus) : 0;
    for (std::size_t i = 0; i < std::size(ui::kForm); ++i) {
      if (Id(i) == focus) {
        std::puts(ui::kForm[i].name);
        return 0;
      }
    }
    std::puts("-");
    return 0;
  }
  if (command == "close") return PostMessageW(main_window, WM_CLOSE, 0, 0) ? 0 : 1;
  return Usage();
}
