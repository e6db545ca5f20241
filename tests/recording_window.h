// A window for headless tests: it records what an action shows (lines, every gauge
// value) and answers the action's questions from a script. The folder selectors are
// plain strings that, like the real folder lists, make their folder the current
// directory when they move.
//
//   RecordingWindow window;            // lists at the current directory, edit box "C:\Backup"
//   window.answers = {true};           // the first question is answered Yes / OK
//   BackupClick(window);
//   EXPECT_EQ(window.lines[1], " Backup Completed!");
//
// A question asked with no scripted answer left fails the test and answers No / Cancel.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <string>
#include <vector>

#include "app/window_seam.h"
#include "platform/drives.h"

class RecordingWindow : public app::WindowSeam {
 public:
  struct Question {
    std::string caption;  // empty for the Yes/No confirmation
    std::string text;
  };

  RecordingWindow()
      : icq_folder(platform::GetCurrentDir()),
        backup_folder(icq_folder),
        backup_text(app::kInitialBackupFolderText) {}

  // What the action left, and what it did on the way.
  std::vector<std::string> lines;
  int gauge = 0;
  std::vector<int> gauge_history;   // every value set, after holding it to 0..100
  std::vector<Question> questions;  // every question asked, in order

  // The selectors: the folder lists' current folders and the edit box's text.
  std::string icq_folder;
  std::string backup_folder;
  std::string backup_text;

  // Answers for the questions, taken from the front: true is Yes / OK.
  std::deque<bool> answers;

  void ClearScreen() override { lines.clear(); }
  void AppendLine(const std::string& line) override { lines.push_back(line); }
  void DeleteLine(int index) override {
    if (index >= 0 && index < static_cast<int>(lines.size())) lines.erase(lines.begin() + index);
  }
  std::vector<std::string> Lines() const override { return lines; }

  void SetGauge(int percent) override {
    gauge = std::clamp(percent, 0, 100);
    gauge_history.push_back(gauge);
  }
  int Gauge() const override { return gauge; }
  void CountBytes(std::int64_t bytes) override { bytes_counted += bytes; }
  std::int64_t bytes_counted = 0;

  std::string ICQFolder() const override { return icq_folder; }
  void MoveICQFolder(const std::string& folder) override {
    platform::ChangeDir(folder);
    icq_folder = platform::GetCurrentDir();
  }
  std::string BackupFolder() const override { return backup_folder; }
  void MoveBackupFolder(const std::string& folder) override {
    platform::ChangeDir(folder);
    backup_folder = platform::GetCurrentDir();
    backup_text = backup_folder;  // BackupFolderChange
  }
  std::string BackupFolderText() const override { return backup_text; }
  void SetBackupFolderText(const std::string& text) override { backup_text = text; }

  // What a window would have shown at each Refresh: the screen and the gauge, kept
  // when they differ from those kept last.
  struct Shown {
    std::vector<std::string> lines;
    int gauge = 0;
    bool operator==(const Shown&) const = default;
  };
  void Refresh() override {
    ++refreshes;
    Shown now{lines, gauge};
    if (refreshed.empty() || refreshed.back() != now) refreshed.push_back(std::move(now));
  }
  int refreshes = 0;
  std::vector<Shown> refreshed;

  bool ConfirmYesNo(const std::string& text) override { return Answer({"", text}); }
  bool WarnOkCancel(const std::string& caption, const std::string& text) override {
    return Answer({caption, text});
  }

 private:
  bool Answer(Question question) {
    questions.push_back(std::move(question));
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << questions.back().text;
      return false;
    }
    bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// What a window is given to show of one file that the engine works through in `blocks`
// blocks: the screen `in_progress` refreshed before the gauge moved, a refresh at every
// block, and the gauge going up through the file, each value once, to 100 at its end.
inline void ExpectShownThroughOneFile(const RecordingWindow& window,
                                      const std::vector<std::string>& in_progress, int blocks) {
  const auto first_shown =
      std::find_if(window.refreshed.begin(), window.refreshed.end(),
                   [&](const RecordingWindow::Shown& shown) { return shown.lines == in_progress; });
  ASSERT_NE(first_shown, window.refreshed.end()) << "the file's line was never refreshed";
  EXPECT_EQ(first_shown->gauge, 0);
  EXPECT_GE(window.refreshes, blocks) << "a refresh at each block";

  const std::vector<int>& gauge = window.gauge_history;
  ASSERT_GE(gauge.size(), static_cast<std::size_t>(blocks / 2 + 2)) << "the gauge moves inside";
  EXPECT_EQ(gauge.front(), 0);
  EXPECT_EQ(gauge.back(), 100);
  EXPECT_TRUE(std::is_sorted(gauge.begin(), gauge.end()));
  EXPECT_EQ(std::adjacent_find(gauge.begin() + 1, gauge.end()), gauge.end()) << "no value twice";
  const auto inside = std::count_if(
      window.refreshed.begin(), window.refreshed.end(),
      [](const RecordingWindow::Shown& shown) { return shown.gauge > 0 && shown.gauge < 100; });
  EXPECT_GE(inside, blocks / 2) << "each step of the gauge is refreshed";
}
