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

TEST(DataFilesTest, FirstDirectoryHoldingTheFileWins) {
  const std::vector<std::filesystem::path> directories{"/opt/r/share/rastrometer", "/opt/r/bin/data", "/src/data"};
  std::vector<std::filesystem::path> present;
  auto exists = [&present](const std::filesystem::path& path) {
    return std::find(present.begin(), present.end(), path) != present.end();
  };
  EXPECT_EQ(ResolveDataFile("texture1.jpg", directories, exists), "texture1.jpg");
  present = {"/src/data/texture1.jpg"};
  EXPECT_EQ(ResolveDataFile("texture1.jpg", directories, exists), "/src/data/texture1.jpg");
  present.push_back("/opt/r/share/rastrometer/texture1.jpg");
  EXPECT_EQ(ResolveDataFile("texture1.jpg", directories, exists), "/opt/r/share/rastrometer/texture1.jpg");
}

TEST(DataFilesTest, InstalledLocationComesFirstThenBesideTheProgramThenTheSourceTree) {
  const auto directories = DataDirectories("/opt/r/bin");
  ASSERT_EQ(directories.size(), 3u);
  EXPECT_EQ(directories[0], "/opt/r/share/rastrometer");
  EXPECT_EQ(directories[1], "/opt/r/bin/data");
  EXPECT_EQ(directories[2].filename(), "data");
  // The source tree's data directory is found from any working directory.
  EXPECT_TRUE(directories[2].is_absolute());
  EXPECT_TRUE(std::filesystem::exists(directories[2] / "README.md"));
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

TEST(TerminalProgressTest, ShowsTheCurrentTestAndEachFinishedLine) {
  ScratchDirectory scratch;
  const auto path = scratch.Path() / "progress.txt";
  {
    std::FILE* out = std::fopen(path.c_str(), "w");
    ASSERT_NE(out, nullptr);
    {
      TerminalProgress progress(out, true);
      progress.Written("Rastrometer\n");
      progress.Written("A - ");
      progress.Measured("A", 1.25, 5.0);
      progress.Measured("A", 1.27, 5.0);  // same tenth: not redrawn
      progress.Written("1.500000M pixels/sec\n");
      progress.Written("B - ");
    }
    std::fclose(out);
  }
  EXPECT_EQ(ReadFile(path),
            "Rastrometer\n"
            "\r\033[KA: 1.2 s of 5.0 s"
            "\r\033[KA - 1.500000M pixels/sec\n"
            "B - \n");
}

}  // namespace
}  // namespace rastro::testing
