// What keeping and reading runs costs: recording a finished run (opening the store and
// writing it, as the end of every benchmark run does), and the `results` commands over a store
// of 10 000 runs, each as the whole command (open, query, format, write).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ResultStore.h"
#include "ResultsCommand.h"
#include "RunKeeping.h"
#include "RunRecord.h"

namespace rastro {
namespace {

namespace fs = std::filesystem;

constexpr int kStoreRuns = 10000;
constexpr int kPasses = 3;
constexpr int kFramesPerPass = 250;  // a 5 s pass at 50 frames per second

const char* const kTests[] = {
    "FFP - Pure fillrate",
    "FFP - Z pixel rate",
    "FFP - Single texture",
    "FFP - Dual texture",
    "FFP - Triple texture",
    "FFP - Quad texture",
    "PS 1.1 - Simple",
    "PS 1.4 - Simple",
    "PS 2.0 - Simple",
    "PS 2.0 PP - Simple",
    "PS 2.0 - Longer",
    "PS 2.0 PP - Longer",
    "PS 2.0 - Longer 4 Registers",
    "PS 2.0 PP - Longer 4 Registers",
    "PS 2.0 - Per Pixel Lighting",
    "PS 2.0 PP - Per Pixel Lighting",
};

// A complete run like the benchmark makes: 16 tests, three passes, every frame's rate.
RunRecord TypicalRun(int number) {
  RunRecord run;
  run.uuid = NewUuid();
  run.programVersion = "0.1.0";
  char started[32];
  std::snprintf(started, sizeof started, "2024-%02d-%02dT%02d:%02d:00Z", 1 + number % 12, 1 + number % 28, number % 24,
                number % 60);
  run.startedUtc = started;
  run.settings = {0, 1024, 768, 60, "X8R8G8B8", "D24S8", 5.0, kPasses};
  run.adapter = {number % 2 ? "llvmpipe (LLVM 15.0.6, 256 bits)" : "NVIDIA GeForce GTX 1080",
                 "OpenGL",
                 "4.5.22.3",
                 0,
                 0,
                 "Mesa",
                 "llvmpipe (LLVM 15.0.6, 256 bits)",
                 "4.5 (Core Profile) Mesa 22.3.6"};
  run.machine = {"AMD EPYC 7B13", 2, 25769803776ull, "6.1.0-18-amd64", "Debian GNU/Linux 12 (bookworm)"};
  run.dataDirectory = "/usr/share/rastrometer";
  for (const char* name : kTests) {
    TestRecord test;
    test.name = name;
    test.pixelFactor = 32;
    test.status = TestStatus::kMeasured;
    for (int pass = 0; pass < kPasses; ++pass) {
      test.passRates.push_back(1000.0 + number % 97 + pass);
      test.frameRates.emplace_back(kFramesPerPass, 1000.5 + pass);
    }
    run.tests.push_back(std::move(test));
  }
  return run;
}

// The store of 10 000 runs, made once and kept between runs of this program (it takes a while).
const std::string& BigStore() {
  static const std::string path = [] {
    const fs::path file = fs::temp_directory_path() / "rastro-results-bench-10000.db";
    std::unique_ptr<ResultStore> store = OpenStore(file.string());
    const auto held = static_cast<int>(store->List({}).size());
    // One transaction for the whole filling: the benchmark measures reading, not this.
    store->Connection().Script("PRAGMA synchronous = OFF");
    for (int i = held; i < kStoreRuns; ++i) store->Add(TypicalRun(i));
    return file.string();
  }();
  return path;
}

void BM_RecordRunInSqlite(benchmark::State& state) {
  const fs::path directory = fs::temp_directory_path() / "rastro-results-bench-record";
  fs::remove_all(directory);
  fs::create_directories(directory);
  const std::string store = (directory / "results.db").string();
  OpenStore(store);  // the schema exists, as on every run after the first
  const RunRecord run = TypicalRun(1);
  for (auto _ : state) {
    state.PauseTiming();
    RunRecord fresh = run;
    fresh.uuid = NewUuid();
    state.ResumeTiming();
    const KeepingOutcome outcome = KeepRun(fresh, {store, store, SpoolDirectoryFor(store)});
    if (!outcome.stored) state.SkipWithError(outcome.message.c_str());
  }
  fs::remove_all(directory);
}
BENCHMARK(BM_RecordRunInSqlite)->Unit(benchmark::kMillisecond)->UseRealTime();

void Command(benchmark::State& state, std::vector<std::string_view> arguments) {
  const std::string& store = BigStore();
  arguments.push_back("--store");
  arguments.push_back(store);
  std::FILE* sink = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    if (RunResultsCommand(arguments, {"", sink, stderr}) != 0) state.SkipWithError("the command failed");
  }
  std::fclose(sink);
}

void BM_ListAllOf10000Runs(benchmark::State& state) { Command(state, {"list"}); }
BENCHMARK(BM_ListAllOf10000Runs)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CompareTwoOf10000Runs(benchmark::State& state) { Command(state, {"compare", "17", "9999"}); }
BENCHMARK(BM_CompareTwoOf10000Runs)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CompareFiveOf10000Runs(benchmark::State& state) {
  Command(state, {"compare", "1", "2500", "5000", "7500", "10000"});
}
BENCHMARK(BM_CompareFiveOf10000Runs)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HtmlReportOfThreeOf10000Runs(benchmark::State& state) {
  const std::string out = (fs::temp_directory_path() / "rastro-results-bench-report.html").string();
  Command(state, {"report", "--html", out, "1", "5000", "10000"});
  fs::remove(out);
}
BENCHMARK(BM_HtmlReportOfThreeOf10000Runs)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HtmlReportOfNewestOf10000Runs(benchmark::State& state) {
  const std::string out = (fs::temp_directory_path() / "rastro-results-bench-report.html").string();
  Command(state, {"report", "--html", out});
  fs::remove(out);
}
BENCHMARK(BM_HtmlReportOfNewestOf10000Runs)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace rastro
