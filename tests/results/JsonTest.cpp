#include <gtest/gtest.h>

#include "RecordJson.h"
#include "RecordSamples.h"
#include "SchemaCheck.h"

namespace rastro::testing {
namespace {

TEST(JsonTest, RecordFollowsTheSchemaAndReadsBackWhole) {
  RunRecord run = SampleRun();
  run.id = 42;
  const nlohmann::json json = ToJson(run);
  std::string problem;
  EXPECT_TRUE(ValidAgainstSchema(json, problem)) << problem;
  EXPECT_EQ(RecordFromJson(nlohmann::json::parse(json.dump())), run);

  // The worked-out figures of the measured test: rates 0.1, 1234.5678901234567 and 1e-300.
  const nlohmann::json& test = json["tests"][0];
  EXPECT_EQ(test["median"], 0.1);
  EXPECT_EQ(test["minimum"], 1e-300);
  EXPECT_EQ(test["maximum"], 1234.5678901234567);
  EXPECT_EQ(test["interval"]["coverage"], 0.75);
  EXPECT_FALSE(json["tests"][1].contains("median"));
  EXPECT_EQ(json["tests"][1]["failureReason"], run.tests[1].failureReason);
  EXPECT_EQ(json["tests"][2]["status"], "not run");
}

TEST(JsonTest, SchemaAndReaderRejectBrokenRecords) {
  struct Case {
    const char* what;
    std::function<void(nlohmann::json&)> breakIt;
    const char* readerSays;
  };
  const Case cases[] = {
      {"unknown status", [](nlohmann::json& j) { j["tests"][0]["status"] = "skipped"; }, "unknown status"},
      {"failed without reason", [](nlohmann::json& j) { j["tests"][1].erase("failureReason"); },
       "test.failureReason is missing"},
      {"rate as text", [](nlohmann::json& j) { j["tests"][0]["passRates"][0] = "fast"; },
       "test.passRates has the wrong type"},
      {"no adapter", [](nlohmann::json& j) { j.erase("adapter"); }, "record.adapter is missing"},
      {"future format", [](nlohmann::json& j) { j["formatVersion"] = 2; }, "newer Rastrometer"},
  };
  for (const Case& c : cases) {
    nlohmann::json json = ToJson(SampleRun());
    c.breakIt(json);
    std::string problem;
    EXPECT_FALSE(ValidAgainstSchema(json, problem)) << c.what;
    try {
      RecordFromJson(json);
      ADD_FAILURE() << c.what << ": read";
    } catch (const std::runtime_error& error) {
      EXPECT_NE(std::string(error.what()).find(c.readerSays), std::string::npos) << error.what();
    }
  }
}

}  // namespace
}  // namespace rastro::testing
