#include "tools/terminal_window.h"

#include <algorithm>
#include <filesystem>
#include <istream>
#include <ostream>

#include "platform/ascii.h"
#include "platform/drives.h"

namespace app {
namespace {

constexpr int kBarWidth = 20;

// The dialogs break lines with carriage returns; a terminal wants line feeds.
std::string TerminalText(std::string text) {
  std::replace(text.begin(), text.end(), '\r', '\n');
  return text;
}

}  // namespace

TerminalWindow::TerminalWindow(Answers answers, std::istream* answer_in, std::ostream* prompt_out,
                               Progress progress, std::ostream* progress_out)
    : answers_(answers),
      answer_in_(answer_in),
      prompt_out_(prompt_out),
      progress_(progress_out ? progress : Progress::kNone),
      progress_out_(progress_out),
      icq_folder_(platform::GetCurrentDir()),
      backup_folder_(icq_folder_),
      backup_text_(kInitialBackupFolderText) {}

void TerminalWindow::ClearScreen() { lines_.clear(); }
void TerminalWindow::AppendLine(const std::string& line) { lines_.push_back(line); }
void TerminalWindow::DeleteLine(int index) {
  if (index >= 0 && index < static_cast<int>(lines_.size())) lines_.erase(lines_.begin() + index);
}
std::vector<std::string> TerminalWindow::Lines() const { return lines_; }

void TerminalWindow::SetGauge(int percent) {
  percent = std::clamp(percent, 0, 100);
  if (percent == gauge_) return;
  gauge_ = percent;
  DrawGauge();
}
int TerminalWindow::Gauge() const { return gauge_; }

void TerminalWindow::DrawGauge() {
  if (progress_ == Progress::kNone) return;
  const int filled = gauge_ * kBarWidth / 100;
  std::string bar = " [" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] ";
  std::string figure = std::to_string(gauge_) + "%";
  bar += std::string(4 - figure.size(), ' ') + figure;
  if (progress_ == Progress::kRedraw) {
    *progress_out_ << '\r' << bar << std::flush;
    progress_shown_ = true;
  } else {
    *progress_out_ << bar << '\n' << std::flush;
  }
}

void TerminalWindow::EndProgress() {
  if (!progress_shown_) return;
  *progress_out_ << '\r' << std::string(kBarWidth + 8, ' ') << '\r' << std::flush;
  progress_shown_ = false;
}

std::string TerminalWindow::ICQFolder() const { return icq_folder_; }
void TerminalWindow::MoveICQFolder(const std::string& folder) {
  platform::ChangeDir(folder);
  icq_folder_ = platform::GetCurrentDir();
}
std::string TerminalWindow::BackupFolder() const { return backup_folder_; }
void TerminalWindow::MoveBackupFolder(const std::string& folder) {
  platform::ChangeDir(folder);
  backup_folder_ = platform::GetCurrentDir();
  backup_text_ = backup_folder_;
}
std::string TerminalWindow::BackupFolderText() const { return backup_text_; }
void TerminalWindow::SetBackupFolderText(const std::string& text) { backup_text_ = text; }

bool TerminalWindow::ConfirmYesNo(const std::string& text) { return Ask("", text); }
bool TerminalWindow::WarnOkCancel(const std::string& caption, const std::string& text) {
  return Ask(caption, text);
}

// Yes and OK are "y", "yes" or "ok"; anything else, or no reply, is No / Cancel.
bool TerminalWindow::Ask(const std::string& caption, const std::string& text) {
  if (answers_ != Answers::kAsk) return answers_ == Answers::kYes;
  if (!answer_in_ || !prompt_out_) return false;  // nobody to ask: the safe answer
  EndProgress();
  if (!caption.empty()) *prompt_out_ << caption << ":\n";
  *prompt_out_ << TerminalText(text) << " [y/N] " << std::flush;
  std::string reply;
  if (!std::getline(*answer_in_, reply)) return false;
  reply = platform::AsciiLower(reply);
  return reply == "y" || reply == "yes" || reply == "ok";
}

void TerminalWindow::PrintScreen(std::ostream& out) const {
  for (const std::string& line : lines_) out << line << '\n';
  out << std::flush;
}

std::optional<std::string> WindowsPathArgument(const std::string& text,
                                               const std::string& host_cwd) {
  const bool drive_path = text.size() >= 2 && platform::IsAsciiLetter(text[0]) && text[1] == ':';
  if (drive_path || (!text.empty() && text[0] == '\\')) return text;
  std::filesystem::path host(text);
  if (host.is_relative()) host = std::filesystem::path(host_cwd) / host;
  std::string normal = host.lexically_normal().string();
  while (normal.size() > 1 && normal.back() == '/') normal.pop_back();
  return platform::ToWindowsPath(normal);
}

}  // namespace app
