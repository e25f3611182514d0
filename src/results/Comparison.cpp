#include "Comparison.h"

#include <algorithm>

namespace rastro {

namespace {

const TestRecord* FindTest(const RunRecord& run, const std::string& name) {
  const auto found =
      std::find_if(run.tests.begin(), run.tests.end(), [&](const TestRecord& test) { return test.name == name; });
  return found == run.tests.end() ? nullptr : &*found;
}

}  // namespace

Comparison Compare(const std::vector<RunRecord>& runs) {
  Comparison comparison;
  for (const RunRecord& run : runs) comparison.runs.push_back(&run);
  std::vector<std::string> names;
  for (const RunRecord& run : runs) {
    for (const TestRecord& test : run.tests) {
      if (std::find(names.begin(), names.end(), test.name) == names.end()) names.push_back(test.name);
    }
  }
  for (const std::string& name : names) {
    ComparisonRow row{name, {}};
    for (const RunRecord& run : runs) {
      ComparisonCell cell;
      const TestRecord* test = FindTest(run, name);
      if (test) cell.status = test->status;
      if (test && !test->passRates.empty()) {
        cell.measured = true;
        cell.summary = Summarise(test->passRates);
        comparison.anyShortInterval = comparison.anyShortInterval || !cell.summary.HasConfidentInterval();
      }
      row.cells.push_back(cell);
    }
    const ComparisonCell& base = row.cells.front();
    for (std::size_t i = 1; i < row.cells.size(); ++i) {
      ComparisonCell& cell = row.cells[i];
      if (!base.measured || !cell.measured) continue;
      if (base.summary.median > 0) cell.ratio = cell.summary.median / base.summary.median;
      cell.verdict = Judge(base.summary, cell.summary);
    }
    comparison.rows.push_back(std::move(row));
  }
  return comparison;
}

std::vector<Slowdown> SlowerThan(const Comparison& comparison, double percent) {
  std::vector<Slowdown> slower;
  const double limit = 1 - percent / 100;
  for (const ComparisonRow& row : comparison.rows) {
    for (std::size_t i = 1; i < row.cells.size(); ++i) {
      const ComparisonCell& cell = row.cells[i];
      if (cell.verdict == Verdict::kSlower && cell.ratio < limit) {
        slower.push_back({row.test, comparison.runs[i]->id, cell.ratio});
      }
    }
  }
  return slower;
}

}  // namespace rastro
