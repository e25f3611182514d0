// Plain statistics over rates: the median with its confidence interval, and the verdict of a
// comparison between two runs' intervals.
#pragma once

#include <cstddef>
#include <span>

namespace rastro {

inline constexpr double kConfidence = 0.95;

struct RateSummary {
  std::size_t count = 0;
  double median = 0;
  double minimum = 0;
  double maximum = 0;
  // The interval around the median and the probability that it holds the true median. With
  // fewer than six rates no interval reaches 95 %; [minimum, maximum] is given with its own
  // (lower) coverage then.
  double low = 0;
  double high = 0;
  double coverage = 0;

  bool HasConfidentInterval() const { return count > 0 && coverage >= kConfidence; }
};

// The middle value; the mean of the two middle values for an even count. 0 for no values.
double Median(std::span<const double> values);

RateSummary Summarise(std::span<const double> rates);

enum class Verdict { kFaster, kSlower, kNoClearDifference };

const char* VerdictName(Verdict verdict);  // "faster", "slower", "no clear difference"

// `other` against `base`: faster when its whole interval lies above base's, slower when wholly
// below; intervals that touch or overlap, or either of them short of 95 % coverage, make no
// clear difference.
Verdict Judge(const RateSummary& base, const RateSummary& other);

}  // namespace rastro
