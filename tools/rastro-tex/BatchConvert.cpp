#include "BatchConvert.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "Command.h"
#include "WorkerPool.h"

namespace rastro::tex {

namespace {

// The progress line: "[done/total]" redrawn in place, the cursor left at its start so that a
// message printed meanwhile (always longer) overwrites it whole.
class Progress {
 public:
  explicit Progress(std::size_t total) : total_(total), shown_(isatty(STDERR_FILENO) == 1) { Draw(); }
  void FileDone() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    Draw();
  }
  ~Progress() {
    if (shown_) std::fprintf(stderr, "\033[K");
  }

 private:
  void Draw() {
    if (shown_) std::fprintf(stderr, "\033[K[%zu/%zu]\r", done_, total_);
  }

  std::mutex mutex_;
  std::size_t done_ = 0;
  const std::size_t total_;
  const bool shown_;
};

}  // namespace

int ConvertFiles(const std::vector<const char*>& inputs, const char* outDir, unsigned jobs,
                 const std::function<int(const char* input, const char* output)>& convertOne) {
  std::vector<std::string> outputs;
  std::set<std::string> taken;
  for (const char* input : inputs) {
    const std::string output = (std::filesystem::path(outDir) / std::filesystem::path(input).stem()).string() + ".dds";
    if (!taken.insert(output).second) {
      std::fprintf(stderr, "rastro-tex convert: two inputs would both be written to %s\n", output.c_str());
      return kExitUsage;
    }
    outputs.push_back(output);
  }
  if (jobs == 0) jobs = LoaderThreads();
  if (jobs > inputs.size()) jobs = static_cast<unsigned>(inputs.size());

  Progress progress(inputs.size());
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    for (std::size_t i = next++; i < inputs.size(); i = next++) {
      if (convertOne(inputs[i], outputs[i].c_str()) != kExitOk) failed = true;
      progress.FileDone();
    }
  };
  std::vector<std::thread> workers;
  for (unsigned j = 1; j < jobs; ++j) workers.emplace_back(work);
  work();
  for (std::thread& worker : workers) worker.join();
  return failed ? kExitFailure : kExitOk;
}

}  // namespace rastro::tex
