#include "CsvExport.h"

#include "SqlConnection.h"
#include "Statistics.h"

namespace rastro {

namespace {

std::string Field(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

void AppendLine(std::string& out, const std::vector<std::string>& fields) {
  for (std::size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) out += ',';
    out += Field(fields[i]);
  }
  out += "\r\n";
}

}  // namespace

std::string CsvExport(const std::vector<RunRecord>& runs) {
  std::string out;
  AppendLine(out, {"run_id", "uuid",   "started_utc", "adapter",        "gl_renderer", "driver_version",
                   "width",  "height", "back_buffer", "depth",          "refresh_hz",  "seconds",
                   "runs",   "test",   "status",      "failure_reason", "passes",      "median",
                   "low",    "high",   "coverage",    "minimum",        "maximum",     "pass_rates"});
  for (const RunRecord& run : runs) {
    const RunSettingsRecord& s = run.settings;
    for (const TestRecord& test : run.tests) {
      std::vector<std::string> fields{std::to_string(run.id),
                                      run.uuid,
                                      run.startedUtc,
                                      run.adapter.description,
                                      run.adapter.glRenderer,
                                      run.adapter.driverVersion,
                                      std::to_string(s.width),
                                      std::to_string(s.height),
                                      s.backBufferFormat,
                                      s.depthFormat,
                                      std::to_string(s.refreshRate),
                                      ExactText(s.seconds),
                                      std::to_string(s.runs),
                                      test.name,
                                      TestStatusName(test.status),
                                      test.failureReason,
                                      std::to_string(test.passRates.size())};
      if (test.passRates.empty()) {
        fields.resize(fields.size() + 7);
      } else {
        const RateSummary summary = Summarise(test.passRates);
        std::string rates;
        for (double rate : test.passRates) {
          if (!rates.empty()) rates += ';';
          rates += ExactText(rate);
        }
        for (double value :
             {summary.median, summary.low, summary.high, summary.coverage, summary.minimum, summary.maximum}) {
          fields.push_back(ExactText(value));
        }
        fields.push_back(rates);
      }
      AppendLine(out, fields);
    }
  }
  return out;
}

}  // namespace rastro
