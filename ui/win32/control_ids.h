// How the Windows window is found from outside (the tests read its controls): its window
// class, as FindWindow takes it, and its controls' identifiers, ui::kForm[i] having
// kFirstControlId + i.
#pragma once

namespace app {

inline constexpr wchar_t kMainWindowClass[] = L"TMain";
inline constexpr int kFirstControlId = 101;

}  // namespace app
