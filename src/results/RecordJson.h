// The JSON form of a run record (RunRecord.schema.json describes it): what --json and
// `results export --json` write and what `results show --json` prints.
#pragma once

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "RunRecord.h"

namespace rastro {

// The record with each test's median, extremes and interval worked out from its pass rates.
nlohmann::json ToJson(const RunRecord& record);

// Reads a record back; the worked-out figures are ignored. Throws std::runtime_error naming
// the first field that is missing or of the wrong kind.
RunRecord RecordFromJson(const nlohmann::json& json);

}  // namespace rastro
