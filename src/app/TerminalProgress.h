// Progress on standard output: every results line once it is complete and, on a terminal, the
// current test redrawn in place from the moment it starts: loading, warming up, then its
// measured seconds. Elsewhere (a pipe, a file, a CI log) nothing is redrawn, so the output
// reads as plain lines. Why a test failed goes to the error stream, one line per test.
#pragma once

#include <cstdio>
#include <string>

#include "ResultsFile.h"
#include "RunSequence.h"

namespace rastro {

class TerminalProgress final : public RunObserver, public ResultsEcho {
 public:
  TerminalProgress(std::FILE* out, std::FILE* err, bool onTerminal) : out_(out), err_(err), onTerminal_(onTerminal) {}
  ~TerminalProgress() override;

  void Loading(const char* testName) override;
  void WarmingUp(const char* testName) override;
  void Measured(const char* testName, double seconds, double interval) override;
  void Failed(const char* testName, const std::string& reason) override;
  void Written(const std::string& text) override;

 private:
  // Shows `status` in place of the one shown, unless it is the same.
  void ShowStatus(const std::string& status);
  void ClearStatus();

  std::FILE* out_;
  std::FILE* err_;
  bool onTerminal_;
  std::string pendingLine_;
  std::string shownStatus_;
};

}  // namespace rastro
