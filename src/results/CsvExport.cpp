#include "CsvExport.h"

#include <charconv>

#include "Statistics.h"

namespace rastro {

namespace {

std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// The shortest text that reads back as the same double.
std::string Exact(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

}  // namespace

std::string CsvExport(const std::vector<RunRecord>& runs) {
  std::string out =
      "run_id,uuid,started_utc,adapter,gl_renderer,driver_version,width,height,back_buffer,depth,refresh_hz,"
      "seconds,runs,test,status,failure_reason,passes,median,low,high,coverage,minimum,maximum,pass_rates\r\n";
  for (const RunRecord& run : runs) {
    const RunSettingsRecord& s = run.settings;
    const std::string common = std::to_string(run.id) + "," + Field(run.uuid) + "," + Field(run.startedUtc) + "," +
                               Field(run.adapter.description) + "," + Field(run.adapter.glRenderer) + "," +
                               Field(run.adapter.driverVersion) + "," + std::to_string(s.width) + "," +
                               std::to_string(s.height) + "," + Field(s.backBufferFormat) + "," + Field(s.depthFormat) +
                               "," + std::to_string(s.refreshRate) + "," + Exact(s.seconds) + "," +
                               std::to_string(s.runs);
    for (const TestRecord& test : run.tests) {
      std::string line = common + "," + Field(test.name) + "," + TestStatusName(test.status) + "," +
                         Field(test.failureReason) + "," + std::to_string(test.passRates.size());
      if (test.passRates.empty()) {
        line += ",,,,,,,";
      } else {
        const RateSummary summary = Summarise(test.passRates);
        std::string rates;
        for (double rate : test.passRates) rates += (rates.empty() ? "" : ";") + Exact(rate);
        line += "," + Exact(summary.median) + "," + Exact(summary.low) + "," + Exact(summary.high) + "," +
                Exact(summary.coverage) + "," + Exact(summary.minimum) + "," + Exact(summary.maximum) + "," + rates;
      }
      out += line + "\r\n";
    }
  }
  return out;
}

}  // namespace rastro
