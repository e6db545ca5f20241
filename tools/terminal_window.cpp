#include "tools/terminal_window.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <istream>
#include <ostream>

#include "platform/ascii.h"
#include "platform/drives.h"

namespace app {
namespace {

constexpr int kBarWidth = 20;
// Before this, the time left is a guess too rough to show.
constexpr std::chrono::seconds kEstimateAfter{2};
// The engine counts every block; the line is redrawn for them this often at most.
constexpr std::chrono::milliseconds kBytesRedrawEvery{100};
constexpr double kBytesPerMegabyte = 1e6;

// "  12.3 MB": the data done; "" before any.
std::string BytesDone(std::int64_t bytes) {
  if (bytes <= 0) return "";
  char text[32];
  std::snprintf(text, sizeof text, "  %.1f MB", static_cast<double>(bytes) / kBytesPerMegabyte);
  return text;
}

// "  1:30 left": the time the part done took, for the part to come; "" while unknown.
std::string TimeLeft(std::chrono::steady_clock::duration elapsed, int percent) {
  if (percent <= 0 || percent >= 100 || elapsed < kEstimateAfter) return "";
  const auto left =
      std::chrono::duration_cast<std::chrono::seconds>(elapsed * (100 - percent) / percent).count();
  char text[32];
  std::snprintf(text, sizeof text, "  %lld:%02lld left", static_cast<long long>(left / 60),
                static_cast<long long>(left % 60));
  return text;
}

}  // namespace

TerminalWindow::TerminalWindow(Answers answers, std::istream* answer_in, std::ostream* prompt_out,
                               Progress progress, std::ostream* progress_out, Clock clock)
    : answers_(answers),
      answer_in_(answer_in),
      prompt_out_(prompt_out),
      progress_(progress_out ? progress : Progress::kNone),
      progress_out_(progress_out),
      clock_(std::move(clock)),
      action_start_(clock_()) {}

// Every action begins by clearing the screen: its time counts from here.
void TerminalWindow::ShowCleared() {
  action_start_ = clock_();
  bytes_done_ = 0;
}

void TerminalWindow::CountBytes(std::int64_t bytes) {
  bytes_done_ += bytes;
  if (progress_ == Progress::kRedraw && clock_() - last_drawn_ >= kBytesRedrawEvery) ShowGauge();
}

void TerminalWindow::ShowGauge() {
  if (progress_ == Progress::kNone) return;
  const int filled = gauge_ * kBarWidth / 100;
  std::string bar = " [" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] ";
  std::string figure = std::to_string(gauge_) + "%";
  bar += std::string(4 - figure.size(), ' ') + figure;
  if (progress_ == Progress::kRedraw) {
    last_drawn_ = clock_();
    bar += BytesDone(bytes_done_) + TimeLeft(last_drawn_ - action_start_, gauge_);
    // Spaces over what a longer line before left.
    const std::size_t shown = bar.size();
    bar.resize(std::max(shown, progress_shown_), ' ');
    *progress_out_ << '\r' << bar << std::flush;
    progress_shown_ = shown;
  } else {
    *progress_out_ << bar << '\n' << std::flush;
  }
}

void TerminalWindow::EndProgress() {
  if (progress_shown_ == 0) return;
  *progress_out_ << '\r' << std::string(progress_shown_, ' ') << '\r' << std::flush;
  progress_shown_ = 0;
}

bool TerminalWindow::ConfirmYesNo(const std::string& text) { return WarnOkCancel("", text); }

// Yes and OK are "y", "yes" or "ok"; anything else, or no reply, is No / Cancel.
bool TerminalWindow::WarnOkCancel(const std::string& caption, const std::string& text) {
  if (answers_ != Answers::kAsk) return answers_ == Answers::kYes;
  if (!answer_in_ || !prompt_out_) return false;  // nobody to ask: the safe answer
  EndProgress();
  if (!caption.empty()) *prompt_out_ << caption << ":\n";
  std::string shown = text;
  std::ranges::replace(shown, '\r', '\n');  // the dialogs break lines with CRs
  *prompt_out_ << shown << " [y/N] " << std::flush;
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
