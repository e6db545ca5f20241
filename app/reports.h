// The window's fixed reports and the pieces the actions' reports share.
#pragma once

#include <initializer_list>
#include <string>

#include "app/window_seam.h"

namespace app {

// Writes the lines below what the screen holds.
void AppendLines(WindowSeam& window, std::initializer_list<std::string> lines);
// Clears the screen and writes the lines: a report.
void Report(WindowSeam& window, std::initializer_list<std::string> lines);

// Appends the eight banner lines.
void Banner(WindowSeam& window);

void ClearScreenClick(WindowSeam& window);  // gauge to 0, then the banner
void AboutClick(WindowSeam& window);        // the report, then the gauge to 100
void Label4Click(WindowSeam& window);       // Read Me, as About

// A path as a message screen line: " " + path up to 30 bytes, else " " + its first 3 +
// ".." + its last 25, leaving out whole a UTF-8 character that a cut would split.
std::string ShortPath(const std::string& path);

// The ten-line error report around the four lines given; answers false.
bool ErrorScreen(WindowSeam& window, const std::string& headline, const std::string& detail,
                 const std::string& advice1, const std::string& advice2);

}  // namespace app
