#include "RecordJson.h"

#include "Statistics.h"

namespace rastro {

namespace {

using nlohmann::json;

constexpr const char* kFormat = "rastrometer-run";
constexpr int kFormatVersion = 1;

template <typename T>
T Field(const json& object, const char* name, const char* where) {
  const auto found = object.find(name);
  if (found == object.end()) throw std::runtime_error(std::string(where) + "." + name + " is missing");
  try {
    return found->get<T>();
  } catch (const json::exception&) {
    throw std::runtime_error(std::string(where) + "." + name + " has the wrong type");
  }
}

const json& Object(const json& object, const char* name, const char* where) {
  const auto found = object.find(name);
  if (found == object.end() || !found->is_object()) {
    throw std::runtime_error(std::string(where) + "." + name + " is missing or not an object");
  }
  return *found;
}

}  // namespace

json ToJson(const RunRecord& record) {
  json tests = json::array();
  for (const TestRecord& test : record.tests) {
    json entry{{"name", test.name},
               {"pixelFactor", test.pixelFactor},
               {"status", TestStatusName(test.status)},
               {"passRates", test.passRates},
               {"frameRates", test.frameRates}};
    if (test.status == TestStatus::kFailed) entry["failureReason"] = test.failureReason;
    if (!test.passRates.empty()) {
      const RateSummary summary = Summarise(test.passRates);
      entry["median"] = summary.median;
      entry["minimum"] = summary.minimum;
      entry["maximum"] = summary.maximum;
      entry["interval"] = {{"low", summary.low}, {"high", summary.high}, {"coverage", summary.coverage}};
    }
    tests.push_back(std::move(entry));
  }
  const RunSettingsRecord& s = record.settings;
  const AdapterRecord& a = record.adapter;
  const MachineRecord& m = record.machine;
  json out{{"format", kFormat},
           {"formatVersion", kFormatVersion},
           {"uuid", record.uuid},
           {"programVersion", record.programVersion},
           {"startedUtc", record.startedUtc},
           {"settings",
            {{"adapter", s.adapter},
             {"width", s.width},
             {"height", s.height},
             {"refreshRate", s.refreshRate},
             {"backBufferFormat", s.backBufferFormat},
             {"depthFormat", s.depthFormat},
             {"seconds", s.seconds},
             {"runs", s.runs}}},
           {"adapter",
            {{"description", a.description},
             {"driver", a.driver},
             {"driverVersion", a.driverVersion},
             {"vendorId", a.vendorId},
             {"deviceId", a.deviceId},
             {"glVendor", a.glVendor},
             {"glRenderer", a.glRenderer},
             {"glVersion", a.glVersion}}},
           {"machine",
            {{"cpuModel", m.cpuModel},
             {"cores", m.cores},
             {"memoryBytes", m.memoryBytes},
             {"kernel", m.kernel},
             {"distribution", m.distribution}}},
           {"dataDirectory", record.dataDirectory},
           {"tests", std::move(tests)}};
  if (record.id != 0) out["id"] = record.id;
  return out;
}

RunRecord RecordFromJson(const json& in) {
  if (!in.is_object()) throw std::runtime_error("a run record is a JSON object");
  if (Field<std::string>(in, "format", "record") != kFormat) throw std::runtime_error("not a Rastrometer run record");
  if (Field<int>(in, "formatVersion", "record") > kFormatVersion) {
    throw std::runtime_error("the record was written by a newer Rastrometer");
  }
  RunRecord record;
  if (in.contains("id")) record.id = Field<std::int64_t>(in, "id", "record");
  record.uuid = Field<std::string>(in, "uuid", "record");
  record.programVersion = Field<std::string>(in, "programVersion", "record");
  record.startedUtc = Field<std::string>(in, "startedUtc", "record");
  record.dataDirectory = Field<std::string>(in, "dataDirectory", "record");

  const json& s = Object(in, "settings", "record");
  record.settings.adapter = Field<unsigned>(s, "adapter", "settings");
  record.settings.width = Field<unsigned>(s, "width", "settings");
  record.settings.height = Field<unsigned>(s, "height", "settings");
  record.settings.refreshRate = Field<unsigned>(s, "refreshRate", "settings");
  record.settings.backBufferFormat = Field<std::string>(s, "backBufferFormat", "settings");
  record.settings.depthFormat = Field<std::string>(s, "depthFormat", "settings");
  record.settings.seconds = Field<double>(s, "seconds", "settings");
  record.settings.runs = Field<unsigned>(s, "runs", "settings");

  const json& a = Object(in, "adapter", "record");
  record.adapter.description = Field<std::string>(a, "description", "adapter");
  record.adapter.driver = Field<std::string>(a, "driver", "adapter");
  record.adapter.driverVersion = Field<std::string>(a, "driverVersion", "adapter");
  record.adapter.vendorId = Field<unsigned>(a, "vendorId", "adapter");
  record.adapter.deviceId = Field<unsigned>(a, "deviceId", "adapter");
  record.adapter.glVendor = Field<std::string>(a, "glVendor", "adapter");
  record.adapter.glRenderer = Field<std::string>(a, "glRenderer", "adapter");
  record.adapter.glVersion = Field<std::string>(a, "glVersion", "adapter");

  const json& m = Object(in, "machine", "record");
  record.machine.cpuModel = Field<std::string>(m, "cpuModel", "machine");
  record.machine.cores = Field<unsigned>(m, "cores", "machine");
  record.machine.memoryBytes = Field<std::uint64_t>(m, "memoryBytes", "machine");
  record.machine.kernel = Field<std::string>(m, "kernel", "machine");
  record.machine.distribution = Field<std::string>(m, "distribution", "machine");

  const auto tests = in.find("tests");
  if (tests == in.end() || !tests->is_array()) throw std::runtime_error("record.tests is missing or not an array");
  for (const json& t : *tests) {
    if (!t.is_object()) throw std::runtime_error("a test entry is not an object");
    TestRecord test;
    test.name = Field<std::string>(t, "name", "test");
    test.pixelFactor = Field<unsigned>(t, "pixelFactor", "test");
    if (!ParseTestStatus(Field<std::string>(t, "status", "test"), test.status)) {
      throw std::runtime_error("test " + test.name + ": unknown status");
    }
    if (test.status == TestStatus::kFailed) test.failureReason = Field<std::string>(t, "failureReason", "test");
    test.passRates = Field<std::vector<double>>(t, "passRates", "test");
    test.frameRates = Field<std::vector<std::vector<double>>>(t, "frameRates", "test");
    if (test.frameRates.size() > test.passRates.size()) {
      throw std::runtime_error("test " + test.name + ": more frame lists than passes");
    }
    record.tests.push_back(std::move(test));
  }
  return record;
}

}  // namespace rastro
