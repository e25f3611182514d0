// Runs as CSV (RFC 4180): one line per test of every run, for spreadsheets and scripts.
#pragma once

#include <string>
#include <vector>

#include "RunRecord.h"

namespace rastro {

std::string CsvExport(const std::vector<RunRecord>& runs);

}  // namespace rastro
