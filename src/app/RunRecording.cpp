#include "RunRecording.h"

#include <ctime>
#include <filesystem>
#include <fstream>

#include "FillRate.h"
#include "FormatName.h"
#include "RecordJson.h"
#include "ResultStore.h"
#include "RunKeeping.h"
#include "Statistics.h"

namespace rastro {

RunRecording::RunRecording(std::span<const CatalogueRow> catalogue, const D3DPRESENT_PARAMETERS& params,
                           std::int64_t frequency, std::FILE* progress)
    : pixelsPerQuad_(static_cast<double>(params.BackBufferWidth) * static_cast<double>(params.BackBufferHeight) *
                     static_cast<double>(kOneMillionth)),
      frequency_(frequency),
      progress_(progress) {
  for (const CatalogueRow& row : catalogue) {
    TestRecord test;
    test.name = row.name;
    test.pixelFactor = row.pixelFactor;
    record_.tests.push_back(std::move(test));
  }
}

void RunRecording::BeginPass(unsigned pass, unsigned passes) {
  lastPass_ = pass + 1 == passes;
  if (progress_ && passes > 1) {
    std::fprintf(progress_, "Pass %u of %u%s\n", pass + 1, passes,
                 lastPass_ ? " (Results.txt gets each test's median)" : "");
  }
}

void RunRecording::Failed(std::size_t number, const FillTest& test, const std::string& reason) {
  if (number == 0 || number > record_.tests.size()) return;
  TestRecord& entry = record_.tests[number - 1];
  entry.name = test.Name();
  entry.status = TestStatus::kFailed;
  if (entry.failureReason.empty()) entry.failureReason = reason;  // the first pass's reason
}

double RunRecording::Measured(std::size_t number, const FillTest& test, double rate,
                              std::span<const std::int64_t> frameTicks) {
  if (number == 0 || number > record_.tests.size()) return rate;
  TestRecord& entry = record_.tests[number - 1];
  if (entry.status == TestStatus::kNotRun) entry.status = TestStatus::kMeasured;
  entry.passRates.push_back(rate);
  std::vector<double> frames;
  frames.reserve(frameTicks.size());
  const double pixels = static_cast<double>(test.PixelFactor()) * pixelsPerQuad_;
  for (std::int64_t ticks : frameTicks) {
    frames.push_back(ticks > 0 ? pixels * static_cast<double>(frequency_) / static_cast<double>(ticks) : 0.0);
  }
  entry.frameRates.push_back(std::move(frames));
  // With one pass the median is the rate itself, exactly as it has always been written.
  return lastPass_ ? Median(entry.passRates) : rate;
}

void DescribeSettings(RunRecord& record, UINT adapter, const D3DPRESENT_PARAMETERS& params,
                      const D3DADAPTER_IDENTIFIER9& identifier) {
  RunSettingsRecord& s = record.settings;
  s.adapter = adapter;
  s.width = params.BackBufferWidth;
  s.height = params.BackBufferHeight;
  s.refreshRate = params.FullScreen_RefreshRateInHz;
  s.backBufferFormat = FormatName(params.BackBufferFormat);
  s.depthFormat = FormatName(params.AutoDepthStencilFormat);
  AdapterRecord& a = record.adapter;
  a.description.assign(identifier.Description, strnlen(identifier.Description, sizeof identifier.Description));
  a.driver.assign(identifier.Driver, strnlen(identifier.Driver, sizeof identifier.Driver));
  const auto version = static_cast<std::uint64_t>(identifier.DriverVersion.QuadPart);
  a.driverVersion = std::to_string((version >> 48) & 0xFFFF) + "." + std::to_string((version >> 32) & 0xFFFF) + "." +
                    std::to_string((version >> 16) & 0xFFFF) + "." + std::to_string(version & 0xFFFF);
  a.vendorId = identifier.VendorId;
  a.deviceId = identifier.DeviceId;
}

std::string UtcText(std::int64_t secondsSinceEpoch) {
  const auto time = static_cast<std::time_t>(secondsSinceEpoch);
  std::tm utc{};
  gmtime_r(&time, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

bool KeepRecord(const RunRecord& record, const KeepingChoice& choice, std::FILE* out, std::FILE* err) {
  bool complete = true;
  if (!choice.jsonPath.empty()) {
    const std::string partial = choice.jsonPath + ".partial";
    std::ofstream file(partial, std::ios::binary | std::ios::trunc);
    file << ToJson(record).dump(2) << "\n";
    file.close();
    std::error_code error;
    if (file) std::filesystem::rename(partial, choice.jsonPath, error);
    if (!file || error) {
      std::filesystem::remove(partial, error);
      std::fprintf(err, "rastrometer: cannot write %s; the run goes on being recorded\n", choice.jsonPath.c_str());
      complete = false;
    } else {
      std::fprintf(out, "Run record written to %s\n", choice.jsonPath.c_str());
    }
  }
  if (choice.noStore) return complete;
  const std::string store = choice.store.empty() ? choice.defaultStore : choice.store;
  if (store.empty()) return complete;  // no local store where neither HOME nor XDG_DATA_HOME says
  const KeepingOutcome outcome = KeepRun(record, {store, choice.defaultStore, SpoolDirectoryFor(choice.defaultStore)});
  std::string message = outcome.message;
  for (std::size_t at = 0; at < message.size();) {
    const std::size_t end = message.find('\n', at);
    const std::string line = message.substr(at, end - at);
    if (outcome.stored) {
      std::fprintf(out, "%s\n", line.c_str());
    } else {
      std::fprintf(err, "rastrometer: %s\n", line.c_str());
    }
    at = end == std::string::npos ? message.size() : end + 1;
  }
  return complete && outcome.stored;
}

}  // namespace rastro
