#include <gtest/gtest.h>

#include <SDL.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <sstream>

#include "CatalogueLines.h"
#include "CommandLine.h"
#include "DisplayCheck.h"
#include "Fakes.h"
#include "Program.h"
#include "ScratchDirectory.h"

namespace rastro::testing {
namespace {

std::string Drain(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  char buffer[512];
  std::size_t got;
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  return text;
}

void Empty(std::FILE* file) {
  std::fflush(file);
  ASSERT_EQ(ftruncate(fileno(file), 0), 0);
  std::rewind(file);
}

// The program from arguments to exit status, on fakes: no display, a fake Direct3D object and
// device, frames of 0.1 s.
class ProgramTest : public ::testing::Test {
 public:
  ProgramTest() {
    FakeAdapter adapter;
    adapter.description = "Fake Adapter";
    adapter.driverVersion = static_cast<LONGLONG>(0x0001000200030004ull);
    adapter.modes[D3DFMT_X8R8G8B8] = {{640, 480, 60, D3DFMT_X8R8G8B8}, {1024, 768, 60, D3DFMT_X8R8G8B8}};
    adapter.backBuffers = {{D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8}};
    adapter.depthFormats = {{D3DFMT_X8R8G8B8, D3DFMT_D24X8}};
    adapter.depthMatches = {{D3DFMT_X8R8G8B8, D3DFMT_D24X8}};
    d3d.adapters = {adapter};
    d3d.deviceToCreate = &device;
    environment.createDirect3D = [this](UINT version) -> IDirect3D9* {
      sdkVersion = version;
      return direct3DMissing ? nullptr : &d3d;
    };
    environment.clock = &clock;
    environment.events = &events;
    environment.resultsPath = ResultsPath();
    environment.dataSearchPath = {{RASTRO_DATA_DIR, "source tree"}};
    environment.out = out;
    environment.err = err;
  }
  ~ProgramTest() override {
    std::fclose(out);
    std::fclose(err);
  }

  int Run(std::vector<std::string_view> arguments) { return RunProgram(arguments, environment); }
  std::filesystem::path ResultsPath() const { return scratch.Path() / "Results.txt"; }

  ScratchDirectory scratch;
  CallLog log;
  FakeDevice device{log};
  FakeDirect3D d3d;
  FakeClock clock{10, [](int) { return 1; }};
  ScriptedEvents events;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ProgramEnvironment environment;
  bool direct3DMissing = false;
  UINT sdkVersion = 0;
};

TEST_F(ProgramTest, HeadlessRunWritesACompleteResultsFile) {
  EXPECT_EQ(Run({"--headless", "--mode", "640x480", "--seconds", "0.5"}), kExitDone);
  EXPECT_EQ(sdkVersion, 31u);
  // 20 frames of 0.1 s warm up and start the measurement; 6 counted frames are more than 0.5 s.
  // 32 x (640 x 480 x 1e-6f) x 6 / 0.6f, 0.6f being 0.60000002: 98.303996
  std::string expected =
      "Rastrometer\n"
      "--------------------------\n"
      "Display adapter: Fake Adapter\n"
      "Driver version: 1.2.3.4\n"
      "Display mode: 640x480 X8R8G8B8 60Hz\n"
      "Z-Buffer format: D24X8\n"
      "--------------------------\n"
      "\n";
  // The fake device has no texture stages.
  expected += CatalogueLines([](const CatalogueRow& row) -> std::optional<std::string> {
    if (NeedsTextureStages(row)) return std::nullopt;
    EXPECT_EQ(row.pixelFactor, 32u) << row.name;
    return "98.303996";
  });
  EXPECT_EQ(ReadFile(ResultsPath()), expected);
  ASSERT_EQ(d3d.createDeviceCalls.size(), 1u);
  EXPECT_EQ(d3d.createDeviceCalls[0].window, nullptr);  // offscreen
  EXPECT_EQ(device.references, 1);
  EXPECT_EQ(d3d.references, 0);
}

TEST_F(ProgramTest, ProgressOnATerminalShowsEveryResultsLine) {
  environment.showProgress = true;
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitDone);
  const std::string shown = Drain(out);
  // From the moment a test starts, its name is on the screen: while it loads, while it warms
  // up, then with its measured seconds.
  for (const CatalogueRow& row : Catalogue()) {
    const std::string name = row.name;
    const std::size_t loading = shown.find("\r\033[K" + name + ": loading");
    ASSERT_NE(loading, std::string::npos) << name;
    if (NeedsTextureStages(row)) continue;  // fails on the fake device: no frames
    const std::size_t warming = shown.find("\r\033[K" + name + ": warming up", loading);
    const std::size_t measuring = shown.find("\r\033[K" + name + ": 0.5 s of 0.5 s", loading);
    const std::size_t result = shown.find("\r\033[K" + name + " - 98.303996M pixels/sec\n", loading);
    EXPECT_LT(loading, warming) << name;
    EXPECT_LT(warming, measuring) << name;
    EXPECT_LT(measuring, result) << name;
    EXPECT_NE(result, std::string::npos) << name;
  }
}

TEST_F(ProgramTest, OutputThatIsNoTerminalGetsPlainLinesAndWhereTheResultsAre) {
  environment.showProgress = false;  // a pipe or a CI log
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitDone);
  const std::string shown = Drain(out);
  EXPECT_EQ(shown, "Data files: " RASTRO_DATA_DIR " (source tree)\n" + ReadFile(ResultsPath()) + "Results written to " +
                       ResultsPath().string() + "\n");
  EXPECT_EQ(shown.find_first_of("\r\033"), std::string::npos);
}

TEST_F(ProgramTest, FailuresExitNonZeroAndLeaveTheResultsFileAlone) {
  struct Case {
    const char* what;
    std::vector<std::string_view> arguments;
    std::function<void(ProgramTest&)> arrange;
    int status;
    std::string message;
  };
  const std::vector<Case> cases{
      {"bad option", {"--speed", "9"}, nullptr, kExitUsage, "unknown option '--speed'"},
      {"bad value", {"--seconds", "soon"}, nullptr, kExitUsage, "--seconds soon"},
      {"mode not offered", {"--mode", "800x600"}, nullptr, kExitUsage, "valid modes: 640x480@60, 1024x768@60"},
      {"depth not offered", {"--depth", "D16"}, nullptr, kExitUsage, "valid Z-buffer formats: D24X8\n"},
      // Only what the adapter offers, never a name for formats without one.
      {"no such back buffer",
       {"--backbuffer", "NOPE"},
       nullptr,
       kExitUsage,
       "--backbuffer NOPE: not offered by adapter 0; valid back buffer formats: X8R8G8B8\n"},
      {"no such depth", {"--depth", "Unknown"}, nullptr, kExitUsage, "valid Z-buffer formats: D24X8\n"},
      {"no Direct3D",
       {},
       [](ProgramTest& t) { t.direct3DMissing = true; },
       kExitFailed,
       "Unable to create Direct3D object!"},
      {"no device",
       {},
       [](ProgramTest& t) { t.d3d.deviceToCreate = nullptr; },
       kExitFailed,
       "Unable to create 3D device!"},
      {"nothing usable",
       {},
       [](ProgramTest& t) { t.d3d.adapters[0].depthMatches.clear(); },
       kExitFailed,
       "has both a usable back buffer format"},
  };
  for (const Case& c : cases) {
    ProgramTest& t = *this;
    std::ofstream(ResultsPath()) << "an earlier run\n";
    d3d.references = 1;
    d3d.deviceToCreate = &device;
    d3d.adapters[0].depthMatches = {{D3DFMT_X8R8G8B8, D3DFMT_D24X8}};
    direct3DMissing = false;
    if (c.arrange) c.arrange(t);
    Empty(err);
    EXPECT_EQ(Run(c.arguments), c.status) << c.what;
    const std::string said = Drain(err);
    EXPECT_NE(said.find(c.message), std::string::npos) << c.what << ": " << said;
    EXPECT_EQ(ReadFile(ResultsPath()), "an earlier run\n") << c.what;
    if (!direct3DMissing && c.status == kExitFailed) {
      EXPECT_EQ(d3d.references, 0) << c.what;
    }
  }

  // A --capture folder that cannot be had is a bad option: it is refused before anything runs.
  bool created = false;
  environment.createDirect3D = [&](UINT) -> IDirect3D9* {
    created = true;
    return &d3d;
  };
  const std::string taken = scratch.Write("taken", "a file").string();
  for (const std::string& folder : {taken, taken + "/frames"}) {
    Empty(err);
    EXPECT_EQ(Run({"--headless", "--capture", folder}), kExitUsage) << folder;
    EXPECT_NE(Drain(err).find("--capture " + folder + ": "), std::string::npos) << Drain(err);
    EXPECT_FALSE(created) << folder;
    EXPECT_EQ(ReadFile(taken), "a file");
    EXPECT_EQ(ReadFile(ResultsPath()), "an earlier run\n");
  }
}

TEST_F(ProgramTest, DisplayThatCannotBeOpenedEndsTheRunInsteadOfGoingOffscreen) {
  std::ofstream(ResultsPath()) << "an earlier run\n";
  environment.displayAvailable = true;
  environment.openDisplay = [] { return std::string("cannot open the X display ':9'"); };
  bool created = false;
  environment.createDirect3D = [&](UINT) -> IDirect3D9* {
    created = true;
    return &d3d;
  };
  EXPECT_EQ(Run({"--seconds", "0.5"}), kExitFailed);
  EXPECT_EQ(Drain(err), "rastrometer: cannot open the X display ':9'\n");
  EXPECT_FALSE(created);
  EXPECT_EQ(ReadFile(ResultsPath()), "an earlier run\n");

  // --headless never asks for the display.
  environment.openDisplay = [] {
    ADD_FAILURE() << "display opened for a headless run";
    return std::string("unreachable");
  };
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitDone);
  EXPECT_TRUE(created);
}

TEST(DisplayCheckTest, UnansweredDisplayIsNamedWithAHintAtHeadless) {
  // A display number nothing serves, and no Wayland or driver choice to fall back on.
  struct Saved {
    const char* name;
    std::optional<std::string> value;
  };
  std::vector<Saved> saved;
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "SDL_VIDEODRIVER"}) {
    const char* value = std::getenv(name);
    saved.push_back({name, value ? std::optional<std::string>(value) : std::nullopt});
  }
  ASSERT_FALSE(std::filesystem::exists("/tmp/.X11-unix/X4093"));
  setenv("DISPLAY", ":4093", 1);
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("SDL_VIDEODRIVER");
  const std::string problem = OpenAnnouncedDisplay();
  EXPECT_NE(problem.find("X display ':4093'"), std::string::npos) << problem;
  EXPECT_NE(problem.find("--headless"), std::string::npos) << problem;
  for (const Saved& s : saved) {
    if (s.value) {
      setenv(s.name, s.value->c_str(), 1);
    } else {
      unsetenv(s.name);
    }
  }
  SDL_ResetHint(SDL_HINT_VIDEODRIVER);
}

// Every test the fake device cannot run says why on the error stream, one line each, while
// Results.txt keeps its plain "Failed!".
TEST_F(ProgramTest, EveryFailedTestSaysWhyOnTheErrorStream) {
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitDone);
  std::vector<std::string> lines;
  std::istringstream said(Drain(err));
  for (std::string line; std::getline(said, line);) lines.push_back(line);
  const std::vector<std::string> stageLines{
      "rastrometer: FFP - Single texture failed: the device offers 0 texture stages, the test needs 1",
      "rastrometer: FFP - Dual texture failed: the device offers 0 texture stages, the test needs 2",
      "rastrometer: FFP - Triple texture failed: the device offers 0 texture stages, the test needs 3",
      "rastrometer: FFP - Quad texture failed: the device offers 0 texture stages, the test needs 4"};
  ASSERT_EQ(lines.size(), 6u) << Drain(err);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + 4), stageLines);
  // The lighting tests try both of their textures, which the fake device cannot hold; the line
  // names each file with the folder it came from and the loader's result.
  for (int i : {4, 5}) {
    const std::string& line = lines[static_cast<std::size_t>(i)];
    EXPECT_TRUE(line.starts_with(i == 4 ? "rastrometer: PS 2.0 - Per Pixel Lighting failed: "
                                        : "rastrometer: PS 2.0 PP - Per Pixel Lighting failed: "))
        << line;
    for (const char* file : {"normal.jpg", "texture3.jpg"}) {
      EXPECT_NE(line.find(std::string(file) + " in " RASTRO_DATA_DIR " did not load: "
                                              "D3DXCreateTextureFromFileA returned "),
                std::string::npos)
          << line;
    }
  }
  EXPECT_EQ(ReadFile(ResultsPath()).find("Failed! "), std::string::npos);
}

TEST_F(ProgramTest, FormatNamesAreTakenInAnyCase) {
  EXPECT_EQ(Run({"--headless", "--backbuffer", "x8r8G8b8", "--depth=d24x8", "--seconds", "0.5"}), kExitDone)
      << Drain(err);
  const std::string results = ReadFile(ResultsPath());
  EXPECT_NE(results.find("Display mode: 640x480 X8R8G8B8 60Hz\nZ-Buffer format: D24X8\n"), std::string::npos);
}

// The closing lines say how the run ended; a results file that could not be written is said
// again there and gives its own exit status.
TEST_F(ProgramTest, TheEndOfARunSaysWhatHappened) {
  // Tests 1 and 2 take 25 frames each, 3 to 6 fail on the fake device: Escape comes during 7.
  events.script[55] = {{InputEvent::Kind::kKeyDown, kVirtualKeyEscape}};
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitDone);
  EXPECT_TRUE(Drain(out).ends_with("PS 1.1 - Simple - \nResults written to " + ResultsPath().string() +
                                   "\nEnded by Escape after 6 of 16 tests.\n"))
      << Drain(out);
  Empty(out);
  events.passes = 0;
  events.script = {{30, {{InputEvent::Kind::kClose}}}};  // during test 2
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitDone);
  EXPECT_TRUE(Drain(out).ends_with("\nEnded early (window closed or interrupted) after 1 of 16 tests.\n"))
      << Drain(out);

  Empty(out);
  Empty(err);
  events.script.clear();
  events.passes = 0;
  environment.resultsPath = scratch.Path() / "missing" / "Results.txt";
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitNotWritten);
  const std::string said = Drain(err);
  const std::string closing = "rastrometer: the results were not written to " + environment.resultsPath.string() +
                              ": No such file or directory\n";
  EXPECT_TRUE(said.ends_with(closing)) << said;
  EXPECT_EQ(Drain(out).find("Results written"), std::string::npos);
  EXPECT_NE(UsageText().find("3 Results.txt could not be written"), std::string::npos);

  // A full disk refuses the data only when the file is closed; that is caught as well.
  Empty(out);
  Empty(err);
  events.passes = 0;
  environment.resultsPath = "/dev/full";
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitNotWritten);
  EXPECT_TRUE(Drain(err).ends_with("rastrometer: the results were not written to /dev/full: No space left on device\n"))
      << Drain(err);
}

TEST_F(ProgramTest, ListHelpAndVersionPrintAndTouchNothing) {
  EXPECT_EQ(Run({"--list"}), kExitDone);
  EXPECT_EQ(Drain(out),
            "Adapter 0: Fake Adapter\n"
            "  Display modes:\n"
            "    640x480  X8R8G8B8  60Hz\n"
            "    1024x768  X8R8G8B8  60Hz\n"
            "  Back buffer formats for X8R8G8B8 modes:\n"
            "    X8R8G8B8  Z-buffer formats: D24X8\n");
  Empty(out);
  EXPECT_EQ(Run({"--help"}), kExitDone);
  EXPECT_NE(Drain(out).find("--mode WxH[@Hz]"), std::string::npos);
  Empty(out);
  EXPECT_EQ(Run({"--version"}), kExitDone);
  EXPECT_EQ(Drain(out).rfind("rastrometer ", 0), 0u);
  EXPECT_FALSE(std::filesystem::exists(ResultsPath()));
  EXPECT_TRUE(d3d.createDeviceCalls.empty());
}

}  // namespace
}  // namespace rastro::testing
