#include "TerminalProgress.h"

#include <cmath>

namespace rastro {

TerminalProgress::~TerminalProgress() {
  ClearStatus();
  // A line cut short by Escape is shown as it stands in the file.
  if (!pendingLine_.empty()) std::fprintf(out_, "%s\n", pendingLine_.c_str());
  std::fflush(out_);
}

void TerminalProgress::ClearStatus() {
  if (!statusShown_) return;
  std::fputs("\r\033[K", out_);
  statusShown_ = false;
}

void TerminalProgress::Measured(const char* testName, double seconds, double interval) {
  if (!onTerminal_) return;
  // Redrawn only when the tenths change, so a fast test does not flood the terminal.
  const long tenths = std::lround(std::floor(seconds * 10.0));
  if (tenths == shownTenths_ && statusShown_) return;
  shownTenths_ = tenths;
  std::fprintf(out_, "\r\033[K%s: %.1f s of %.1f s", testName, static_cast<double>(tenths) / 10.0, interval);
  std::fflush(out_);
  statusShown_ = true;
}

void TerminalProgress::Written(const std::string& text) {
  pendingLine_ += text;
  std::size_t end;
  while ((end = pendingLine_.find('\n')) != std::string::npos) {
    ClearStatus();
    std::fprintf(out_, "%s\n", pendingLine_.substr(0, end).c_str());
    pendingLine_.erase(0, end + 1);
    shownTenths_ = -1;
  }
  std::fflush(out_);
}

}  // namespace rastro
