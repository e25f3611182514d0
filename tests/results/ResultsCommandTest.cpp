#include <gtest/gtest.h>

#include "CapturedOutput.h"
#include "RecordJson.h"
#include "RecordSamples.h"
#include "ResultStore.h"
#include "ResultsCommand.h"
#include "ScratchDirectory.h"
#include "TableCells.h"

namespace rastro::testing {
namespace {

std::vector<double> From(double first, int count) {
  std::vector<double> rates;
  for (int i = 0; i < count; ++i) rates.push_back(first + i);
  return rates;
}

RunRecord TwoTestRun(const std::string& started, std::vector<double> fill, std::vector<double> shader) {
  RunRecord run = SampleRun(NewUuid(), started);
  run.settings.runs = static_cast<unsigned>(fill.size());
  run.tests = {MeasuredTest("FFP - Pure fillrate", std::move(fill)),
               MeasuredTest("PS 2.0 - Simple", std::move(shader))};
  return run;
}

class ResultsCommandTest : public ::testing::Test {
 public:
  ResultsCommandTest() {
    const std::unique_ptr<ResultStore> store = OpenStore(store_);
    // Six passes give 95 % intervals [min, max]; three passes do not reach 95 %.
    a = store->Add(TwoTestRun("2024-05-01T10:00:00Z", From(100, 6), From(200, 6)));  // medians 102.5, 202.5
    b = store->Add(TwoTestRun("2024-05-02T10:00:00Z", From(110, 6), From(180, 6)));  // 112.5, 182.5
    c = store->Add(TwoTestRun("2024-05-03T10:00:00Z", From(90, 3), From(300, 3)));   // 91, 301
    environment.defaultStore = store_;
    environment.out = out.File();
    environment.err = err.File();
  }

  int Command(std::vector<std::string_view> arguments) {
    out.Clear();
    err.Clear();
    return RunResultsCommand(arguments, environment);
  }
  std::string Out() const { return out.Text(); }
  std::string Err() const { return err.Text(); }

  ScratchDirectory scratch;
  std::string store_ = (scratch.Path() / "results.db").string();
  std::int64_t a = 0, b = 0, c = 0;
  CapturedOutput out;
  CapturedOutput err;
  ResultsCommandEnvironment environment;
};

using Row = std::vector<std::string>;

TEST_F(ResultsCommandTest, CompareGivesMediansIntervalsRatiosAndVerdicts) {
  const std::string ids[] = {std::to_string(a), std::to_string(b), std::to_string(c)};
  ASSERT_EQ(Command({"compare", ids[0], ids[1], ids[2]}), 0) << Err();
  const std::string text = Out();
  // 112.5 / 102.5 = 1.0976, 91 / 102.5 = 0.8878; 182.5 / 202.5 = 0.9012, 301 / 202.5 = 1.4864.
  EXPECT_EQ(Cells(text, "FFP - Pure fillrate"),
            (Row{"FFP - Pure fillrate", "102.5", "[100.0, 105.0]", "112.5", "[110.0, 115.0]", "1.098", "faster", "91.0",
                 "[90.0, 92.0]~", "0.888", "no clear difference"}))
      << text;
  EXPECT_EQ(Cells(text, "PS 2.0 - Simple"),
            (Row{"PS 2.0 - Simple", "202.5", "[200.0, 205.0]", "182.5", "[180.0, 185.0]", "0.901", "slower", "301.0",
                 "[300.0, 302.0]~", "1.486", "no clear difference"}))
      << text;
  EXPECT_NE(text.find("fewer than 6 passes"), std::string::npos);

  // For a driver's CI: 9.9 % slower fails a 5 % limit and passes a 10 % one.
  EXPECT_EQ(Command({"compare", ids[0], ids[1], "--fail-slower", "5"}), 1);
  EXPECT_NE(Err().find("PS 2.0 - Simple is slower in run " + ids[1] + ": 0.901 of run " + ids[0]), std::string::npos)
      << Err();
  EXPECT_EQ(Command({"compare", ids[0], ids[1], "--fail-slower=10"}), 0) << Err();
  // Far slower, but with too few passes to be sure: not a failure.
  EXPECT_EQ(Command({"compare", ids[2], ids[0], "--fail-slower", "1"}), 0) << Err();
}

TEST_F(ResultsCommandTest, ListShowAndExportReadTheStore) {
  ASSERT_EQ(Command({"list"}), 0) << Err();
  const std::string list = Out();
  const std::size_t at[] = {list.find(std::to_string(c) + "  2024-05-03 10:00:00"),
                            list.find(std::to_string(b) + "  2024-05-02 10:00:00"),
                            list.find(std::to_string(a) + "  2024-05-01 10:00:00")};
  EXPECT_TRUE(at[0] < at[1] && at[1] < at[2] && at[2] != std::string::npos) << list;
  EXPECT_NE(list.find("llvmpipe (LLVM 15.0.6, 256 bits)"), std::string::npos);
  ASSERT_EQ(Command({"list", "--since", "2024-05-02", "--until", "2024-05-02", "--store", store_}), 0);
  EXPECT_EQ(Out().find(std::to_string(a) + "  2024"), std::string::npos);
  EXPECT_NE(Out().find(std::to_string(b) + "  2024-05-02"), std::string::npos);

  ASSERT_EQ(Command({"show", std::to_string(b)}), 0) << Err();
  EXPECT_EQ(Cells(Out(), "FFP - Pure fillrate"), (Row{"FFP - Pure fillrate", "measured", "112.5", "[110.0, 115.0]",
                                                      "110.0", "115.0", "110.0 111.0 112.0 113.0 114.0 115.0"}))
      << Out();
  ASSERT_EQ(Command({"show", std::to_string(b), "--json"}), 0);
  const std::unique_ptr<ResultStore> store = OpenStore(store_);
  EXPECT_EQ(RecordFromJson(nlohmann::json::parse(Out())), store->Get(b));

  ASSERT_EQ(Command({"export", "--json"}), 0);
  const nlohmann::json all = nlohmann::json::parse(Out());
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0]["id"], c);

  RunRecord quoted = SampleRun(NewUuid());
  const std::int64_t q = store->Add(quoted);
  ASSERT_EQ(Command({"export", "--csv", std::to_string(q)}), 0);
  const std::string csv = Out();
  // Header and three tests, each line ended by CRLF; the reason's quotes doubled, its comma kept.
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 4);
  EXPECT_NE(csv.find(",failed,\"D3DXAssembleShaderFromFileA failed: \"\"ps.1.4\"\" unknown, 'quoted' & <marked>\","),
            std::string::npos)
      << csv;
  EXPECT_NE(csv.find(",FFP - Pure fillrate,measured,,3,0.1,1e-300,1234.5678901234567,0.75,"), std::string::npos) << csv;
}

TEST_F(ResultsCommandTest, BadUsageAndMissingRunsExitClearly) {
  struct Case {
    std::vector<std::string_view> arguments;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{}, 2, "Usage: rastrometer results"},
      {{"frobnicate"}, 2, "unknown results command 'frobnicate'"},
      {{"compare", "1"}, 2, "two or more run IDs"},
      {{"show"}, 2, "takes one run ID"},
      {{"show", "x1"}, 2, "'x1' is not a run ID"},
      {{"list", "--since", "May"}, 2, "--since May: expected a date as YYYY-MM-DD"},
      {{"list", "--html", "x"}, 2, "--html does not go with `results list`"},
      {{"compare", "1", "2", "--fail-slower", "-3"}, 2, "expected a percentage"},
      {{"export"}, 2, "needs one of --json and --csv"},
      {{"report"}, 2, "needs --html"},
      {{"show", "999"}, 1, "no run 999 in SQLite store"},
      {{"list", "--store", "/proc/version/x.db"}, 1, "SQLite store /proc/version/x.db: unable to open"},
  };
  for (const Case& bad : cases) {
    EXPECT_EQ(Command(bad.arguments), bad.status) << bad.message;
    EXPECT_NE(Err().find(bad.message), std::string::npos) << Err();
  }
}

}  // namespace
}  // namespace rastro::testing
