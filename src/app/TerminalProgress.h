// Progress on a terminal: the current test with its measured seconds, and every results line
// once it is complete.
#pragma once

#include <cstdio>
#include <string>

#include "ResultsFile.h"
#include "RunSequence.h"

namespace rastro {

class TerminalProgress final : public RunObserver, public ResultsEcho {
 public:
  explicit TerminalProgress(std::FILE* out) : out_(out) {}
  ~TerminalProgress() override;

  void Measured(const char* testName, double seconds, double interval) override;
  void Written(const std::string& text) override;

 private:
  void ClearStatus();

  std::FILE* out_;
  std::string pendingLine_;
  long shownTenths_ = -1;
  bool statusShown_ = false;
};

}  // namespace rastro
