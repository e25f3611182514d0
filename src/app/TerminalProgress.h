// Progress on standard output: every results line once it is complete and, on a terminal, the
// current test with its measured seconds redrawn in place. Elsewhere (a pipe, a file, a CI log)
// nothing is redrawn, so the output reads as plain lines.
#pragma once

#include <cstdio>
#include <string>

#include "ResultsFile.h"
#include "RunSequence.h"

namespace rastro {

class TerminalProgress final : public RunObserver, public ResultsEcho {
 public:
  TerminalProgress(std::FILE* out, bool onTerminal) : out_(out), onTerminal_(onTerminal) {}
  ~TerminalProgress() override;

  void Measured(const char* testName, double seconds, double interval) override;
  void Written(const std::string& text) override;

 private:
  void ClearStatus();

  std::FILE* out_;
  bool onTerminal_;
  std::string pendingLine_;
  long shownTenths_ = -1;
  bool statusShown_ = false;
};

}  // namespace rastro
