#include "Statistics.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace rastro {

namespace {

// P(X <= k) for X ~ Binomial(n, 1/2).
double BinomialHalfCdf(std::size_t n, std::size_t k) {
  double sum = 0;
  const double logHalfPower = -static_cast<double>(n) * std::log(2.0);
  for (std::size_t i = 0; i <= k; ++i) {
    const double logChoose = std::lgamma(static_cast<double>(n) + 1) - std::lgamma(static_cast<double>(i) + 1) -
                             std::lgamma(static_cast<double>(n - i) + 1);
    sum += std::exp(logChoose + logHalfPower);
  }
  return sum;
}

}  // namespace

double Median(std::span<const double> values) {
  if (values.empty()) return 0;
  std::vector<double> sorted(values.begin(), values.end());
  std::sort(sorted.begin(), sorted.end());
  const std::size_t middle = sorted.size() / 2;
  return sorted.size() % 2 ? sorted[middle] : (sorted[middle - 1] + sorted[middle]) / 2;
}

// The interval is the distribution-free order-statistic one: [x(k), x(n+1-k)] holds the true
// median with probability 1 - 2 P(Binomial(n, 1/2) <= k - 1), whatever the rates' distribution.
// A bootstrap was the other choice, but passes are few (3 to 10 is usual) and their rates skewed
// or bimodal when the machine is shared; the bootstrap distribution of a median of so few values
// takes only a handful of values, so its interval is too narrow, and it is random. The
// order-statistic interval is exact for any continuous distribution and the same on every run.
RateSummary Summarise(std::span<const double> rates) {
  RateSummary summary;
  summary.count = rates.size();
  if (rates.empty()) return summary;
  std::vector<double> sorted(rates.begin(), rates.end());
  std::sort(sorted.begin(), sorted.end());
  const std::size_t n = sorted.size();
  summary.median = Median(sorted);
  summary.minimum = sorted.front();
  summary.maximum = sorted.back();
  // The narrowest symmetric pair that still reaches the confidence, else the widest there is.
  std::size_t k = 1;
  double coverage = 1 - 2 * BinomialHalfCdf(n, 0);
  while (k + 1 <= n / 2) {
    const double next = 1 - 2 * BinomialHalfCdf(n, k);
    if (next < kConfidence) break;
    ++k;
    coverage = next;
  }
  summary.low = sorted[k - 1];
  summary.high = sorted[n - k];
  summary.coverage = std::max(0.0, coverage);
  return summary;
}

const char* VerdictName(Verdict verdict) {
  switch (verdict) {
    case Verdict::kFaster: return "faster";
    case Verdict::kSlower: return "slower";
    default: return "no clear difference";
  }
}

Verdict Judge(const RateSummary& base, const RateSummary& other) {
  if (!base.HasConfidentInterval() || !other.HasConfidentInterval()) return Verdict::kNoClearDifference;
  if (other.low > base.high) return Verdict::kFaster;
  if (other.high < base.low) return Verdict::kSlower;
  return Verdict::kNoClearDifference;
}

}  // namespace rastro
