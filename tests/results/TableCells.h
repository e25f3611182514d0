// Reading back the aligned tables of the `results` commands: the cells of one line.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace rastro::testing {

// The cells of the first line of `text` that starts with `first` (after any padding), split at
// runs of two or more spaces; empty when there is no such line.
inline std::vector<std::string> Cells(const std::string& text, const std::string& first) {
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::size_t start = line.find_first_not_of(' ');
    if (start == std::string::npos || line.compare(start, first.size(), first) != 0) continue;
    std::vector<std::string> cells;
    std::size_t at = start;
    while (at < line.size()) {
      std::size_t gap = line.find("  ", at);
      if (gap == std::string::npos) gap = line.size();
      cells.push_back(line.substr(at, gap - at));
      at = line.find_first_not_of(' ', gap);
      if (at == std::string::npos) break;
    }
    return cells;
  }
  return {};
}

}  // namespace rastro::testing
