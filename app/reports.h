// The window's fixed reports: the banner, About, Read Me, Clear Screen, the display
// path and the error report that the actions share. Every line written begins with
// one space; an empty-looking line is " ".
#pragma once

#include <initializer_list>
#include <string>

#include "app/window_seam.h"

namespace app {

// Writes the lines below what the screen holds.
void AppendLines(WindowSeam& window, std::initializer_list<std::string> lines);
// Clears the screen and writes the lines: a report.
void Report(WindowSeam& window, std::initializer_list<std::string> lines);

// Appends the eight banner lines; line 4 ends in window.SupportedVersions.
void Banner(WindowSeam& window);

// Gauge to 0, screen cleared, banner written.
void ClearScreenClick(WindowSeam& window);

// Screen cleared, the twelve About lines written, gauge to 100.
void AboutClick(WindowSeam& window);

// Read Me: screen cleared, the 58 lines written, gauge to 100. Touches no file.
void Label4Click(WindowSeam& window);

// A path as a message screen line: " " + path when it has at most 30 characters
// (bytes), else " " + its first 3 + ".." + its last 25 (31 characters in all). A UTF-8
// character that either cut would split is left out whole.
std::string ShortPath(const std::string& path);

// Clears the screen and writes the ten-line error report around the four lines given
// (which already begin with a space). Leaves the gauge alone. Always answers false.
bool ErrorScreen(WindowSeam& window, const std::string& headline, const std::string& detail,
                 const std::string& advice1, const std::string& advice2);

}  // namespace app
