// How the tests find the Windows window and its controls: ui::kForm[i] has the
// identifier kFirstControlId + i.
#pragma once

namespace app {

inline constexpr wchar_t kMainWindowClass[] = L"TMain";
inline constexpr int kFirstControlId = 101;

}  // namespace app
