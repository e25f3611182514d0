// `rastrometer results ...`: list, show, compare, report, export and push over a results store.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>

namespace rastro {

struct ResultsCommandEnvironment {
  std::string defaultStore;  // the local store; empty when there is no place for one
  std::FILE* out = stdout;
  std::FILE* err = stderr;
  int busyTimeoutMs = 10000;
};

// `arguments` are those after "results". Returns the exit status: 0 done, 1 a store or run that
// cannot be read (or, for compare --fail-slower, a test slower than allowed), 2 bad usage.
int RunResultsCommand(std::span<const std::string_view> arguments, const ResultsCommandEnvironment& environment);

std::string ResultsUsageText();

}  // namespace rastro
