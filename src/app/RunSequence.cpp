#include "RunSequence.h"

#include "FillRate.h"

namespace rastro {

DWORD ClearFlagsFor(D3DFORMAT depthFormat) {
  switch (depthFormat) {
    case D3DFMT_D15S1:
    case D3DFMT_D24S8:
    case D3DFMT_D24X4S4:
    case D3DFMT_D24FS8: return D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER | D3DCLEAR_STENCIL;
    default: return D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER;
  }
}

RunSequence::RunSequence(IDirect3DDevice9& device, std::size_t testCount, TestFactory create, ResultsFile& results,
                         SteadyClock& clock, RunSettings settings)
    : device_(device),
      testCount_(testCount),
      create_(std::move(create)),
      results_(results),
      clock_(clock),
      settings_(settings),
      frequency_(clock.Frequency()) {
  frameTicks_.reserve(4096);
}

RunSequence::~RunSequence() { Abandon(); }

bool RunSequence::Step() {
  const bool more = current_ || SelectTest();
  RenderFrame();
  Account();
  return more;
}

void RunSequence::Abandon() {
  if (!current_) return;
  current_->Destroy();
  current_.reset();
}

bool RunSequence::SelectTest() {
  // A test that fails its Init costs no frame: the next one is tried at once.
  while (!current_) {
    if (nextTest_ >= testCount_) return false;
    std::unique_ptr<FillTest> test = create_(nextTest_++);
    if (!test) continue;
    ResultsFile::Appender out = results_.Append();
    out.TestName(test->Name());
    if (observer_) observer_->Loading(test->Name());
    TestOutcome& outcome = outcomes_.emplace_back();
    outcome.number = nextTest_;
    outcome.name = test->Name();
    if (test->Init(&device_)) {
      current_ = std::move(test);
      currentNumber_ = nextTest_;
    } else {
      out.Failed();
      outcome.status = TestOutcome::Status::kFailed;
      outcome.failure = test->FailureReason().empty() ? "its set-up failed" : test->FailureReason();
      if (observer_) observer_->Failed(test->Name(), outcome.failure);
      if (recorder_) recorder_->Failed(nextTest_, *test, outcome.failure);
      test->Destroy();
    }
  }
  return true;
}

void RunSequence::RenderFrame() {
  // A scene that cannot begin (a lost device, say) renders and counts nothing.
  if (FAILED(device_.BeginScene())) return;
  device_.Clear(0, nullptr, settings_.clearFlags, 0x00000000, 1.0f, 0);
  const std::int64_t start = clock_.Ticks();
  if (current_) current_->Render();
  device_.EndScene();
  device_.Present(nullptr, nullptr, nullptr, nullptr);
  const std::int64_t end = clock_.Ticks();
  tickSum_ += end - start;
  // Kept after the interval is read, so that a growing list never lands inside a timed frame.
  frameTicks_.push_back(end - start);
  ++countedFrames_;
  ++frameIndex_;
}

void RunSequence::CaptureFrame() {
  if (!frames_) return;
  // Drawn once more, neither timed nor presented, so that the back buffer holds the test's
  // frame whatever the swap effect left in it.
  if (FAILED(device_.BeginScene())) return;
  device_.Clear(0, nullptr, settings_.clearFlags, 0x00000000, 1.0f, 0);
  current_->Render();
  device_.EndScene();
  frames_->TestFrame(device_, currentNumber_, current_->Name());
}

void RunSequence::Account() {
  if (frameIndex_ <= kWarmUpFrames) {
    countedFrames_ = 0;
    tickSum_ = 0;
    frameTicks_.clear();
    if (current_ && observer_ && frameIndex_ > 0) observer_->WarmingUp(current_->Name());
    return;
  }
  const double elapsed = static_cast<double>(tickSum_) / static_cast<double>(frequency_);
  if (current_ && observer_) observer_->Measured(current_->Name(), elapsed, settings_.measuredSeconds);
  if (!(elapsed > settings_.measuredSeconds)) return;

  if (current_) {
    const double rate = FillRate(current_->PixelFactor(), settings_.screen.width, settings_.screen.height,
                                 countedFrames_, static_cast<float>(elapsed));
    const double written = recorder_ ? recorder_->Measured(currentNumber_, *current_, rate, frameTicks_) : rate;
    results_.Append().Rate(written);
    outcomes_.back().status = TestOutcome::Status::kMeasured;
    outcomes_.back().rate = written;
    CaptureFrame();
    current_->Destroy();
    current_.reset();
  }
  countedFrames_ = 0;
  frameIndex_ = 0;
  tickSum_ = 0;
  frameTicks_.clear();
}

}  // namespace rastro
