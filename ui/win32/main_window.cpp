#include "ui/win32/main_window.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "app/startup.h"
#include "platform/ansi_text.h"
#include "platform/drives.h"
#include "ui/win32/control_ids.h"
#include "ui/win32/resource_ids.h"

namespace app {
namespace {

constexpr int kDotsPerInch = 96;  // the form's
constexpr int kPointsPerInch = 72;
constexpr int kDriveListHeight = 200;
constexpr COLORREF kLinkColour = RGB(0, 0, 255);
constexpr COLORREF kFolderColour = RGB(255, 214, 96);
constexpr COLORREF kFolderEdgeColour = RGB(160, 120, 0);
// At most this many messages a refresh: a stream of them cannot keep the action waiting.
constexpr int kMessagesPerRefresh = 200;
// Posted when an action has ended, to replay the input held during it.
constexpr UINT kReplayHeldInput = WM_APP + 1;

bool IsFrameMouse(UINT message) {
  return message >= WM_NCMOUSEMOVE && message <= WM_NCXBUTTONDBLCLK;
}

// Clicks and keys, which wait while an action runs; the frame's own mouse messages too.
bool IsInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST) || IsFrameMouse(message);
}

// The form's control behind an identifier; nullptr for none.
const ui::Control* FormControl(int id) {
  const int index = id - kFirstControlId;
  return index >= 0 && index < static_cast<int>(std::size(ui::kForm)) ? &ui::kForm[index] : nullptr;
}

bool IsLink(HWND control) {
  const ui::Control* form = FormControl(GetDlgCtrlID(control));
  return form != nullptr && form->kind == ui::Kind::kLink;
}

// The program's texts are 8-bit texts in the ANSI code page; the controls speak UTF-16.
constexpr auto& Wide = platform::WideFromAnsi;

std::string WindowText(HWND window) {
  std::wstring wide(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  wide.resize(static_cast<std::size_t>(GetWindowTextW(window, wide.data(), wide.size())));
  return platform::AnsiFromWide(wide);
}

HFONT MakeFont(const char* family, bool bold, bool underline) {
  return CreateFontW(-MulDiv(ui::kFontPoints, kDotsPerInch, kPointsPerInch), 0, 0, 0,
                     bold ? FW_BOLD : FW_NORMAL, FALSE, underline ? TRUE : FALSE, FALSE,
                     DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                     DEFAULT_PITCH | FF_SWISS, Wide(family).c_str());
}

// Where a frame of that size stands in the middle of the screen's work area.
POINT Centred(int width, int height) {
  RECT area = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  return {area.left + (area.right - area.left - width) / 2,
          area.top + (area.bottom - area.top - height) / 2};
}

// The boxes stand in the middle of the screen: the hook moves each as it is activated.
LRESULT CALLBACK CentreBox(int code, WPARAM wparam, LPARAM lparam) {
  RECT frame;
  if (code == HCBT_ACTIVATE && GetWindowRect(reinterpret_cast<HWND>(wparam), &frame)) {
    const POINT place = Centred(frame.right - frame.left, frame.bottom - frame.top);
    SetWindowPos(reinterpret_cast<HWND>(wparam), nullptr, place.x, place.y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

int CentredMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT flags) {
  const HHOOK hook = SetWindowsHookExW(WH_CBT, CentreBox, nullptr, GetCurrentThreadId());
  const int answer = MessageBoxW(owner, Wide(text).c_str(), Wide(caption).c_str(), flags);
  if (hook) UnhookWindowsHookEx(hook);
  return answer;
}

// Each kind's system control, in the order of ui::Kind.
struct ControlClass {
  const wchar_t* name;
  DWORD style;
  DWORD ex_style;
};
constexpr DWORD kLabelStyle = SS_LEFTNOWORDWRAP | SS_NOPREFIX;
constexpr ControlClass kControlClasses[] = {
    {nullptr, 0, 0},  // a frame: drawn by the window itself
    {L"STATIC", kLabelStyle, 0},
    {L"STATIC", SS_OWNERDRAW, 0},  // keeps its size: it shortens the path to fit
    {L"STATIC", kLabelStyle | SS_NOTIFY, 0},
    {L"COMBOBOX", WS_VSCROLL | CBS_DROPDOWNLIST, 0},
    {L"LISTBOX",
     WS_VSCROLL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOINTEGRALHEIGHT,
     WS_EX_CLIENTEDGE},
    {L"EDIT", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE},
    {L"EDIT", WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL, WS_EX_CLIENTEDGE},
    {L"STATIC", SS_OWNERDRAW, 0},
    {L"BUTTON", BS_PUSHBUTTON, 0},
};
static_assert(std::size(kControlClasses) == static_cast<std::size_t>(ui::Kind::kButton) + 1);

std::wstring GaugeText(int percent) { return std::to_wstring(percent) + L"%"; }

// A closed or an open folder, as the classic directory list draws them.
void DrawFolderIcon(HDC dc, int left, int top, bool open) {
  const HBRUSH fill = CreateSolidBrush(open ? RGB(255, 236, 160) : kFolderColour);
  const HPEN edge = CreatePen(PS_SOLID, 1, kFolderEdgeColour);
  const HGDIOBJ old_brush = SelectObject(dc, fill);
  const HGDIOBJ old_pen = SelectObject(dc, edge);
  Rectangle(dc, left, top + 1, left + 6, top + 4);  // the tab
  Rectangle(dc, left, top + 3, left + ui::kFolderIconSize, top + ui::kFolderIconSize - 2);
  SelectObject(dc, old_pen);
  SelectObject(dc, old_brush);
  DeleteObject(edge);
  DeleteObject(fill);
}

void FillDriveBox(HWND box, int height) {
  for (const platform::DriveMapping& drive : platform::Drives()) {
    const char name[] = {static_cast<char>(drive.letter - 'A' + 'a'), ':', '\0'};
    const LRESULT index =
        SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(name).c_str()));
    SendMessageW(box, CB_SETITEMDATA, index, drive.letter);
  }
  // The closed box's height follows the item height: set, measured, set again to fit.
  const LRESULT item_height = SendMessageW(box, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
  if (item_height > 0) {
    SendMessageW(box, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item_height);
    RECT shown;
    GetWindowRect(box, &shown);
    const LRESULT wanted = item_height + height - (shown.bottom - shown.top);
    if (wanted > 0) SendMessageW(box, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), wanted);
  }
}

// Black on white, a single-line border, the percentage centred in the other colour.
void DrawGauge(const DRAWITEMSTRUCT& item, int percent) {
  const HDC dc = item.hDC;
  const RECT outer = item.rcItem;
  FrameRect(dc, &outer, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  RECT inner = {outer.left + 1, outer.top + 1, outer.right - 1, outer.bottom - 1};
  FillRect(dc, &inner, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  const RECT bar = {inner.left, inner.top, inner.left + (inner.right - inner.left) * percent / 100,
                    inner.bottom};
  FillRect(dc, &bar, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));

  const std::wstring text = GaugeText(percent);
  for (const bool on_bar : {false, true}) {
    SaveDC(dc);
    (on_bar ? IntersectClipRect : ExcludeClipRect)(dc, bar.left, bar.top, bar.right, bar.bottom);
    SetTextColor(dc, on_bar ? RGB(255, 255, 255) : RGB(0, 0, 0));
    DrawTextW(dc, text.c_str(), -1, &inner, DT_CENTER | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    RestoreDC(dc, -1);
  }
}

}  // namespace

void ShowErrorBox(HWND owner, const std::string& message) {
  CentredMessageBox(owner, DialogText(message, "\r\n"), kWindowCaption, MB_OK | MB_ICONERROR);
}

TMain::TMain() {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class = {};
  window_class.cbSize = sizeof(window_class);
  window_class.lpfnWndProc = &TMain::WindowProc;
  window_class.hInstance = instance;
  window_class.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(VARN_PROGRAM_ICON));
  window_class.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  window_class.lpszClassName = kMainWindowClass;
  RegisterClassExW(&window_class);  // a second window finds it registered

  font_.reset(MakeFont(ui::kArial, false, false));

  const POINT place = Centred(ui::kOuterWidth, ui::kOuterHeight);
  window_ = CreateWindowExW(
      WS_EX_CONTROLPARENT, kMainWindowClass, Wide(kWindowCaption).c_str(),
      WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_THICKFRAME | WS_CLIPCHILDREN,
      place.x, place.y, ui::kOuterWidth, ui::kOuterHeight, nullptr, nullptr, instance, this);
  if (!window_) throw std::runtime_error("The window could not be created.");
  BuildControls();
  RunAction([this] { FormCreate(*this); });
}

TMain::~TMain() {
  if (window_ && IsWindow(window_)) {
    SetWindowLongPtrW(window_, GWLP_USERDATA, 0);
    DestroyWindow(window_);
  }
}

void TMain::Show(int show_command) {
  ShowWindow(window_, show_command);
  UpdateWindow(window_);
}

void TMain::BuildControls() {
  // In tab order first: the dialog manager walks the controls as they were made.
  std::vector<std::size_t> order = ui::TabOrder();
  for (std::size_t i = 0; i < std::size(ui::kForm); ++i) {
    if (ui::kForm[i].tab < 0) order.push_back(i);
  }
  for (std::size_t index : order) {
    const ui::Control& form = ui::kForm[index];
    if (form.kind == ui::Kind::kFrame) continue;  // drawn by the window itself
    const ControlClass& kind = kControlClasses[static_cast<std::size_t>(form.kind)];
    const DWORD style = kind.style | (form.tab < 0 ? 0 : WS_TABSTOP);
    // A drive box's height is that of its list dropped down.
    const int height = form.kind == ui::Kind::kDriveBox ? kDriveListHeight : form.height;
    fonts_[index].reset(MakeFont(form.family, form.bold, form.kind == ui::Kind::kLink));
    const HWND control = CreateWindowExW(
        kind.ex_style, kind.name, Wide(form.text).c_str(), WS_CHILD | WS_VISIBLE | style, form.left,
        form.top, form.width, height, window_,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstControlId + index)),
        GetModuleHandleW(nullptr), nullptr);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(fonts_[index].get()), FALSE);
    if (form.kind == ui::Kind::kDriveBox) FillDriveBox(control, form.height);
    if (form.kind == ui::Kind::kFolderList) {
      SendMessageW(control, LB_SETITEMHEIGHT, 0, ui::kFolderItemHeight);
    }
  }
  const auto find = [this](const char* name) {
    return GetDlgItem(window_, kFirstControlId + static_cast<int>(ui::IndexOf(name)));
  };
  lists_[kICQ] = find("ICQFolder");
  lists_[kBackup] = find("BackupFolder");
  drives_[kICQ] = find("DriveComboBox1");
  drives_[kBackup] = find("DriveComboBox2");
  icq_folder_now_ = find("ICQFolderNow");
  backup_folder_list_ = find("BackupFolderList");
  out_screen_ = find("OutScreen");
  progress_bar_ = find("ProgressBar");
  // Long lines wrap at the box's width; the horizontal bar is shown all the same, idle.
  ShowScrollBar(out_screen_, SB_HORZ, TRUE);
  EnableScrollBar(out_screen_, SB_HORZ, ESB_DISABLE_BOTH);
  SendMessageW(out_screen_, EM_SETLIMITTEXT, 0, 0);  // no limit but memory
  ShowFolder(kICQ);
  ShowFolder(kBackup);
  SetFocus(lists_[kICQ]);
}

LRESULT CALLBACK TMain::WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    auto* self = static_cast<TMain*>(create->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<TMain*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (!self) return DefWindowProcW(window, message, wparam, lparam);
  return self->HandleMessage(message, wparam, lparam);
}

LRESULT TMain::HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_COMMAND:
      OnCommand(LOWORD(wparam), HIWORD(wparam), reinterpret_cast<HWND>(lparam));
      return 0;
    case WM_DRAWITEM:
      DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    case WM_CTLCOLORSTATIC: {
      // The message screen is read-only, yet white like any text box the user reads.
      const HDC dc = reinterpret_cast<HDC>(wparam);
      const HWND control = reinterpret_cast<HWND>(lparam);
      const int ground = control == out_screen_ ? COLOR_WINDOW : COLOR_BTNFACE;
      SetTextColor(dc, IsLink(control) ? kLinkColour : GetSysColor(COLOR_WINDOWTEXT));
      SetBkColor(dc, GetSysColor(ground));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(ground));
    }
    case WM_SETCURSOR:
      if (IsLink(reinterpret_cast<HWND>(wparam))) {
        SetCursor(LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_CROSS)));
        return TRUE;
      }
      break;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case WM_NEXTDLGCTL:
      // The message screen passes Tab on as in a dialog: the focus moves as there.
      if (LOWORD(lparam)) {
        SetFocus(reinterpret_cast<HWND>(wparam));
      } else if (const HWND next = GetNextDlgTabItem(window_, GetFocus(), wparam != 0)) {
        if (SendMessageW(next, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) {
          SendMessageW(next, EM_SETSEL, 0, -1);
        }
        SetFocus(next);
      }
      return 0;
    case kReplayHeldInput:
      // In order; a click that starts another action leaves the rest for after it.
      while (!held_input_.empty() && !ActionRunning() && IsWindow(window_)) {
        HeldInput held = held_input_.front();
        held_input_.pop_front();
        // Shift+Tab and typed capitals read the keys that were down when they came.
        if (held.message.message >= WM_KEYFIRST && held.message.message <= WM_KEYLAST) {
          SetKeyboardState(held.keys.data());
        }
        HandleQueued(held.message);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcW(window_, message, wparam, lparam);
}

void TMain::HandleQueued(MSG message) {
  if (TakeKey(message) || IsDialogMessageW(window_, &message)) return;
  TranslateMessage(&message);
  DispatchMessageW(&message);
}

// The link labels' keys; Enter opens a folder list's line or presses the focused button.
bool TMain::TakeKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || !IsWindow(window_)) return false;
  for (const ui::Key& key : ui::kKeys) {
    const bool control = GetKeyState(VK_CONTROL) < 0;
    if (key.function_key > 0
            ? !control && message.wParam == VK_F1 + key.function_key - 1u
            : control && message.wParam == static_cast<WPARAM>(key.control_letter)) {
      Click(key.handler);
      return true;
    }
  }
  if (message.wParam != VK_RETURN) return false;
  for (Selector selector : {kICQ, kBackup}) {
    if (message.hwnd != lists_[selector]) continue;
    OpenCurrentLine(selector);
    return true;
  }
  if (GetParent(message.hwnd) == window_ &&
      (SendMessageW(message.hwnd, WM_GETDLGCODE, 0, 0) & DLGC_UNDEFPUSHBUTTON)) {
    SendMessageW(message.hwnd, BM_CLICK, 0, 0);
    return true;
  }
  return false;
}

void TMain::OnCommand(int id, int code, HWND control) {
  const ui::Control* form = FormControl(id);
  if (form == nullptr) return;
  const Selector selector = control == lists_[kICQ] || control == drives_[kICQ] ? kICQ : kBackup;
  switch (form->kind) {
    case ui::Kind::kButton:
    case ui::Kind::kLink:
      static_assert(BN_CLICKED == STN_CLICKED);
      if (code == BN_CLICKED) Click(form->handler);
      return;
    case ui::Kind::kFolderList:
      if (code == LBN_DBLCLK) OpenCurrentLine(selector);
      return;
    case ui::Kind::kDriveBox:
      if (code == CBN_SELCHANGE) {
        const LRESULT index = SendMessageW(drives_[selector], CB_GETCURSEL, 0, 0);
        if (index >= 0) {
          ChooseDrive(selector,
                      static_cast<char>(SendMessageW(drives_[selector], CB_GETITEMDATA, index, 0)));
        }
      }
      return;
    case ui::Kind::kEdit:
      // Typing sets the text the actions read; the list stays where it is.
      if (code == EN_CHANGE && !setting_backup_text_) {
        backup_text_ = WindowText(backup_folder_list_);
      }
      return;
    default:
      return;
  }
}

void TMain::OnClose() {
  if (MayClose()) DestroyWindow(window_);
}

void TMain::Paint() {
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window_, &paint);
  // A stand-in font may be wider: what a label's text needs beyond it is drawn here.
  SetBkMode(dc, TRANSPARENT);
  for (std::size_t i = 0; i < std::size(ui::kForm); ++i) {
    const ui::Control& form = ui::kForm[i];
    RECT place = {form.left, form.top, form.left + form.width, form.top + form.height};
    if (form.kind == ui::Kind::kFrame) DrawEdge(dc, &place, EDGE_ETCHED, BF_RECT);
    if (form.kind != ui::Kind::kLabel && form.kind != ui::Kind::kLink) continue;
    SetTextColor(dc, form.kind == ui::Kind::kLink ? kLinkColour : GetSysColor(COLOR_WINDOWTEXT));
    const HGDIOBJ old = SelectObject(dc, fonts_[i].get());
    const std::wstring text = Wide(form.text);
    TextOutW(dc, form.left, form.top, text.c_str(), static_cast<int>(text.size()));
    SelectObject(dc, old);
  }
  EndPaint(window_, &paint);
}

void TMain::DrawItem(const DRAWITEMSTRUCT& item) {
  const HGDIOBJ old = SelectObject(item.hDC, font_.get());
  SetBkMode(item.hDC, TRANSPARENT);
  if (item.hwndItem == lists_[kICQ] || item.hwndItem == lists_[kBackup]) {
    DrawFolderLine(item);
  } else if (item.hwndItem == progress_bar_) {
    DrawGauge(item, gauge_);
  } else if (item.hwndItem == icq_folder_now_) {
    // "C:\...\newdb\sub": the middle of the path gives way to an ellipsis until it fits.
    RECT place = item.rcItem;
    FillRect(item.hDC, &place, GetSysColorBrush(COLOR_BTNFACE));
    SetTextColor(item.hDC, GetSysColor(COLOR_WINDOWTEXT));
    std::wstring text = Wide(folders_[kICQ]);
    DrawTextW(item.hDC, text.data(), static_cast<int>(text.size()), &place,
              DT_LEFT | DT_SINGLELINE | DT_NOPREFIX | DT_PATH_ELLIPSIS);
  }
  SelectObject(item.hDC, old);
}

void TMain::DrawFolderLine(const DRAWITEMSTRUCT& item) {
  const FolderLines& shown = shown_lines_[item.hwndItem == lists_[kICQ] ? kICQ : kBackup];
  RECT place = item.rcItem;
  FillRect(item.hDC, &place, GetSysColorBrush(COLOR_WINDOW));
  if (item.itemID == static_cast<UINT>(-1) || item.itemID >= shown.lines.size()) {
    if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &place);
    return;
  }
  const FolderLine& line = shown.lines[item.itemID];
  const int left = place.left + 2 + line.level * ui::kFolderIndent;
  DrawFolderIcon(item.hDC, left, place.top + 1, line.open);
  const std::wstring text = Wide(line.text);
  SIZE size = {};
  GetTextExtentPoint32W(item.hDC, text.c_str(), static_cast<int>(text.size()), &size);
  const int text_left = left + ui::kFolderIconSize + 3;
  RECT text_place = {text_left, place.top, text_left + size.cx + 4, place.bottom};
  const bool selected = (item.itemState & ODS_SELECTED) != 0;
  FillRect(item.hDC, &text_place, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  SetTextColor(item.hDC, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT inner = {text_place.left + 2, text_place.top, text_place.right, text_place.bottom};
  DrawTextW(item.hDC, text.c_str(), static_cast<int>(text.size()), &inner,
            DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (item.itemState & ODS_FOCUS) DrawFocusRect(item.hDC, &text_place);
}

void TMain::ShowCleared() { SetWindowTextW(out_screen_, L""); }

void TMain::ShowAppended(const std::string& line) {
  const std::wstring shown = Wide((lines_.empty() ? "" : "\r\n") + ScreenLineText(line));
  const int end = GetWindowTextLengthW(out_screen_);
  SendMessageW(out_screen_, EM_SETSEL, end, end);
  SendMessageW(out_screen_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(shown.c_str()));
}

void TMain::ShowDeleting(int index) {
  // The line goes with one line break: the one after it, or the one before the last line.
  constexpr int kBreak = 2;  // CR LF
  int start = 0;
  const auto length = [this](int i) {
    return static_cast<int>(Wide(ScreenLineText(lines_[i])).size());
  };
  for (int i = 0; i < index; ++i) start += length(i) + kBreak;
  int end = start + length(index);
  if (index + 1 < static_cast<int>(lines_.size())) {
    end += kBreak;
  } else if (index > 0) {
    start -= kBreak;
  }
  SendMessageW(out_screen_, EM_SETSEL, start, end);
  SendMessageW(out_screen_, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L""));
}

void TMain::ShowGauge() {
  // The percentage is the gauge's text too, for whoever reads the window from outside.
  SetWindowTextW(progress_bar_, GaugeText(gauge_).c_str());
  // Painted now, not when the message loop next runs: long actions keep it waiting.
  InvalidateRect(progress_bar_, nullptr, FALSE);
  UpdateWindow(progress_bar_);
}

void TMain::ShowBackupText() {
  setting_backup_text_ = true;
  SetWindowTextW(backup_folder_list_, Wide(backup_text_).c_str());
  setting_backup_text_ = false;
}

bool TMain::Ask(const std::string& caption, const std::string& text, bool yes_no) {
  const UINT buttons = yes_no ? MB_YESNO | MB_ICONQUESTION : MB_OKCANCEL | MB_ICONWARNING;
  const int answer =
      CentredMessageBox(window_, DialogText(text, "\r\n"), caption, buttons | MB_DEFBUTTON1);
  return answer == IDYES || answer == IDOK;
}

void TMain::TakeMessages() {
  // Clicks and keys are held: left queued, they could hide a click on the close box.
  MSG message;
  for (int taken = 0;
       taken < kMessagesPerRefresh && PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE); ++taken) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));  // for the message loop
      break;
    }
    if (IsInput(message.message)) {
      HoldInput(message);
    } else {
      DispatchMessageW(&message);
    }
  }
}

void TMain::HoldInput(const MSG& message) {
  const UINT kind = message.message;
  // The close box, Alt+F4 and Escape ask at once whether to stop the action.
  if ((kind == WM_NCLBUTTONDOWN && message.wParam == HTCLOSE) ||
      (kind == WM_SYSKEYDOWN && message.wParam == VK_F4) ||
      (kind == WM_KEYDOWN && message.wParam == VK_ESCAPE)) {
    OnClose();
    return;
  }
  if (kind == WM_NCLBUTTONDOWN && message.wParam == HTMINBUTTON) {
    ShowWindow(window_, SW_MINIMIZE);
    return;
  }
  // Dragging or sizing the frame cannot wait: its button is up by the time it could run.
  if (IsFrameMouse(kind)) return;
  HeldInput held = {message, {}};
  GetKeyboardState(held.keys.data());
  held_input_.push_back(held);
}

void TMain::ActionEnded() {
  if (!held_input_.empty()) PostMessageW(window_, kReplayHeldInput, 0, 0);
}

void TMain::ScreenToTop() {
  SendMessageW(out_screen_, EM_SETSEL, 0, 0);
  SendMessageW(out_screen_, EM_SCROLLCARET, 0, 0);
  SendMessageW(out_screen_, WM_VSCROLL, SB_TOP, 0);
}

void TMain::ShowError(const std::string& message) {
  ShowErrorBox(IsWindowVisible(window_) ? window_ : nullptr, message);
}

void TMain::ShowList(Selector selector) {
  const HWND list = lists_[selector];
  FolderLines& shown = shown_lines_[selector] = ReadFolderLines(folders_[selector]);
  SendMessageW(list, WM_SETREDRAW, FALSE, 0);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const FolderLine& line : shown.lines) {
    SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(line.text).c_str()));
  }
  SendMessageW(list, WM_SETREDRAW, TRUE, 0);
  // From the top, as far down as the current folder needs.
  SendMessageW(list, LB_SETCURSEL, shown.current, 0);
  RECT inside;
  GetClientRect(list, &inside);
  const std::size_t whole_lines = static_cast<std::size_t>(inside.bottom / ui::kFolderItemHeight);
  const std::size_t top = shown.current < whole_lines ? 0 : shown.current + 1 - whole_lines;
  SendMessageW(list, LB_SETTOPINDEX, top, 0);
  InvalidateRect(list, nullptr, TRUE);
  ShowDrive(selector);
  if (selector == kICQ) {
    // The label shows the whole path as its text; it draws it shortened.
    SetWindowTextW(icq_folder_now_, Wide(folders_[kICQ]).c_str());
    InvalidateRect(icq_folder_now_, nullptr, FALSE);
  }
}

void TMain::ShowDrive(Selector selector) {
  // The box's lines are "c:", found regardless of case.
  const wchar_t name[] = {static_cast<wchar_t>(DriveOf(folders_[selector])), L':', L'\0'};
  const LRESULT index = SendMessageW(drives_[selector], CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                     reinterpret_cast<LPARAM>(name));
  if (index != CB_ERR) SendMessageW(drives_[selector], CB_SETCURSEL, index, 0);
}

void TMain::OpenCurrentLine(Selector selector) {
  const LRESULT index = SendMessageW(lists_[selector], LB_GETCURSEL, 0, 0);
  const std::vector<FolderLine>& lines = shown_lines_[selector].lines;
  if (index >= 0 && static_cast<std::size_t>(index) < lines.size()) {
    OpenFolder(selector, lines[static_cast<std::size_t>(index)].path);
  }
}

}  // namespace app
