#include <gtest/gtest.h>

#include <vector>

#include "Statistics.h"

namespace rastro {
namespace {

TEST(StatisticsTest, MedianOfOddEvenAndUnsortedRates) {
  struct Case {
    std::vector<double> rates;
    double median;
  };
  const Case cases[] = {
      {{}, 0}, {{7}, 7}, {{3, 1, 2}, 2}, {{4, 1, 3, 2}, 2.5}, {{10, 10, 1, 1000}, 10}, {{5, 9, 1, 7, 3, 11}, 6},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(Median(c.rates), c.median) << ::testing::PrintToString(c.rates);
}

// Interval ends and coverage worked out by hand from the binomial distribution with p = 1/2:
// coverage of [x(k), x(n+1-k)] = 1 - 2 * sum_{i<k} C(n, i) / 2^n.
TEST(StatisticsTest, OrderStatisticIntervalOfTheMedian) {
  struct Case {
    std::size_t n;
    std::size_t lowRank;  // 1-based rank of the low end; the high end is n + 1 - lowRank
    double coverage;
  };
  const Case cases[] = {
      {1, 1, 0.0},                         // a single pass has no spread at all
      {2, 1, 0.5},                         // 1 - 2/4
      {3, 1, 0.75},                        // 1 - 2/8
      {5, 1, 0.9375},                      // 1 - 2/32: still short of 95 %
      {6, 1, 0.96875},                     // 1 - 2/64: the fewest passes that reach 95 %
      {9, 2, 1 - 2 * 10.0 / 512},          // k = 3 would give 1 - 2*46/512 = 0.82
      {10, 2, 1 - 2 * 11.0 / 1024},        // k = 3 would give 1 - 2*56/1024 = 0.89
      {20, 6, 1 - 2 * 21700.0 / 1048576},  // sum of C(20, 0..5) = 1+20+190+1140+4845+15504
  };
  for (const Case& c : cases) {
    // Rates 100, 101, ... given in reverse so that sorting matters.
    std::vector<double> rates;
    for (std::size_t i = c.n; i > 0; --i) rates.push_back(99.0 + static_cast<double>(i));
    const RateSummary s = Summarise(rates);
    EXPECT_EQ(s.count, c.n);
    EXPECT_DOUBLE_EQ(s.low, 99.0 + static_cast<double>(c.lowRank)) << "n = " << c.n;
    EXPECT_DOUBLE_EQ(s.high, 99.0 + static_cast<double>(c.n + 1 - c.lowRank)) << "n = " << c.n;
    EXPECT_NEAR(s.coverage, c.coverage, 1e-12) << "n = " << c.n;
    EXPECT_EQ(s.HasConfidentInterval(), c.coverage >= 0.95) << "n = " << c.n;
    EXPECT_DOUBLE_EQ(s.minimum, 100.0);
    EXPECT_DOUBLE_EQ(s.maximum, 99.0 + static_cast<double>(c.n));
    EXPECT_DOUBLE_EQ(s.median, 99.0 + (static_cast<double>(c.n) + 1) / 2);
  }
}

TEST(StatisticsTest, VerdictAtTheEdgesOfTheIntervals) {
  const auto summary = [](double low, double high, double coverage = 0.96875) {
    RateSummary s;
    s.count = 6;
    s.low = low;
    s.high = high;
    s.median = (low + high) / 2;
    s.coverage = coverage;
    return s;
  };
  const RateSummary base = summary(100, 110);
  struct Case {
    const char* what;
    RateSummary other;
    Verdict verdict;
  };
  const Case cases[] = {
      {"wholly above", summary(110.001, 120), Verdict::kFaster},
      {"touching from above", summary(110, 120), Verdict::kNoClearDifference},
      {"overlapping", summary(105, 115), Verdict::kNoClearDifference},
      {"inside", summary(101, 102), Verdict::kNoClearDifference},
      {"touching from below", summary(90, 100), Verdict::kNoClearDifference},
      {"wholly below", summary(90, 99.999), Verdict::kSlower},
      {"below, but too few passes", summary(50, 60, 0.9375), Verdict::kNoClearDifference},
  };
  for (const Case& c : cases) EXPECT_EQ(Judge(base, c.other), c.verdict) << c.what;
  EXPECT_EQ(Judge(summary(100, 110, 0.75), summary(200, 210)), Verdict::kNoClearDifference);
  EXPECT_EQ(Judge(RateSummary{}, summary(200, 210)), Verdict::kNoClearDifference);
}

}  // namespace
}  // namespace rastro
