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
