#include <gtest/gtest.h>

#include <SDL_keyboard.h>

#include <algorithm>
#include <cstdio>

#include "DataFiles.h"
#include "DialogUnits.h"
#include "ScratchDirectory.h"
#include "TerminalProgress.h"
#include "VirtualKeys.h"

namespace rastro::testing {
namespace {

TEST(VirtualKeysTest, SdlKeysMapToWindowsVirtualKeyCodes) {
  const std::vector<std::pair<SDL_Keycode, int>> table{
      {SDLK_ESCAPE, 27},      {SDLK_a, 0x41},         {SDLK_z, 0x5A},         {SDLK_0, 0x30},
      {SDLK_9, 0x39},         {SDLK_F1, 0x70},        {SDLK_F12, 0x7B},       {SDLK_F13, 0x7C},
      {SDLK_F24, 0x87},       {SDLK_RETURN, 0x0D},    {SDLK_KP_ENTER, 0x0D},  {SDLK_SPACE, 0x20},
      {SDLK_TAB, 0x09},       {SDLK_BACKSPACE, 0x08}, {SDLK_LEFT, 0x25},      {SDLK_UP, 0x26},
      {SDLK_RIGHT, 0x27},     {SDLK_DOWN, 0x28},      {SDLK_LSHIFT, 0x10},    {SDLK_RCTRL, 0x11},
      {SDLK_KP_0, 0x60},      {SDLK_KP_5, 0x65},      {SDLK_KP_9, 0x69},      {SDLK_KP_PLUS, 0x6B},
      {SDLK_SEMICOLON, 0xBA}, {SDLK_QUOTE, 0xDE},     {SDLK_BACKQUOTE, 0xC0}, {SDLK_DELETE, 0x2E},
      {SDLK_PAGEDOWN, 0x22}};
  for (const auto& [sdl, virtualKey] : table) {
    const auto mapped = VirtualKeyFromSdl(sdl);
    ASSERT_TRUE(mapped) << SDL_GetKeyName(sdl);
    EXPECT_EQ(*mapped, virtualKey) << SDL_GetKeyName(sdl);
  }
  EXPECT_FALSE(VirtualKeyFromSdl(SDLK_UNKNOWN));
  EXPECT_FALSE(VirtualKeyFromSdl(SDLK_AUDIOPLAY));
}

// Where the program looks for its data, by where it lies and what RASTROMETER_DATA says.
TEST(DataFilesTest, SearchPathFollowsWhereTheProgramLies) {
  using Folders = std::vector<std::pair<std::string, std::string>>;
  auto folders = [](const char* variable, const std::filesystem::path& program) {
    Folders found;
    for (const DataFolder& folder : DataSearchPath(variable, program)) found.emplace_back(folder.path, folder.origin);
    return found;
  };
  const std::string installed = RASTRO_INSTALL_DATA_DIR;
  const std::string bindir = RASTRO_INSTALL_BINDIR;
  // Named by the variable: that folder alone, wherever the program lies.
  EXPECT_EQ(folders("/my/data", "/opt/r/bin"), (Folders{{"/my/data", "RASTROMETER_DATA"}}));
  EXPECT_EQ(folders("/my/data", RASTRO_BUILD_DIR "/src/app"), (Folders{{"/my/data", "RASTROMETER_DATA"}}));
  // Installed, moved to another prefix: its own prefix first, then the configured one.
  EXPECT_EQ(folders("", "/opt/r/bin"), (Folders{{"/opt/r/bin/data", "beside the program"},
                                                {"/opt/r/share/rastrometer", "installed"},
                                                {installed, "installed"}}));
  // Installed where it was configured to be: the two are one.
  EXPECT_EQ(folders(nullptr, bindir), (Folders{{bindir + "/data", "beside the program"}, {installed, "installed"}}));
  // In its build tree: the source tree's data, never an installed copy.
  EXPECT_EQ(folders(nullptr, RASTRO_BUILD_DIR "/src/app"),
            (Folders{{RASTRO_BUILD_DIR "/src/app/data", "beside the program"}, {RASTRO_DATA_DIR, "source tree"}}));
  // Nowhere known.
  EXPECT_EQ(folders(nullptr, ""), (Folders{{installed, "installed"}, {RASTRO_DATA_DIR, "source tree"}}));
}

TEST(DataFilesTest, TheFirstFolderThatExistsIsChosen) {
  const std::vector<DataFolder> searchPath{{"/a", "beside the program"}, {"/b", "installed"}, {"/c", "source tree"}};
  std::vector<std::filesystem::path> present;
  auto exists = [&present](const std::filesystem::path& path) {
    return std::find(present.begin(), present.end(), path) != present.end();
  };
  EXPECT_FALSE(ChooseDataFolder(searchPath, exists));
  present = {"/c", "/b"};
  const std::optional<DataFolder> chosen = ChooseDataFolder(searchPath, exists);
  ASSERT_TRUE(chosen);
  EXPECT_EQ(chosen->path, "/b");
  EXPECT_EQ(chosen->origin, "installed");
  EXPECT_EQ(SearchPathText(searchPath), "/a, /b, /c");
}

TEST(DialogUnitsTest, ConvertWithTheFontsBaseUnitsRoundingHalfAway) {
  // An 8-point font of 6 x 13 pixel base units.
  const DialogBaseUnits base{6, 13};
  struct Case {
    DialogRect units;
    DialogRect pixels;
  };
  const std::vector<Case> cases{
      {{0, 0, 164, 147}, {0, 0, 246, 239}},    // 164*6/4 = 246, 147*13/8 = 238.875
      {{5, 5, 155, 115}, {8, 8, 233, 187}},    // 7.5 -> 8, 8.125 -> 8, 232.5 -> 233, 186.875 -> 187
      {{10, 25, 145, 12}, {15, 41, 218, 20}},  // 40.625 -> 41, 217.5 -> 218, 19.5 -> 20
  };
  for (const Case& c : cases) {
    const DialogRect got = ToPixels(c.units, base);
    EXPECT_EQ(got.x, c.pixels.x);
    EXPECT_EQ(got.y, c.pixels.y);
    EXPECT_EQ(got.width, c.pixels.width);
    EXPECT_EQ(got.height, c.pixels.height);
  }
  // The letters A-Z a-z 286 pixels wide: 286 / 26 = 11, (11 + 1) / 2 = 6.
  EXPECT_EQ(AverageCharacterWidth(286), 6);
  EXPECT_EQ(AverageCharacterWidth(259), 5);  // 9, then (9 + 1) / 2
}

TEST(TerminalProgressTest, ShowsTheCurrentTestFromItsStartAndEachFinishedLine) {
  ScratchDirectory scratch;
  const auto outPath = scratch.Path() / "out.txt";
  const auto errPath = scratch.Path() / "err.txt";
  for (bool onTerminal : {true, false}) {
    std::FILE* out = std::fopen(outPath.c_str(), "w");
    std::FILE* err = std::fopen(errPath.c_str(), "w");
    ASSERT_NE(out, nullptr);
    ASSERT_NE(err, nullptr);
    {
      TerminalProgress progress(out, err, onTerminal);
      progress.Written("Rastrometer\n");
      progress.Written("A - ");
      progress.Loading("A");
      progress.WarmingUp("A");
      progress.WarmingUp("A");  // the same: not redrawn
      progress.Measured("A", 1.25, 5.0);
      progress.Measured("A", 1.27, 5.0);  // the same tenth: not redrawn
      progress.Written("1.500000M pixels/sec\n");
      progress.Written("B - ");
      progress.Loading("B");
      progress.Written("Failed!\n");
      progress.Failed("B", "b.psh not found in /data");
      progress.Written("C - ");
    }
    std::fclose(out);
    std::fclose(err);
    EXPECT_EQ(ReadFile(outPath), onTerminal ? "Rastrometer\n"
                                              "\r\033[KA: loading"
                                              "\r\033[KA: warming up"
                                              "\r\033[KA: 1.2 s of 5.0 s"
                                              "\r\033[KA - 1.500000M pixels/sec\n"
                                              "\r\033[KB: loading"
                                              "\r\033[KB - Failed!\n"
                                              "C - \n"
                                            : "Rastrometer\nA - 1.500000M pixels/sec\nB - Failed!\nC - \n");
    EXPECT_EQ(ReadFile(errPath), "rastrometer: B failed: b.psh not found in /data\n");
  }
}

}  // namespace
}  // namespace rastro::testing
