#include "TerminalProgress.h"

#include <cmath>

namespace rastro {

TerminalProgress::~TerminalProgress() {
  ClearStatus();
  // A line cut short by Escape is shown as it stands in the file.
  if (!pendingLine_.empty()) std::fprintf(out_, "%s\n", pendingLine_.c_str());
  std::fflush(out_);
}

void TerminalProgress::ShowStatus(const std::string& status) {
  if (!onTerminal_ || status == shownStatus_) return;
  std::fprintf(out_, "\r\033[K%s", status.c_str());
  std::fflush(out_);
  shownStatus_ = status;
}

void TerminalProgress::ClearStatus() {
  if (shownStatus_.empty()) return;
  std::fputs("\r\033[K", out_);
  shownStatus_.clear();
}

void TerminalProgress::Loading(const char* testName) { ShowStatus(std::string(testName) + ": loading"); }

void TerminalProgress::WarmingUp(const char* testName) { ShowStatus(std::string(testName) + ": warming up"); }

void TerminalProgress::Measured(const char* testName, double seconds, double interval) {
  // Tenths only, so a fast test does not flood the terminal.
  char text[64];
  std::snprintf(text, sizeof text, ": %.1f s of %.1f s", std::floor(seconds * 10.0) / 10.0, interval);
  ShowStatus(testName + std::string(text));
}

void TerminalProgress::Failed(const char* testName, const std::string& reason) {
  // Both streams may share the terminal: the status line goes before the message does.
  ClearStatus();
  std::fflush(out_);
  std::fprintf(err_, "rastrometer: %s failed: %s\n", testName, reason.c_str());
  std::fflush(err_);
}

void TerminalProgress::Written(const std::string& text) {
  pendingLine_ += text;
  std::size_t end;
  while ((end = pendingLine_.find('\n')) != std::string::npos) {
    ClearStatus();
    std::fprintf(out_, "%s\n", pendingLine_.substr(0, end).c_str());
    pendingLine_.erase(0, end + 1);
  }
  std::fflush(out_);
}

}  // namespace rastro
