// The plain-text forms of `results list`, `show` and `compare`: aligned tables for a terminal.
#pragma once

#include <string>
#include <vector>

#include "Comparison.h"
#include "ResultStore.h"
#include "RunRecord.h"

namespace rastro {

// A rate with `decimals` digits after the point, always with a point whatever the locale.
std::string FormatNumber(double value, int decimals = 1);
// "[1200.1, 1250.3]", with a "~" after it when the interval covers less than 95 %.
std::string IntervalText(const RateSummary& summary);
// "2024-05-01 12:34:56" from "2024-05-01T12:34:56Z".
std::string StartedText(const std::string& startedUtc);

std::string ListText(const std::vector<RunListing>& runs);
std::string ShowText(const RunRecord& record);
std::string CompareText(const Comparison& comparison);

// The key facts of a run, in the order `show` and the HTML report give them.
std::vector<std::pair<std::string, std::string>> RecordFacts(const RunRecord& record);

// Lines of fixed-width columns; a column is right-aligned when `rightAligned` says so.
std::string AlignColumns(const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& rightAligned);

inline constexpr char kShortIntervalNote[] =
    "~ fewer than 6 passes: the interval is the whole range and holds the median with less than 95 % "
    "probability, so it gives no verdict (use --runs 6 or more).\n";

}  // namespace rastro
