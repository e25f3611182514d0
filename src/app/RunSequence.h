// Turns the test catalogue into results: creates each test in turn, renders and times it
// frame by frame, discards the warm-up and appends the rate once enough time is measured.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "FillTest.h"
#include "ResultsFile.h"
#include "SteadyClock.h"
#include "d3d9.h"

namespace rastro {

// Frames of every test that only warm up; the first counted frame is the one after them.
inline constexpr std::uint32_t kWarmUpFrames = 19;

// Clear flags for a depth format: the stencil is cleared too when the format has one.
DWORD ClearFlagsFor(D3DFORMAT depthFormat);

struct RunSettings {
  ScreenSize screen;
  DWORD clearFlags = D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
  // A test is reported once strictly more than this much frame time is measured.
  double measuredSeconds = 5.0;
};

// Told how the current test is getting on, for progress display.
class RunObserver {
 public:
  virtual ~RunObserver() = default;
  // A test was made and its Init is about to load what it needs.
  virtual void Loading(const char* /*testName*/) {}
  // One of the test's warm-up frames was rendered.
  virtual void WarmingUp(const char* /*testName*/) {}
  // `seconds` of the test's frames are measured; more than `interval` are needed.
  virtual void Measured(const char* /*testName*/, double /*seconds*/, double /*interval*/) {}
  // The test's Init failed for `reason`; its results line says "Failed!".
  virtual void Failed(const char* /*testName*/, const std::string& /*reason*/) {}
};

// What became of one test that the run started.
struct TestOutcome {
  enum class Status {
    kMeasured,
    kFailed,    // Init failed; `failure` says why
    kCutShort,  // the run ended (Escape, the window closed) while it was being measured
  };
  std::size_t number = 0;  // its place in the catalogue, from 1
  std::string name;
  Status status = Status::kCutShort;
  double rate = 0.0;  // millions of pixels per second, when measured
  std::string failure;
};

// Receives the frame of each measured test, drawn once more into the back buffer after its
// measurement.
class FrameSink {
 public:
  virtual ~FrameSink() = default;
  // `number` counts the catalogue from 1.
  virtual void TestFrame(IDirect3DDevice9& device, std::size_t number, const char* testName) = 0;
};

// Told every test's outcome, for the run's record. Called outside the timed part of a frame.
class TestRecorder {
 public:
  virtual ~TestRecorder() = default;
  // A repeated run goes through the catalogue `passes` times; `pass` counts from 0.
  virtual void BeginPass(unsigned pass, unsigned passes) = 0;
  // `number` counts the catalogue from 1.
  virtual void Failed(std::size_t number, const FillTest& test, const std::string& reason) = 0;
  // `frameTicks` holds each counted frame's interval. Returns the rate for the results file.
  virtual double Measured(std::size_t number, const FillTest& test, double rate,
                          std::span<const std::int64_t> frameTicks) = 0;
};

class RunSequence {
 public:
  // Makes test number `index` of the catalogue, or null when it cannot be allocated.
  using TestFactory = std::function<std::unique_ptr<FillTest>(std::size_t index)>;

  // `device`, `results` and `clock` are borrowed and must outlive the sequence. The clock's
  // frequency is read here, once, and must be positive.
  RunSequence(IDirect3DDevice9& device, std::size_t testCount, TestFactory create, ResultsFile& results,
              SteadyClock& clock, RunSettings settings);
  ~RunSequence();
  RunSequence(const RunSequence&) = delete;
  RunSequence& operator=(const RunSequence&) = delete;

  // One idle pass: picks the next test when none is current, renders and times one frame, and
  // reports the test once it has been measured long enough. Returns false when the catalogue
  // was exhausted during this pass; the run should end.
  bool Step();

  // Destroys the current test without a rate, as when the run is abandoned.
  void Abandon();

  const FillTest* CurrentTest() const { return current_.get(); }
  std::uint32_t FrameIndex() const { return frameIndex_; }
  std::uint32_t CountedFrames() const { return countedFrames_; }
  std::int64_t TickSum() const { return tickSum_; }

  // Every test started so far, in run order; the current one (if any) last.
  const std::vector<TestOutcome>& Outcomes() const { return outcomes_; }

  void SetObserver(RunObserver* observer) { observer_ = observer; }
  void SetFrameSink(FrameSink* frames) { frames_ = frames; }
  void SetRecorder(TestRecorder* recorder) { recorder_ = recorder; }

 private:
  // False when the catalogue is exhausted.
  bool SelectTest();
  void RenderFrame();
  void Account();
  void CaptureFrame();

  IDirect3DDevice9& device_;
  std::size_t testCount_;
  TestFactory create_;
  ResultsFile& results_;
  SteadyClock& clock_;
  RunSettings settings_;
  std::int64_t frequency_;
  RunObserver* observer_ = nullptr;
  FrameSink* frames_ = nullptr;
  TestRecorder* recorder_ = nullptr;

  std::unique_ptr<FillTest> current_;
  std::size_t nextTest_ = 0;
  std::size_t currentNumber_ = 0;  // the current test's place in the catalogue, from 1
  std::uint32_t frameIndex_ = 0;
  std::uint32_t countedFrames_ = 0;
  std::int64_t tickSum_ = 0;
  std::vector<std::int64_t> frameTicks_;  // one per counted frame, summing to tickSum_
  std::vector<TestOutcome> outcomes_;
};

}  // namespace rastro
