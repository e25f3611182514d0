// Builds the run's record while it runs (every pass's rate and frame rates of every test) and
// keeps it when the run is over: in the results store and, when asked, as a JSON file.
#pragma once

#include <cstdio>
#include <span>
#include <string>

#include "Catalogue.h"
#include "RunRecord.h"
#include "RunSequence.h"
#include "d3d9.h"

namespace rastro {

class RunRecording final : public TestRecorder {
 public:
  // Every test of `catalogue` starts as not run. `frequency` is the clock's, in ticks per second.
  // `progress` (may be null) hears of each pass of a repeated run.
  RunRecording(std::span<const CatalogueRow> catalogue, const D3DPRESENT_PARAMETERS& params, std::int64_t frequency,
               std::FILE* progress);

  // The settings, adapter and machine around the measurements.
  RunRecord& Record() { return record_; }

  void BeginPass(unsigned pass, unsigned passes) override;
  void Failed(std::size_t number, const FillTest& test, const std::string& reason) override;
  // Returns the median of the test's rates so far in the last pass, the pass's own rate before.
  double Measured(std::size_t number, const FillTest& test, double rate,
                  std::span<const std::int64_t> frameTicks) override;

 private:
  RunRecord record_;
  double pixelsPerQuad_;
  std::int64_t frequency_;
  std::FILE* progress_;
  bool lastPass_ = true;
};

// Fills the settings and adapter parts of `record` from the device's parameters and identifier.
void DescribeSettings(RunRecord& record, UINT adapter, const D3DPRESENT_PARAMETERS& params,
                      const D3DADAPTER_IDENTIFIER9& identifier);

// "2024-05-01T12:34:56Z" for `secondsSinceEpoch`.
std::string UtcText(std::int64_t secondsSinceEpoch);

struct KeepingChoice {
  std::string store;         // --store; empty: the local store
  bool noStore = false;      // --no-store
  std::string jsonPath;      // --json; empty: none
  std::string defaultStore;  // the local store; empty: none
};

// Writes the JSON file and records the run; says on `out` where the run went and on `err` what
// failed. Never fails the run: returns whether everything asked for was done.
bool KeepRecord(const RunRecord& record, const KeepingChoice& choice, std::FILE* out, std::FILE* err);

}  // namespace rastro
