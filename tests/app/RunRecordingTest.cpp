#include <gtest/gtest.h>

#include <unistd.h>

#include "CapturedOutput.h"
#include "CatalogueLines.h"
#include "Fakes.h"
#include "MachineProbe.h"
#include "Program.h"
#include "RecordJson.h"
#include "ResultStore.h"
#include "RunRecording.h"
#include "RunSequence.h"
#include "SchemaCheck.h"
#include "ScratchDirectory.h"
#include "TableCells.h"

namespace rastro::testing {
namespace {

class NamedTest final : public FillTest {
 public:
  NamedTest(const char* name, bool initSucceeds) : FillTest({640, 480}), name_(name), initSucceeds_(initSucceeds) {}
  const char* Name() const override { return name_; }
  unsigned PixelFactor() const override { return 32; }
  bool Init(IDirect3DDevice9* device) override {
    BeginInit(device);
    return initSucceeds_ || Fail("texture9.jpg: no such file");
  }
  bool Destroy() override { return true; }

 private:
  const char* name_;
  bool initSucceeds_;
};

std::unique_ptr<FillTest> MakePassing(const CatalogueRow& row, ScreenSize, const TestFiles&) {
  return std::make_unique<NamedTest>(row.name, true);
}
std::unique_ptr<FillTest> MakeFailing(const CatalogueRow& row, ScreenSize, const TestFiles&) {
  return std::make_unique<NamedTest>(row.name, false);
}

// Three passes whose frames take 0.2 s, 0.1 s and 0.4 s: the results file gets each test's
// median over the passes (the first pass's rate here, not the last one's), written in the last
// pass only, and the record keeps every pass and every counted frame.
TEST(RunRecordingTest, RepeatedPassesWriteTheMedianAndKeepEveryPassAndFrame) {
  const CatalogueRow catalogue[] = {{"A", 32, MakePassing}, {"B", 32, MakeFailing}};
  ScratchDirectory scratch;
  CallLog log;
  FakeDevice device{log};
  std::int64_t frameTicks = 0;
  FakeClock clock(1000, [&](int) { return frameTicks; });
  ResultsFile results(scratch.Path() / "Results.txt");
  D3DPRESENT_PARAMETERS params{};
  params.BackBufferWidth = 640;
  params.BackBufferHeight = 480;
  RunRecording recording(catalogue, params, clock.Frequency(), nullptr);

  const std::int64_t passTicks[] = {200, 100, 400};
  for (unsigned pass = 0; pass < 3; ++pass) {
    frameTicks = passTicks[pass];
    results.SetDiscarding(pass < 2);
    recording.BeginPass(pass, 3);
    RunSequence sequence(device, 2,
                         [&](std::size_t index) {
                           return catalogue[index].create(catalogue[index], {640, 480}, {});
                         },
                         results, clock, {{640, 480}, 3, 0.5});
    sequence.SetRecorder(&recording);
    while (sequence.Step()) {
    }
    if (pass < 2) {
      EXPECT_EQ(ReadFile(scratch.Path() / "Results.txt"), "") << "pass " << pass;
    }
  }
  // 32 x (640 x 480 x 1e-6f) x 3 frames / 0.6f s in the first pass: 29.4911999 / 0.60000002.
  EXPECT_EQ(ReadFile(scratch.Path() / "Results.txt"), "A - 49.151998M pixels/sec\nB - Failed!\n");

  const RunRecord& record = recording.Record();
  ASSERT_EQ(record.tests.size(), 2u);
  const TestRecord& a = record.tests[0];
  EXPECT_EQ(a.status, TestStatus::kMeasured);
  // 6 frames in 0.6 s, 3 in 0.6 s, 2 in 0.8 s.
  ASSERT_EQ(a.passRates.size(), 3u);
  EXPECT_NEAR(a.passRates[0], 49.151998, 1e-6);
  EXPECT_NEAR(a.passRates[1], 98.303996, 1e-6);
  EXPECT_NEAR(a.passRates[2], 24.575999, 1e-6);
  // Only counted frames, each at 32 x 0.30719999908 Mpixels over its own interval.
  ASSERT_EQ(a.frameRates.size(), 3u);
  EXPECT_EQ(a.frameRates[0].size(), 3u);
  EXPECT_EQ(a.frameRates[1].size(), 6u);
  EXPECT_EQ(a.frameRates[2].size(), 2u);
  for (double rate : a.frameRates[0]) EXPECT_NEAR(rate, 9.8303999705 / 0.2, 1e-6);
  for (double rate : a.frameRates[2]) EXPECT_NEAR(rate, 9.8303999705 / 0.4, 1e-6);
  EXPECT_EQ(record.tests[1].status, TestStatus::kFailed);
  EXPECT_EQ(record.tests[1].failureReason, "texture9.jpg: no such file");
  EXPECT_TRUE(record.tests[1].passRates.empty());
}

TEST(RunRecordingTest, FramesWhoseSceneCannotBeginAreNotKept) {
  const CatalogueRow catalogue[] = {{"A", 32, MakePassing}};
  CallLog log;
  FakeDevice device{log};
  FakeClock clock(1000, [](int frame) { return frame; });  // every frame a little longer
  ScratchDirectory scratch;
  ResultsFile results(scratch.Path() / "Results.txt");
  D3DPRESENT_PARAMETERS params{};
  params.BackBufferWidth = 640;
  params.BackBufferHeight = 480;
  RunRecording recording(catalogue, params, 1000, nullptr);
  recording.BeginPass(0, 1);
  RunSequence sequence(device, 1,
                       [&](std::size_t) {
                         return MakePassing(catalogue[0], {640, 480}, {});
                       },
                       results, clock, {{640, 480}, 3, 0.5});
  sequence.SetRecorder(&recording);
  // Scenes 23 to 27 cannot begin: nothing is rendered or counted in those steps.
  device.beginSceneResult = [](int call) { return call >= 23 && call <= 27 ? D3DERR_INVALIDCALL : D3D_OK; };
  while (sequence.Step()) {
  }
  // Rendered frame n takes n ticks; from the 20th on they count until more than 500 ticks:
  // 20 + ... + 36 = 476 after 17 frames, 20 + ... + 37 = 513 after 18.
  const std::vector<double>& frames = recording.Record().tests[0].frameRates.at(0);
  ASSERT_EQ(frames.size(), 18u);
  EXPECT_NEAR(frames.front(), 9.8303999705 / 0.020, 1e-6);
  EXPECT_NEAR(frames[1], 9.8303999705 / 0.021, 1e-6);
  EXPECT_NEAR(frames.back(), 9.8303999705 / 0.037, 1e-6);
}

const CatalogueRow& CatalogueRowNamed(const std::string& name) {
  for (const CatalogueRow& row : Catalogue()) {
    if (row.name == name) return row;
  }
  throw std::out_of_range(name);
}

// The program on fakes: no display, one adapter, frames of 0.1 s.
class RecordedProgramTest : public ::testing::Test {
 public:
  RecordedProgramTest() {
    FakeAdapter adapter;
    adapter.description = "Fake Adapter";
    adapter.driverVersion = static_cast<LONGLONG>(0x0001000200030004ull);
    adapter.modes[D3DFMT_X8R8G8B8] = {{640, 480, 60, D3DFMT_X8R8G8B8}};
    adapter.backBuffers = {{D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8}};
    adapter.depthFormats = {{D3DFMT_X8R8G8B8, D3DFMT_D24X8}};
    adapter.depthMatches = {{D3DFMT_X8R8G8B8, D3DFMT_D24X8}};
    d3d.adapters = {adapter};
    d3d.deviceToCreate = &device;
    environment.createDirect3D = [this](UINT) -> IDirect3D9* {
      d3d.references = 1;
      return &d3d;
    };
    environment.clock = &clock;
    environment.events = &events;
    environment.resultsPath = scratch.Path() / "Results.txt";
    environment.dataSearchPath = {{RASTRO_DATA_DIR, "source tree"}};
    environment.out = out.File();
    environment.err = err.File();
    environment.defaultStore = (scratch.Path() / "data/rastrometer/results.db").string();
    environment.utcSeconds = [] { return std::int64_t{1714566896}; };  // 2024-05-01T12:34:56Z
    scratch.Write("root/proc/cpuinfo", "processor\t: 0\nmodel name\t: Test CPU 3000\nprocessor\t: 1\n");
    scratch.Write("root/proc/meminfo", "MemTotal:       2048 kB\nMemFree:        1024 kB\n");
    scratch.Write("root/proc/sys/kernel/osrelease", "6.1.0-test\n");
    scratch.Write("root/etc/os-release", "NAME=\"Debian\"\nPRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\n");
    environment.machineRoot = scratch.Path() / "root";
  }
  int Run(std::vector<std::string_view> arguments) {
    out.Clear();
    err.Clear();
    return RunProgram(arguments, environment);
  }
  static std::string Text(const CapturedOutput& output) { return output.Text(); }
  std::string Results() const { return ReadFile(scratch.Path() / "Results.txt"); }

  // Results.txt of a run at 640x480 with frames of 0.1 s: every test that runs reports 6
  // frames in 0.6 s, 32 x (640 x 480 x 1e-6f) x 6 / 0.6f = 98.303996.
  static std::string ExpectedResults() {
    return "Rastrometer\n--------------------------\nDisplay adapter: Fake Adapter\nDriver version: 1.2.3.4\n"
           "Display mode: 640x480 X8R8G8B8 60Hz\nZ-Buffer format: D24X8\n--------------------------\n\n" +
           CatalogueLines([](const CatalogueRow& row) -> std::optional<std::string> {
             if (NeedsTextureStages(row)) return std::nullopt;
             return "98.303996";
           });
  }

  ScratchDirectory scratch;
  CallLog log;
  FakeDevice device{log};
  FakeDirect3D d3d;
  FakeClock clock{10, [](int) { return 1; }};
  ScriptedEvents events;
  CapturedOutput out;
  CapturedOutput err;
  ProgramEnvironment environment;
};

TEST_F(RecordedProgramTest, RepeatedRunIsRecordedWithEveryPassAndComparedFromTheStore) {
  const std::string store = (scratch.Path() / "lab.db").string();
  const std::string json = (scratch.Path() / "run.json").string();
  ASSERT_EQ(Run({"--headless", "--seconds", "0.5", "--runs", "3", "--json", json, "--store", store}), kExitDone)
      << Text(err);
  EXPECT_EQ(Results(), ExpectedResults());
  const std::string said = Text(out);
  EXPECT_NE(said.find("Pass 1 of 3\n"), std::string::npos);
  EXPECT_NE(said.find("Pass 3 of 3 (Results.txt gets each test's median)\n"), std::string::npos);
  EXPECT_NE(said.find("Run record written to " + json + "\n"), std::string::npos);
  EXPECT_NE(said.find("Run 1 recorded in SQLite store " + store + "\n"), std::string::npos) << said;
  EXPECT_EQ(Text(err).find("record"), std::string::npos) << Text(err);

  const nlohmann::json document = nlohmann::json::parse(ReadFile(json));
  std::string problem;
  EXPECT_TRUE(ValidAgainstSchema(document, problem)) << problem;
  const RunRecord record = RecordFromJson(document);
  EXPECT_EQ(record.startedUtc, "2024-05-01T12:34:56Z");
  EXPECT_EQ(record.settings, (RunSettingsRecord{0, 640, 480, 60, "X8R8G8B8", "D24X8", 0.5, 3}));
  EXPECT_EQ(record.adapter.description, "Fake Adapter");
  EXPECT_EQ(record.adapter.driverVersion, "1.2.3.4");
  EXPECT_EQ(record.dataDirectory, RASTRO_DATA_DIR);
  EXPECT_EQ(record.machine,
            (MachineRecord{"Test CPU 3000", 2, 2048 * 1024, "6.1.0-test", "Debian GNU/Linux 12 (bookworm)"}));
  ASSERT_EQ(record.tests.size(), Catalogue().size());
  EXPECT_EQ(record.tests[2].failureReason, "the device offers 0 texture stages, the test needs 1");
  for (const TestRecord& test : record.tests) {
    if (NeedsTextureStages(CatalogueRowNamed(test.name))) {
      EXPECT_EQ(test.status, TestStatus::kFailed) << test.name;
      EXPECT_TRUE(test.passRates.empty()) << test.name;
      continue;
    }
    EXPECT_EQ(test.status, TestStatus::kMeasured) << test.name;
    ASSERT_EQ(test.passRates.size(), 3u) << test.name;
    for (double rate : test.passRates) EXPECT_NEAR(rate, 98.303996, 1e-6);
    ASSERT_EQ(test.frameRates.size(), 3u);
    EXPECT_EQ(test.frameRates[0].size(), 6u);  // the counted frames of each pass
  }
  // The JSON file and the store hold the same run.
  const std::unique_ptr<ResultStore> opened = OpenStore(store);
  RunRecord stored = *opened->Get(1);
  stored.id = 0;
  EXPECT_EQ(stored, record);

  // A second run, then the results commands read both back from that store.
  ASSERT_EQ(Run({"--headless", "--seconds", "0.5", "--runs", "3", "--store", store}), kExitDone);
  ASSERT_EQ(Run({"results", "list", "--store", store}), 0) << Text(err);
  const std::string list = Text(out);
  EXPECT_NE(list.find("2  2024-05-01 12:34:56  Fake Adapter"), std::string::npos) << list;
  EXPECT_LT(list.find("2  2024-05-01"), list.find("1  2024-05-01"));
  EXPECT_EQ(Cells(list, "1  2024"),
            (std::vector<std::string>{"1", "2024-05-01 12:34:56", "Fake Adapter", "640x480 X8R8G8B8/D24X8 @60Hz", "3",
                                      "10 measured, 6 failed"}))
      << list;
  ASSERT_EQ(Run({"results", "compare", "1", "2", "--store", store}), 0) << Text(err);
  const std::string compared = Text(out);
  using Row = std::vector<std::string>;
  EXPECT_EQ(Cells(compared, "FFP - Pure fillrate"), (Row{"FFP - Pure fillrate", "98.3", "[98.3, 98.3]~", "98.3",
                                                         "[98.3, 98.3]~", "1.000", "no clear difference"}))
      << compared;
  EXPECT_EQ(Cells(compared, "FFP - Single texture"),
            (Row{"FFP - Single texture", "failed", "-", "failed", "-", "-", "-"}))
      << compared;
}

TEST_F(RecordedProgramTest, ByDefaultARunRecordsItselfInTheLocalStore) {
  ASSERT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitDone) << Text(err);
  EXPECT_EQ(Results(), ExpectedResults());
  EXPECT_NE(Text(out).find("Run 1 recorded in SQLite store " + environment.defaultStore), std::string::npos);
  EXPECT_EQ(OpenStore(environment.defaultStore)->Get(1)->settings.runs, 1u);

  ASSERT_EQ(Run({"--headless", "--seconds", "0.5", "--no-store"}), kExitDone);
  EXPECT_EQ(Text(out).find("recorded"), std::string::npos);
  EXPECT_EQ(OpenStore(environment.defaultStore)->List({}).size(), 1u);
}

// A lab server that does not answer costs neither the results file nor the run: it is kept in
// the local store, marked not sent, and pushed once the server is there.
TEST_F(RecordedProgramTest, StoreThatCannotBeReachedLosesNeitherTheResultsNorTheRun) {
  const std::string unreachable = "postgresql:///lab?host=" + (scratch.Path() / "no-server").string();
  ASSERT_EQ(Run({"--headless", "--seconds", "0.5", "--store", unreachable}), kExitDone);
  EXPECT_EQ(Results(), ExpectedResults());
  const std::string said = Text(err);
  EXPECT_NE(said.find("rastrometer: cannot record the run: PostgreSQL store " + unreachable), std::string::npos)
      << said;
  EXPECT_NE(said.find("Run 1 kept in SQLite store " + environment.defaultStore +
                      ", marked not sent; `rastrometer results push --store " + unreachable + "` sends it"),
            std::string::npos)
      << said;
  ASSERT_EQ(OpenStore(environment.defaultStore)->NotSent().size(), 1u);

  const std::string later = (scratch.Path() / "later.db").string();
  ASSERT_EQ(Run({"results", "push", "--store", later}), 0) << Text(out) << Text(err);
  EXPECT_TRUE(OpenStore(environment.defaultStore)->NotSent().empty());
  EXPECT_EQ(OpenStore(later)->List({}).size(), 1u);
}

TEST_F(RecordedProgramTest, BadRunAndStoreOptionsAreRefusedBeforeAnythingRuns) {
  struct Case {
    std::vector<std::string_view> arguments;
    const char* message;
  };
  const Case cases[] = {
      {{"--runs", "0"}, "--runs 0: expected a number of passes from 1 to 1000"},
      {{"--runs", "three"}, "--runs three: expected a number of passes"},
      {{"--store", "x.db", "--no-store"}, "--store and --no-store do not go together"},
      {{"--json="}, "--json needs a file name"},
      {{"--no-store=yes"}, "--no-store takes no value"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Run(c.arguments), kExitUsage) << c.message;
    EXPECT_NE(Text(err).find(c.message), std::string::npos) << Text(err);
  }
  EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "Results.txt"));
  EXPECT_FALSE(std::filesystem::exists(environment.defaultStore));
}

}  // namespace
}  // namespace rastro::testing
