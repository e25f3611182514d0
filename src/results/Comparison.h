// Runs side by side, test by test: each run's median with its interval, the ratio to the first
// run and the verdict. Text, HTML and the --fail-slower check all read this one model.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "RunRecord.h"
#include "Statistics.h"

namespace rastro {

struct ComparisonCell {
  bool measured = false;  // false: the run has no rate for this test
  TestStatus status = TestStatus::kNotRun;
  RateSummary summary;
  double ratio = 0;  // median / the first run's median; 0 when either is missing
  Verdict verdict = Verdict::kNoClearDifference;
};

struct ComparisonRow {
  std::string test;
  std::vector<ComparisonCell> cells;  // one per run, in the order given
};

struct Comparison {
  std::vector<const RunRecord*> runs;
  std::vector<ComparisonRow> rows;  // tests in the order of the first run that has them
  bool anyShortInterval = false;    // some interval has less than 95 % coverage
};

Comparison Compare(const std::vector<RunRecord>& runs);

struct Slowdown {
  std::string test;
  std::int64_t runId = 0;
  double ratio = 0;
};

// Tests that are slower than the first run with a clear difference and by more than `percent`.
std::vector<Slowdown> SlowerThan(const Comparison& comparison, double percent);

}  // namespace rastro
