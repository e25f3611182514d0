// The whole program on the Direct3D layer's own device core, with the renderer that only keeps
// resources and counts what it is asked to draw.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "CatalogueLines.h"
#include "DebugOutput.h"
#include "DeviceProfile.h"
#include "Fakes.h"
#include "Program.h"
#include "ScratchDirectory.h"

namespace rastro::testing {
namespace {

class DeviceCoreRunTest : public ::testing::Test {
 protected:
  DeviceCoreRunTest() {
    profile.description = "Core Adapter";
    profile.driverVersion = 0x0006000E000A1234ull;
    profile.displayModes = {{640, 480, 60, D3DFMT_X8R8G8B8}, {1024, 768, 75, D3DFMT_X8R8G8B8}};
    profile.deviceTypes = {{D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, true, true}};
    profile.depthStencilMatches = {{D3DFMT_X8R8G8B8, D3DFMT_D24S8}};
    environment.clock = &clock;
    environment.events = &events;
    environment.resultsPath = scratch.Path() / "Results.txt";
    environment.dataSearchPath = {{RASTRO_DATA_DIR, "source tree"}};
    environment.out = out;
    environment.err = err;
  }
  ~DeviceCoreRunTest() override {
    std::fclose(out);
    std::fclose(err);
  }

  // Everything written to `stream` so far.
  static std::string Said(std::FILE* stream) {
    std::fflush(stream);
    std::string text;
    std::rewind(stream);
    char buffer[512];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, stream)) > 0;) text.append(buffer, got);
    return text;
  }

  int Run(std::vector<std::string_view> arguments) {
    environment.createDirect3D = [this](UINT) { return CreateDirect3D({ResourceOnlyAdapter(profile, probe)}); };
    return RunProgram(arguments, environment);
  }

  // Every test measures on the device core: `rate` for those that draw 32 quads a frame, half
  // of it for those that draw 16.
  static std::string Expected(const char* rate, const char* halfRate) {
    std::string text =
        "Rastrometer\n"
        "--------------------------\n"
        "Display adapter: Core Adapter\n"
        "Driver version: 6.14.10.4660\n"
        "Display mode: 1024x768 X8R8G8B8 75Hz\n"
        "Z-Buffer format: D24S8\n"
        "--------------------------\n"
        "\n";
    text += CatalogueLines([rate, halfRate](const CatalogueRow& row) -> std::optional<std::string> {
      EXPECT_TRUE(row.pixelFactor == 32u || row.pixelFactor == 16u) << row.name;
      return std::string(row.pixelFactor == 32u ? rate : halfRate);
    });
    return text;
  }

  ScratchDirectory scratch;
  DeviceProfile profile = CapableProfile();
  std::shared_ptr<ResourceOnlyProbe> probe = std::make_shared<ResourceOnlyProbe>();
  FakeClock clock{10, [](int) { return 1; }};  // 0.1 s per frame
  ScriptedEvents events;
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ProgramEnvironment environment;
};

TEST_F(DeviceCoreRunTest, TestsOneAndTwoRunOnTheDeviceCore) {
  ASSERT_EQ(Run({"--headless", "--mode", "1024x768", "--seconds", "0.5"}), kExitDone);
  // 6 counted frames over 0.6f s: 32 x (1024 x 768 x 1e-6f) x 6 / 0.6f
  EXPECT_EQ(ReadFile(scratch.Path() / "Results.txt"), Expected("251.658229", "125.829115"));
  EXPECT_EQ(probe->devicesCreated, 1u);
  // 25 frames per test (19 to warm up, 6 counted), and one more before the end.
  const unsigned frames = 25u * static_cast<unsigned>(Catalogue().size());
  EXPECT_EQ(probe->presents, frames + 1);
  EXPECT_EQ(probe->clears, frames + 1);
  EXPECT_EQ(probe->draws, QuadsDrawn(25u));
  EXPECT_EQ(probe->primitives, QuadsDrawn(25u) * 2u);
  EXPECT_EQ(probe->lastPrimitiveType, D3DPT_TRIANGLESTRIP);
  EXPECT_EQ(probe->lastClearFlags, 7u);  // D24S8 has stencil
  EXPECT_EQ(probe->lastClearColor, 0u);
  EXPECT_EQ(probe->lastClearZ, 1.0f);
  EXPECT_EQ(probe->lastClearStencil, 0u);
}

std::vector<std::string> debugLines;
void CaptureDebugLine(const char* line) { debugLines.emplace_back(line); }

TEST_F(DeviceCoreRunTest, PlainRunPrintsNoDebugLines) {
  // Enumerating the settings asks many capability questions; a "no" is an answer, not a failure.
  ::setenv("RASTROMETER_D3D_DEBUG", "1", 1);
  SetDebugOutputSink(&CaptureDebugLine);
  debugLines.clear();
  const int status = Run({"--headless", "--seconds", "0.5"});
  SetDebugOutputSink(nullptr);
  ::unsetenv("RASTROMETER_D3D_DEBUG");
  EXPECT_EQ(status, kExitDone);
  EXPECT_TRUE(debugLines.empty()) << debugLines.size() << " lines, the first: " << debugLines.front();
}

TEST_F(DeviceCoreRunTest, ScenesThatFailToBeginCountNothing) {
  probe->failingBeginScenes = 9;
  ASSERT_EQ(Run({"--headless", "--mode", "1024x768", "--seconds", "0.5"}), kExitDone);
  EXPECT_EQ(ReadFile(scratch.Path() / "Results.txt"), Expected("251.658229", "125.829115"));
  const unsigned frames = 25u * static_cast<unsigned>(Catalogue().size());
  EXPECT_EQ(probe->beginScenes, frames + 1);
  EXPECT_EQ(probe->presents, frames + 1);
  EXPECT_EQ(probe->draws, QuadsDrawn(25u));
}

TEST_F(DeviceCoreRunTest, EscapeLeavesTheCurrentLineWithoutARate) {
  events.script[30] = {{InputEvent::Kind::kKeyDown, kVirtualKeyEscape}};
  ASSERT_EQ(Run({"--headless", "--mode", "1024x768", "--seconds", "0.5"}), kExitDone);
  const std::string results = ReadFile(scratch.Path() / "Results.txt");
  EXPECT_TRUE(results.ends_with("FFP - Pure fillrate - 251.658229M pixels/sec\nFFP - Z pixel rate - ")) << results;
  EXPECT_EQ(probe->presents, 31u);
}

TEST_F(DeviceCoreRunTest, DeviceWithoutPixelShader20FailsTests9To16AndRunsTheRest) {
  profile.caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
  ASSERT_EQ(Run({"--headless", "--mode", "1024x768", "--seconds", "0.5"}), kExitDone);
  std::string expected;
  for (const CatalogueRow& row : Catalogue()) {
    bool version2 = std::string(row.name).starts_with("PS 2.0");
    expected += std::string(row.name) + " - " +
                (version2 ? std::string("Failed!") : std::string("251.658229M pixels/sec")) + "\n";
  }
  const std::string results = ReadFile(scratch.Path() / "Results.txt");
  EXPECT_TRUE(results.ends_with(expected)) << results;
}

// A data folder beside the program that lacks SimplePS14.vsh and holds a SimplePS20.psh that does
// not assemble: every file comes from that folder, never from the source tree's copy, and the two
// tests that read the bad files fail and say why.
TEST_F(DeviceCoreRunTest, EveryFileComesFromTheOneDataFolderChosen) {
  const std::filesystem::path beside = scratch.Path() / "bin" / "data";
  for (const auto& entry : std::filesystem::directory_iterator(RASTRO_DATA_DIR)) {
    if (entry.path().filename() != "SimplePS14.vsh")
      scratch.Write("bin/data" / entry.path().filename(), ReadFile(entry));
  }
  scratch.Write("bin/data/SimplePS20.psh", "ps_2_0\nbogus r0, v0\nmov oC0, v0\n");
  environment.dataSearchPath = {{beside, "beside the program"}, {RASTRO_DATA_DIR, "source tree"}};
  ASSERT_EQ(Run({"--headless", "--mode", "1024x768", "--seconds", "0.5"}), kExitDone);

  std::string expected = CatalogueLines([](const CatalogueRow& row) -> std::optional<std::string> {
    const std::string name = row.name;
    if (name == "PS 1.4 - Simple" || name == "PS 2.0 - Simple") return std::nullopt;
    return std::string(row.pixelFactor == 32u ? "251.658229" : "125.829115");
  });
  const std::string results = ReadFile(scratch.Path() / "Results.txt");
  EXPECT_TRUE(results.ends_with(expected)) << results;
  EXPECT_TRUE(Said(out).starts_with("Data files: " + beside.string() + " (beside the program)\n")) << Said(out);
  std::istringstream lines(Said(err));
  std::string line;
  ASSERT_TRUE(std::getline(lines, line));
  EXPECT_EQ(line, "rastrometer: PS 1.4 - Simple failed: SimplePS14.vsh not found in " + beside.string());
  ASSERT_TRUE(std::getline(lines, line));
  const std::string assembly = "rastrometer: PS 2.0 - Simple failed: SimplePS20.psh in " + beside.string() +
                               " does not assemble: " + (beside / "SimplePS20.psh").string() + "(2): error X";
  EXPECT_TRUE(line.starts_with(assembly)) << line;
  EXPECT_FALSE(std::getline(lines, line)) << line;
}

TEST_F(DeviceCoreRunTest, AFolderNamedByTheVariableMustExistAndNoneAtAllIsSaid) {
  const std::filesystem::path named = scratch.Path() / "no-such-data";
  environment.dataSearchPath = {{named, "RASTROMETER_DATA"}};
  EXPECT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitUsage);
  EXPECT_EQ(Said(err), "rastrometer: RASTROMETER_DATA=" + named.string() + ": no such folder\n");
  EXPECT_EQ(probe->devicesCreated, 0u);
  EXPECT_FALSE(std::filesystem::exists(scratch.Path() / "Results.txt"));

  // Found nowhere: the run goes on, and the tests that need files fail saying so.
  const std::filesystem::path beside = scratch.Path() / "bin" / "data";
  environment.dataSearchPath = {{beside, "beside the program"}};
  ASSERT_EQ(ftruncate(fileno(err), 0), 0);
  std::rewind(err);
  ASSERT_EQ(Run({"--headless", "--seconds", "0.5"}), kExitDone);
  const std::string said = Said(err);
  EXPECT_TRUE(said.starts_with("rastrometer: no data folder found (looked in " + beside.string() +
                               "); the tests that read data files will fail\n"))
      << said;
  EXPECT_NE(said.find("rastrometer: FFP - Single texture failed: texture1.jpg not found: no data folder\n"),
            std::string::npos)
      << said;
  EXPECT_NE(said.find("rastrometer: PS 1.1 - Simple failed: SimplePS11.psh not found: no data folder\n"),
            std::string::npos)
      << said;
}

}  // namespace
}  // namespace rastro::testing
