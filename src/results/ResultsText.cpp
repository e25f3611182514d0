#include "ResultsText.h"

#include <charconv>

namespace rastro {

std::string FormatNumber(double value, int decimals) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
  return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("?");
}

std::string IntervalText(const RateSummary& summary) {
  std::string text = std::string("[") + FormatNumber(summary.low) + ", " + FormatNumber(summary.high) + "]";
  if (!summary.HasConfidentInterval()) text += "~";
  return text;
}

std::string StartedText(const std::string& startedUtc) {
  std::string text = startedUtc;
  if (text.size() > 10 && text[10] == 'T') text[10] = ' ';
  if (!text.empty() && text.back() == 'Z') text.pop_back();
  return text;
}

std::string AlignColumns(const std::vector<std::vector<std::string>>& rows, const std::vector<bool>& rightAligned) {
  std::vector<std::size_t> widths;
  for (const auto& row : rows) {
    if (widths.size() < row.size()) widths.resize(row.size(), 0);
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  }
  std::string out;
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      const std::string padding(widths[c] - row[c].size(), ' ');
      const bool right = c < rightAligned.size() && rightAligned[c];
      if (c > 0) line += "  ";
      line += right ? padding + row[c] : row[c] + (c + 1 < row.size() ? padding : "");
    }
    out += line + "\n";
  }
  return out;
}

std::string ListText(const std::vector<RunListing>& runs) {
  if (runs.empty()) return "No runs.\n";
  std::vector<std::vector<std::string>> rows{{"ID", "Started (UTC)", "Adapter", "Renderer", "Mode", "Runs", "Tests"}};
  for (const RunListing& run : runs) {
    rows.push_back({std::to_string(run.id), StartedText(run.startedUtc), run.adapter, run.renderer, run.mode,
                    std::to_string(run.runs), run.summary});
  }
  return AlignColumns(rows, {true, false, false, false, false, true, false});
}

std::vector<std::pair<std::string, std::string>> RecordFacts(const RunRecord& record) {
  const RunSettingsRecord& s = record.settings;
  const AdapterRecord& a = record.adapter;
  const MachineRecord& m = record.machine;
  char ids[32];
  std::snprintf(ids, sizeof ids, "0x%04X / 0x%04X", a.vendorId, a.deviceId);
  return {
      {"Run", std::to_string(record.id) + " (" + record.uuid + ")"},
      {"Started (UTC)", StartedText(record.startedUtc)},
      {"Program version", record.programVersion},
      {"Adapter", std::to_string(s.adapter) + ": " + a.description},
      {"Driver", a.driver + " " + a.driverVersion},
      {"Vendor / device", ids},
      {"OpenGL", a.glVendor + " | " + a.glRenderer + " | " + a.glVersion},
      {"Mode", ModeText(s)},
      {"Measured",
       FormatNumber(s.seconds, 2) + " s per test, " + std::to_string(s.runs) + " pass" + (s.runs == 1 ? "" : "es")},
      {"CPU", m.cpuModel + " (" + std::to_string(m.cores) + " cores)"},
      {"Memory", FormatNumber(static_cast<double>(m.memoryBytes) / (1024.0 * 1024.0 * 1024.0), 1) + " GiB"},
      {"System", m.distribution + ", kernel " + m.kernel},
      {"Data folder", record.dataDirectory},
      {"Tests", RunSummary(record)},
  };
}

std::string ShowText(const RunRecord& record) {
  std::string out;
  std::vector<std::vector<std::string>> facts;
  for (auto& [key, value] : RecordFacts(record)) facts.push_back({key + ":", value});
  out += AlignColumns(facts, {});
  out += "\n";
  std::vector<std::vector<std::string>> rows{
      {"Test", "Status", "Median", "95% interval", "Min", "Max", "Pass rates (M pixels/s)"}};
  bool shortInterval = false;
  for (const TestRecord& test : record.tests) {
    std::vector<std::string> row{test.name, TestStatusName(test.status)};
    if (test.passRates.empty()) {
      row.insert(row.end(), {"-", "-", "-", "-", test.status == TestStatus::kFailed ? test.failureReason : ""});
    } else {
      const RateSummary summary = Summarise(test.passRates);
      shortInterval = shortInterval || !summary.HasConfidentInterval();
      std::string passes;
      for (double rate : test.passRates) {
        if (!passes.empty()) passes += ' ';
        passes += FormatNumber(rate);
      }
      if (test.status == TestStatus::kFailed) passes += " (failed: " + test.failureReason + ")";
      row.insert(row.end(), {FormatNumber(summary.median), IntervalText(summary), FormatNumber(summary.minimum),
                             FormatNumber(summary.maximum), passes});
    }
    rows.push_back(std::move(row));
  }
  out += AlignColumns(rows, {false, false, true, true, true, true, false});
  if (shortInterval) out += std::string("\n") + kShortIntervalNote;
  return out;
}

std::string CompareText(const Comparison& comparison) {
  std::string out;
  for (std::size_t i = 0; i < comparison.runs.size(); ++i) {
    const RunRecord& run = *comparison.runs[i];
    out += std::string("#") + std::to_string(run.id) + "  " + StartedText(run.startedUtc) + "  " +
           run.adapter.description + "  " + ModeText(run.settings) + "  " + std::to_string(run.settings.runs) +
           " pass" + (run.settings.runs == 1 ? "" : "es") + (i == 0 ? "  (base)" : "") + "\n";
  }
  out += "\n";
  std::vector<std::string> header{"Test"};
  std::vector<bool> right{false};
  for (std::size_t i = 0; i < comparison.runs.size(); ++i) {
    const std::string id = std::string("#") + std::to_string(comparison.runs[i]->id);
    header.insert(header.end(), {id + " median", "95% interval"});
    right.insert(right.end(), {true, true});
    if (i > 0) {
      header.insert(header.end(), {"ratio", "verdict"});
      right.insert(right.end(), {true, false});
    }
  }
  std::vector<std::vector<std::string>> rows{header};
  for (const ComparisonRow& row : comparison.rows) {
    std::vector<std::string> line{row.test};
    for (std::size_t i = 0; i < row.cells.size(); ++i) {
      const ComparisonCell& cell = row.cells[i];
      if (cell.measured) {
        line.insert(line.end(), {FormatNumber(cell.summary.median), IntervalText(cell.summary)});
      } else {
        line.insert(line.end(), {TestStatusName(cell.status), "-"});
      }
      if (i == 0) continue;
      if (cell.ratio > 0) {
        line.insert(line.end(), {FormatNumber(cell.ratio, 3), VerdictName(cell.verdict)});
      } else {
        line.insert(line.end(), {"-", "-"});
      }
    }
    rows.push_back(std::move(line));
  }
  out += AlignColumns(rows, right);
  out +=
      "\nRates in M pixels/s. A run is faster or slower than the base run when the 95 % intervals of their "
      "medians do not overlap.\n";
  if (comparison.anyShortInterval) out += kShortIntervalNote;
  return out;
}

}  // namespace rastro
