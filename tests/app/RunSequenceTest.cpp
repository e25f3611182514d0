#include <gtest/gtest.h>

#include <algorithm>

#include "Application.h"
#include "Catalogue.h"
#include "CatalogueLines.h"
#include "Fakes.h"
#include "FillRate.h"
#include "RunSequence.h"
#include "ScratchDirectory.h"

namespace rastro::testing {
namespace {

constexpr ScreenSize kVga{640, 480};

// A test that only logs its life; its Render draws PixelFactor quads like every test.
class ScriptedTest final : public FillTest {
 public:
  ScriptedTest(const char* name, unsigned factor, bool initSucceeds, CallLog& log)
      : FillTest(kVga), name_(name), factor_(factor), initSucceeds_(initSucceeds), log_(log) {}
  const char* Name() const override { return name_; }
  unsigned PixelFactor() const override { return factor_; }
  bool Init(IDirect3DDevice9* device) override {
    BeginInit(device);
    log_.push_back(std::string("Init(") + name_ + ")");
    return initSucceeds_ || Fail(std::string(name_) + " could not start");
  }
  bool Destroy() override {
    log_.push_back(std::string("Destroy(") + name_ + ")");
    return true;
  }

 private:
  const char* name_;
  unsigned factor_;
  bool initSucceeds_;
  CallLog& log_;
};

struct TestPlan {
  const char* name;
  unsigned factor;
  bool initSucceeds;
};

class RunSequenceTest : public ::testing::Test {
 protected:
  RunSequence::TestFactory Factory(std::vector<TestPlan> plans) {
    return [this, plans](std::size_t index) -> std::unique_ptr<FillTest> {
      if (plans[index].name == nullptr) return nullptr;  // cannot be allocated
      return std::make_unique<ScriptedTest>(plans[index].name, plans[index].factor, plans[index].initSucceeds, log);
    };
  }
  std::string Results() const { return ReadFile(scratch.Path() / "Results.txt"); }

  ScratchDirectory scratch;
  CallLog log;
  FakeDevice device{log};
  ResultsFile results{scratch.Path() / "Results.txt"};
};

TEST_F(RunSequenceTest, FramesOneToNineteenNeverCount) {
  // Warm-up frames of 10 s each would end any measurement; the 20th frame takes 6 s.
  FakeClock clock(1000, [](int frame) { return frame < 20 ? 10000 : 6000; });
  RunSequence sequence(device, 1, Factory({{"A", 32, true}}), results, clock, {kVga, 3, 5.0});
  for (int step = 1; step <= 19; ++step) ASSERT_TRUE(sequence.Step());
  EXPECT_NE(sequence.CurrentTest(), nullptr);
  EXPECT_EQ(sequence.FrameIndex(), 19u);
  EXPECT_EQ(sequence.CountedFrames(), 0u);
  EXPECT_EQ(sequence.TickSum(), 0);
  EXPECT_EQ(Results(), "A - ");

  ASSERT_TRUE(sequence.Step());
  // 32 x 0.3072 Mpixels x 1 frame / 6 s
  EXPECT_EQ(Results(), "A - 1.638400M pixels/sec\n");
  EXPECT_EQ(sequence.CurrentTest(), nullptr);
  EXPECT_EQ(sequence.FrameIndex(), 0u);
  EXPECT_EQ(sequence.CountedFrames(), 0u);
  EXPECT_EQ(sequence.TickSum(), 0);
  EXPECT_EQ(log, (CallLog{"Init(A)", "Destroy(A)"}));
}

TEST_F(RunSequenceTest, ReportsOnlyStrictlyAfterTheInterval) {
  FakeClock clock(1000, [](int) { return 250; });  // a quarter second per frame
  RunSequence sequence(device, 1, Factory({{"A", 32, true}}), results, clock, {kVga, 3, 5.0});
  for (int step = 1; step <= 39; ++step) ASSERT_TRUE(sequence.Step());
  // Frames 20 to 39: exactly 5.0 s, which is not yet more than 5.0 s.
  EXPECT_EQ(sequence.CountedFrames(), 20u);
  EXPECT_EQ(sequence.TickSum(), 5000);
  EXPECT_EQ(Results(), "A - ");
  ASSERT_TRUE(sequence.Step());
  // 32 x 0.3072 x 21 / 5.25
  EXPECT_EQ(Results(), "A - 39.321600M pixels/sec\n");
}

TEST_F(RunSequenceTest, ThousandFramesAtXgaInFivePointTwoSeconds) {
  // Warm-up frames of any length, then 999 frames of 5 ms and one of 205 ms: 5.2 s in all,
  // first more than 5 s at the thousandth counted frame.
  FakeClock clock(1000000, [](int frame) {
    if (frame < 20) return 777;
    return frame < 1019 ? 5000 : 205000;
  });
  RunSequence sequence(device, 1, Factory({{"A", 32, true}}), results, clock, {{1024, 768}, 3, 5.0});
  for (int step = 1; step <= 1018; ++step) sequence.Step();
  EXPECT_EQ(sequence.CountedFrames(), 999u);
  sequence.Step();
  EXPECT_EQ(Results(), "A - 4839.581704M pixels/sec\n");
  EXPECT_EQ(device.draws, 1019 * 32);
}

TEST_F(RunSequenceTest, FailedInitWritesFailedAndTheNextTestStartsInTheSameStep) {
  FakeClock clock(1000, [](int) { return 6000; });
  device.logFrames = true;
  RunSequence sequence(device, 3, Factory({{"A", 32, true}, {"B", 32, false}, {"C", 16, true}}), results, clock,
                       {kVga, 3, 5.0});
  for (int step = 1; step <= 20; ++step) ASSERT_TRUE(sequence.Step());
  EXPECT_EQ(Results(), "A - 1.638400M pixels/sec\n");

  log.clear();
  const int drawsBefore = device.draws;
  ASSERT_TRUE(sequence.Step());
  EXPECT_EQ(Results(), "A - 1.638400M pixels/sec\nB - Failed!\nC - ");
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(CallLog(log.begin(), log.begin() + 4), (CallLog{"Init(B)", "Destroy(B)", "Init(C)", "BeginScene"}));
  EXPECT_EQ(device.draws - drawsBefore, 16);
  EXPECT_EQ(sequence.FrameIndex(), 1u);  // C starts from frame 0

  for (int step = 22; step <= 40; ++step) ASSERT_TRUE(sequence.Step());
  EXPECT_EQ(Results(), "A - 1.638400M pixels/sec\nB - Failed!\nC - 0.819200M pixels/sec\n");

  // The catalogue is exhausted: the step says so and renders one frame without a test.
  const int presents = device.presents;
  const int draws = device.draws;
  EXPECT_FALSE(sequence.Step());
  EXPECT_EQ(device.presents, presents + 1);
  EXPECT_EQ(device.draws, draws);
}

// Logs what the sequence tells its observer, in the same log as the tests' own calls.
class LoggingObserver final : public RunObserver {
 public:
  explicit LoggingObserver(CallLog& log) : log_(log) {}
  void Loading(const char* name) override { log_.push_back(std::string("Loading(") + name + ")"); }
  void WarmingUp(const char* name) override { log_.push_back(std::string("WarmingUp(") + name + ")"); }
  void Measured(const char* name, double seconds, double interval) override {
    log_.push_back(std::string("Measured(") + name + ", " + std::to_string(seconds) + " of " +
                   std::to_string(interval) + ")");
  }
  void Failed(const char* name, const std::string& reason) override {
    log_.push_back(std::string("Failed(") + name + ": " + reason + ")");
  }

 private:
  CallLog& log_;
};

// The observer hears of a test before its Init loads anything and through every warm-up frame;
// what became of each test, a failure's reason with it, is kept for the run's record.
TEST_F(RunSequenceTest, ObserverHearsEveryStageAndEachOutcomeIsKept) {
  FakeClock clock(1000, [](int) { return 6000; });
  LoggingObserver observer(log);
  RunSequence sequence(device, 3, Factory({{"A", 32, true}, {"B", 32, false}, {"C", 16, true}}), results, clock,
                       {kVga, 3, 5.0});
  sequence.SetObserver(&observer);
  for (int step = 1; step <= 22; ++step) ASSERT_TRUE(sequence.Step());
  sequence.Abandon();
  CallLog expected{"Loading(A)", "Init(A)"};
  expected.insert(expected.end(), 19, "WarmingUp(A)");
  expected.insert(expected.end(), {"Measured(A, 6.000000 of 5.000000)", "Destroy(A)", "Loading(B)", "Init(B)",
                                   "Failed(B: B could not start)", "Destroy(B)", "Loading(C)", "Init(C)",
                                   "WarmingUp(C)", "WarmingUp(C)", "Destroy(C)"});
  EXPECT_EQ(log, expected);

  const std::vector<TestOutcome>& outcomes = sequence.Outcomes();
  ASSERT_EQ(outcomes.size(), 3u);
  EXPECT_EQ(outcomes[0].number, 1u);
  EXPECT_EQ(outcomes[0].name, "A");
  EXPECT_EQ(outcomes[0].status, TestOutcome::Status::kMeasured);
  EXPECT_NEAR(outcomes[0].rate, 32 * 0.3072 / 6.0, 1e-6);
  EXPECT_EQ(outcomes[1].number, 2u);
  EXPECT_EQ(outcomes[1].status, TestOutcome::Status::kFailed);
  EXPECT_EQ(outcomes[1].failure, "B could not start");
  EXPECT_EQ(outcomes[2].name, "C");
  EXPECT_EQ(outcomes[2].status, TestOutcome::Status::kCutShort);
  EXPECT_EQ(Results(), "A - 1.638400M pixels/sec\nB - Failed!\nC - ");
}

TEST_F(RunSequenceTest, TestThatCannotBeAllocatedIsSkippedWithoutALine) {
  FakeClock clock(1000, [](int) { return 6000; });
  RunSequence sequence(device, 3, Factory({{nullptr, 0, false}, {"B", 32, false}, {"C", 32, true}}), results, clock,
                       {kVga, 3, 5.0});
  ASSERT_TRUE(sequence.Step());
  EXPECT_EQ(Results(), "B - Failed!\nC - ");
}

TEST_F(RunSequenceTest, FailedBeginSceneRendersAndCountsNothing) {
  // BeginScene fails for calls 5 to 14 (in the warm-up) and 30 to 39 (while measuring).
  device.beginSceneResult = [](int call) {
    return (call >= 5 && call <= 14) || (call >= 30 && call <= 39) ? D3DERR_INVALIDCALL : D3D_OK;
  };
  FakeClock clock(1000, [](int) { return 1000; });
  RunSequence sequence(device, 1, Factory({{"A", 32, true}}), results, clock, {kVga, 3, 5.0});
  for (int step = 1; step <= 39; ++step) ASSERT_TRUE(sequence.Step());
  // 19 scenes began: still warming up.
  EXPECT_EQ(sequence.FrameIndex(), 19u);
  EXPECT_EQ(sequence.CountedFrames(), 0u);
  EXPECT_EQ(device.clears, 19);
  EXPECT_EQ(device.presents, 19);
  EXPECT_EQ(device.draws, 19 * 32);
  EXPECT_EQ(clock.Frames(), 19);

  for (int step = 40; step <= 44; ++step) ASSERT_TRUE(sequence.Step());
  EXPECT_EQ(sequence.CountedFrames(), 5u);
  EXPECT_EQ(Results(), "A - ");
  ASSERT_TRUE(sequence.Step());
  // 32 x 0.3072 x 6 frames / 6 s
  EXPECT_EQ(Results(), "A - 9.830400M pixels/sec\n");
}

TEST_F(RunSequenceTest, OneFrameIsClearPerTimedDrawsEndScenePresent) {
  device.logFrames = true;
  FakeClock clock(1000, [](int) { return 1; });
  RunSequence sequence(device, 1, Factory({{"A", 2, true}}), results, clock, {kVga, 7, 5.0});
  ASSERT_TRUE(sequence.Step());
  EXPECT_EQ(log, (CallLog{"Init(A)", "BeginScene", "Clear(0,null,7,0,1.000000,0)", "DrawPrimitive(5,0,2)",
                          "DrawPrimitive(5,0,2)", "EndScene", "Present"}));
}

TEST(ClearFlagsTest, StencilIsClearedExactlyForFormatsWithStencil) {
  const std::vector<std::pair<D3DFORMAT, DWORD>> table{
      {D3DFMT_D15S1, 7},         {D3DFMT_D24S8, 7},   {D3DFMT_D24X4S4, 7},      {D3DFMT_D24FS8, 7},
      {D3DFMT_D16, 3},           {D3DFMT_D24X8, 3},   {D3DFMT_D16_LOCKABLE, 3}, {D3DFMT_D32, 3},
      {D3DFMT_D32F_LOCKABLE, 3}, {D3DFMT_UNKNOWN, 3}, {D3DFMT_X8R8G8B8, 3}};
  for (const auto& [format, flags] : table) EXPECT_EQ(ClearFlagsFor(format), flags) << format;
}

TEST(FillRateTest, UsesTheSinglePrecisionMillionth) {
  // 1e-6 in single precision is 9.999999974752427e-07; a double 1e-6 would give exactly 1.
  EXPECT_EQ(FillRate(1, 1000, 1000, 1, 1.0f), 0.9999999974752427);
  EXPECT_DOUBLE_EQ(FillRate(32, 1024, 768, 1000, 5.2f), 4839.581703757569);
  EXPECT_EQ(FormatFixed(FillRate(32, 1024, 768, 1000, 5.2f)), "4839.581704");
}

TEST(ResultsFileTest, HeaderHoldsAdapterDriverModeAndDepthFormat) {
  ScratchDirectory scratch;
  ResultsFile results(scratch.Path() / "Results.txt");
  std::ofstream(scratch.Path() / "Results.txt") << "an earlier run\n";
  D3DADAPTER_IDENTIFIER9 identifier{};
  std::strcpy(identifier.Description, "Adapter with a long name");
  identifier.DriverVersion.QuadPart = static_cast<LONGLONG>(0xFFFF00020003ABCDull);
  D3DPRESENT_PARAMETERS params{};
  params.BackBufferWidth = 1024;
  params.BackBufferHeight = 768;
  params.BackBufferFormat = D3DFMT_R5G6B5;
  params.FullScreen_RefreshRateInHz = 85;
  params.AutoDepthStencilFormat = static_cast<D3DFORMAT>(74);
  results.WriteHeader(identifier, params);
  results.Append().TestName("PS 1.4 - Simple");
  results.Append().Failed();
  EXPECT_EQ(ReadFile(scratch.Path() / "Results.txt"),
            "Rastrometer\n"
            "--------------------------\n"
            "Display adapter: Adapter with a long name\n"
            "Driver version: 65535.2.3.43981\n"
            "Display mode: 1024x768 R5G6B5 85Hz\n"
            "Z-Buffer format: Unknown\n"
            "--------------------------\n"
            "\n"
            "PS 1.4 - Simple - Failed!\n");
}

TEST(ResultsFileTest, UnwritableFileDoesNotStopTheRun) {
  ScratchDirectory scratch;
  struct Echo : ResultsEcho {
    std::string text;
    void Written(const std::string& more) override { text += more; }
  } echo;
  ResultsFile results(scratch.Path() / "missing-directory" / "Results.txt");
  results.SetEcho(&echo);
  results.Append().TestName("A");
  results.Append().Rate(1.5);
  EXPECT_EQ(echo.text, "A - 1.500000M pixels/sec\n");
  EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "missing-directory"));
}

// The shell around the sequence: device creation, the header, state, the pump and the releases.
class BenchmarkRunTest : public ::testing::Test {
 protected:
  BenchmarkRunTest() {
    FakeAdapter adapter;
    adapter.description = "Fake Adapter";
    adapter.driverVersion = static_cast<LONGLONG>(0x0006000E000A1234ull);
    d3d.adapters = {adapter};
    d3d.deviceToCreate = &device;
    d3d.log = &log;
    device.caps.VertexShaderVersion = 0xFFFE0101;
    app.Direct3DObject = ComPtr<IDirect3D9>::Adopt(&d3d);
    app.PresentParams.BackBufferWidth = 640;
    app.PresentParams.BackBufferHeight = 480;
    app.PresentParams.FullScreen_RefreshRateInHz = 60;
    app.PresentParams.BackBufferFormat = D3DFMT_X8R8G8B8;
    app.PresentParams.EnableAutoDepthStencil = TRUE;
    app.PresentParams.AutoDepthStencilFormat = D3DFMT_D24S8;
  }

  PumpEnd Run() {
    EXPECT_TRUE(CreateFullScreenDevice(app, nullptr));
    report = RunBenchmark(app, {results, clock, events, Catalogue(), FolderFiles(RASTRO_DATA_DIR)});
    return report.end;
  }
  std::string Results() const { return ReadFile(scratch.Path() / "Results.txt"); }
  std::ptrdiff_t Position(const std::string& call) const {
    return std::find(log.begin(), log.end(), call) - log.begin();
  }

  static constexpr char kHeader[] =
      "Rastrometer\n"
      "--------------------------\n"
      "Display adapter: Fake Adapter\n"
      "Driver version: 6.14.10.4660\n"
      "Display mode: 640x480 X8R8G8B8 60Hz\n"
      "Z-Buffer format: D24S8\n"
      "--------------------------\n"
      "\n";

  ScratchDirectory scratch;
  CallLog log;
  FakeDevice device{log};
  FakeDirect3D d3d;
  FakeClock clock{1000, [](int) { return 6000; }};
  ScriptedEvents events;
  ResultsFile results{scratch.Path() / "Results.txt"};
  AppGlobals app;
  RunReport report;
};

TEST_F(BenchmarkRunTest, CompleteRunWritesEveryLineOfTheResultsFile) {
  events.script[3] = {{InputEvent::Kind::kKeyDown, 'A'}};
  events.script[4] = {{InputEvent::Kind::kKeyUp, 'A'}};
  EXPECT_EQ(Run(), PumpEnd::kCatalogueDone);
  std::string expected = kHeader;
  // The fake device has no texture stages.
  expected += CatalogueLines([](const CatalogueRow& row) -> std::optional<std::string> {
    if (NeedsTextureStages(row)) return std::nullopt;
    EXPECT_EQ(row.pixelFactor, 32u) << row.name;
    return "1.638400";
  });
  EXPECT_EQ(Results(), expected);

  // 20 frames per test, one more before the end.
  EXPECT_EQ(device.presents, 20 * UntexturedTestCount() + 1);
  EXPECT_EQ(device.draws, QuadsDrawn(20u, false));
  EXPECT_EQ(device.lastClearFlags, 7u);
  EXPECT_EQ(app.KeyDown['A'], 0);
  // State for the whole run is set once, before the first test.
  EXPECT_LT(Position("SetRenderState(22,1)"), Position("CreateVertexBuffer(80,8,68,1)"));
  EXPECT_LT(Position("SetRenderState(137,0)"), Position("CreateVertexBuffer(80,8,68,1)"));
  EXPECT_EQ(std::count(log.begin(), log.end(), "SetRenderState(22,1)"), 1);
  // Everything is released, the device before the Direct3D object.
  // One vertex buffer per test, but for the fixed-function texture tests, which fail their caps
  // check before making one (the lighting tests make theirs and fail at loading textures).
  const auto stagesChecked = std::count_if(Catalogue().begin(), Catalogue().end(), [](const CatalogueRow& row) {
    return NeedsTextureStages(row) && std::string_view(row.name).starts_with("FFP - ");
  });
  EXPECT_EQ(std::count(log.begin(), log.end(), "VertexBuffer.Release"),
            static_cast<int>(Catalogue().size()) - stagesChecked);
  EXPECT_LT(Position("Device.Release"), Position("Direct3D.Release"));
  EXPECT_EQ(device.references, 1);  // only the test's own
  EXPECT_EQ(d3d.references, 0);
  EXPECT_FALSE(app.Device);
  EXPECT_FALSE(app.Direct3DObject);
}

TEST_F(BenchmarkRunTest, EscapeDestroysTheCurrentTestBeforeTheDeviceGoes) {
  events.script[5] = {{InputEvent::Kind::kKeyDown, kVirtualKeyEscape}};
  EXPECT_EQ(Run(), PumpEnd::kEscape);
  EXPECT_EQ(device.presents, 6);  // the step after the key still runs, then nothing more
  EXPECT_EQ(Results(), std::string(kHeader) + "FFP - Pure fillrate - ");
  EXPECT_LT(Position("VertexBuffer.Release"), Position("Device.Release"));
  EXPECT_LT(Position("Device.Release"), Position("Direct3D.Release"));
  EXPECT_EQ(device.references, 1);
  EXPECT_EQ(d3d.references, 0);
}

TEST_F(BenchmarkRunTest, EscapeHeldFromTheStartEndsAfterTheFirstFrame) {
  events.script[0] = {{InputEvent::Kind::kKeyDown, kVirtualKeyEscape}};
  EXPECT_EQ(Run(), PumpEnd::kEscape);
  EXPECT_EQ(device.presents, 1);
  EXPECT_EQ(Results(), std::string(kHeader) + "FFP - Pure fillrate - ");
}

TEST_F(BenchmarkRunTest, EscapeTappedWithinOnePassStillEndsTheRun) {
  events.script[4] = {{InputEvent::Kind::kKeyDown, kVirtualKeyEscape}, {InputEvent::Kind::kKeyUp, kVirtualKeyEscape}};
  EXPECT_EQ(Run(), PumpEnd::kEscape);
  EXPECT_EQ(device.presents, 5);
  EXPECT_EQ(app.KeyDown[kVirtualKeyEscape], 0);
  EXPECT_EQ(Results(), std::string(kHeader) + "FFP - Pure fillrate - ");
}

TEST_F(BenchmarkRunTest, ClosingTheWindowEndsTheRunBeforeTheNextFrame) {
  events.script[3] = {{InputEvent::Kind::kClose}};
  EXPECT_EQ(Run(), PumpEnd::kClosed);
  EXPECT_EQ(device.presents, 3);
  EXPECT_LT(Position("VertexBuffer.Release"), Position("Device.Release"));
  EXPECT_EQ(Results(), std::string(kHeader) + "FFP - Pure fillrate - ");
}

TEST(DeviceCreationTest, PassesTheCompletedParametersAndPicksVertexProcessing) {
  struct Case {
    DWORD vertexShaderVersion;
    bool software;
  };
  const std::vector<Case> cases{{0xFFFE0000, true},  {0xFFFE0100, true},  {0x00000000, true},
                                {0xFFFE0101, false}, {0xFFFE0200, false}, {0xFFFE0300, false}};
  for (const Case& c : cases) {
    CallLog log;
    FakeDevice device(log);
    device.caps.VertexShaderVersion = c.vertexShaderVersion;
    FakeDirect3D d3d;
    d3d.deviceToCreate = &device;
    AppGlobals app;
    app.Direct3DObject = ComPtr<IDirect3D9>::Adopt(&d3d);
    app.AdapterIndex = 1;
    app.PresentParams.BackBufferWidth = 800;
    int window = 0;
    ASSERT_TRUE(CreateFullScreenDevice(app, &window));
    EXPECT_EQ(std::count(log.begin(), log.end(), "SetSoftwareVertexProcessing(1)"), c.software ? 1 : 0)
        << std::hex << c.vertexShaderVersion;

    ASSERT_EQ(d3d.createDeviceCalls.size(), 1u);
    const auto& call = d3d.createDeviceCalls[0];
    EXPECT_EQ(call.adapter, 1u);
    EXPECT_EQ(call.type, D3DDEVTYPE_HAL);
    EXPECT_EQ(call.window, &window);
    EXPECT_EQ(call.flags, 0x80u);
    EXPECT_EQ(call.params.BackBufferWidth, 800u);
    EXPECT_EQ(call.params.BackBufferCount, 1u);
    EXPECT_EQ(call.params.SwapEffect, D3DSWAPEFFECT_FLIP);
    EXPECT_EQ(call.params.hDeviceWindow, &window);
    EXPECT_EQ(call.params.PresentationInterval, 0x80000000u);
    EXPECT_EQ(call.params.Windowed, FALSE);
    EXPECT_EQ(call.params.MultiSampleType, D3DMULTISAMPLE_NONE);
    EXPECT_EQ(call.params.Flags, 0u);
    app.Device.Reset();
    app.Direct3DObject.Detach();
  }
}

TEST(DeviceCreationTest, NoDeviceReleasesTheDirect3DObject) {
  CallLog log;
  FakeDirect3D d3d;
  d3d.log = &log;
  AppGlobals app;
  app.Direct3DObject = ComPtr<IDirect3D9>::Adopt(&d3d);
  EXPECT_FALSE(CreateFullScreenDevice(app, nullptr));
  EXPECT_FALSE(app.Device);
  EXPECT_FALSE(app.Direct3DObject);
  EXPECT_EQ(d3d.references, 0);
  EXPECT_EQ(log, (CallLog{"Direct3D.Release"}));
}

}  // namespace
}  // namespace rastro::testing
