// One self-contained HTML page for one or more runs: a bar chart of every test's median with
// its interval, the comparison table, each run's record and, for a single run, every pass's
// rate. Nothing is fetched from elsewhere; the chart is inline SVG. Fits a phone and prints.
#pragma once

#include <string>
#include <vector>

#include "RunRecord.h"

namespace rastro {

std::string HtmlReport(const std::vector<RunRecord>& runs);

std::string EscapeHtml(const std::string& text);

}  // namespace rastro
