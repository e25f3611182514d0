// One benchmark run as it is kept, compared and reported: what was run, on what, and every
// pass's rate of every test.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace rastro {

enum class TestStatus {
  kMeasured,
  kFailed,  // its set-up failed; `failureReason` says why
  kNotRun,  // the run ended (Escape, a closed window) before it
};

const char* TestStatusName(TestStatus status);  // "measured", "failed", "not run"
bool ParseTestStatus(const std::string& name, TestStatus& status);

struct TestRecord {
  std::string name;
  unsigned pixelFactor = 0;
  TestStatus status = TestStatus::kNotRun;
  std::string failureReason;
  // Millions of pixels per second of every pass that measured the test, in pass order.
  std::vector<double> passRates;
  // Per pass of `passRates`: the rate of each counted frame, from that frame's own interval.
  std::vector<std::vector<double>> frameRates;

  bool operator==(const TestRecord&) const = default;
};

struct RunSettingsRecord {
  unsigned adapter = 0;
  unsigned width = 0;
  unsigned height = 0;
  unsigned refreshRate = 0;
  std::string backBufferFormat;
  std::string depthFormat;
  double seconds = 5.0;
  unsigned runs = 1;

  bool operator==(const RunSettingsRecord&) const = default;
};

struct AdapterRecord {
  std::string description;
  std::string driver;
  std::string driverVersion;  // "a.b.c.d"
  unsigned vendorId = 0;
  unsigned deviceId = 0;
  std::string glVendor;
  std::string glRenderer;
  std::string glVersion;

  bool operator==(const AdapterRecord&) const = default;
};

struct MachineRecord {
  std::string cpuModel;
  unsigned cores = 0;
  std::uint64_t memoryBytes = 0;
  std::string kernel;
  std::string distribution;

  bool operator==(const MachineRecord&) const = default;
};

struct RunRecord {
  std::int64_t id = 0;  // given by the store that holds the run; 0 before
  std::string uuid;     // the run's identity across stores: pushing a run twice keeps one copy
  std::string programVersion;
  std::string startedUtc;  // "2024-05-01T12:34:56Z"
  RunSettingsRecord settings;
  AdapterRecord adapter;
  MachineRecord machine;
  std::string dataDirectory;
  std::vector<TestRecord> tests;

  bool operator==(const RunRecord&) const = default;
};

// "16 measured", "14 measured, 1 failed, 1 not run".
std::string RunSummary(const RunRecord& record);

// "1024x768 X8R8G8B8/D24S8 @60Hz".
std::string ModeText(const RunSettingsRecord& settings);

// A random version-4 UUID.
std::string NewUuid();

}  // namespace rastro
