#include <gtest/gtest.h>

#include <sstream>

#include "Fakes.h"
#include "FormatName.h"
#include "SettingsChoice.h"
#include "SettingsModel.h"

namespace rastro::testing {
namespace {

D3DDISPLAYMODE Mode(UINT width, UINT height, UINT refresh, D3DFORMAT format) {
  return {width, height, refresh, format};
}

// Adapter 0: 640x480 and 800x600 in X8R8G8B8, 640x480 in R5G6B5. Over X8R8G8B8 the back
// buffer may be X8R8G8B8 or A8R8G8B8; over R5G6B5 only R5G6B5. Depth: D16 with everything,
// D24S8 only with 32-bit back buffers, D24X8 only with A8R8G8B8.
FakeAdapter TwoFormatAdapter() {
  FakeAdapter adapter;
  adapter.description = "First Adapter";
  adapter.modes[D3DFMT_X8R8G8B8] = {Mode(640, 480, 60, D3DFMT_X8R8G8B8), Mode(800, 600, 75, D3DFMT_X8R8G8B8)};
  adapter.modes[D3DFMT_R5G6B5] = {Mode(640, 480, 60, D3DFMT_R5G6B5)};
  adapter.backBuffers = {
      {D3DFMT_X8R8G8B8, D3DFMT_A8R8G8B8}, {D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8}, {D3DFMT_R5G6B5, D3DFMT_R5G6B5}};
  for (D3DFORMAT display : {D3DFMT_X8R8G8B8, D3DFMT_R5G6B5}) {
    for (D3DFORMAT depth : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8}) adapter.depthFormats.insert({display, depth});
  }
  adapter.depthMatches = {{D3DFMT_X8R8G8B8, D3DFMT_D16},   {D3DFMT_A8R8G8B8, D3DFMT_D16},
                          {D3DFMT_R5G6B5, D3DFMT_D16},     {D3DFMT_X8R8G8B8, D3DFMT_D24S8},
                          {D3DFMT_A8R8G8B8, D3DFMT_D24S8}, {D3DFMT_A8R8G8B8, D3DFMT_D24X8}};
  return adapter;
}

// Adapter 1: one A2R10G10B10 mode and one A1R5G5B5 mode.
FakeAdapter WideAdapter() {
  FakeAdapter adapter;
  adapter.description = "Second Adapter";
  adapter.modes[D3DFMT_A1R5G5B5] = {Mode(1280, 1024, 85, D3DFMT_A1R5G5B5)};
  adapter.modes[D3DFMT_A2R10G10B10] = {Mode(1600, 1200, 60, D3DFMT_A2R10G10B10)};
  adapter.backBuffers = {{D3DFMT_A2R10G10B10, D3DFMT_A2R10G10B10}, {D3DFMT_A1R5G5B5, D3DFMT_A1R5G5B5}};
  adapter.depthFormats = {{D3DFMT_A2R10G10B10, D3DFMT_D32}, {D3DFMT_A1R5G5B5, D3DFMT_D15S1}};
  adapter.depthMatches = {{D3DFMT_A2R10G10B10, D3DFMT_D32}, {D3DFMT_A1R5G5B5, D3DFMT_D15S1}};
  return adapter;
}

using Entries = std::vector<std::string>;

TEST(FormatNameTest, NamesEveryListedFormatAndCallsTheRestUnknown) {
  const std::vector<std::pair<DWORD, std::string>> table{
      {21, "A8R8G8B8"},    {22, "X8R8G8B8"},     {23, "R5G6B5"},  {24, "X1R5G5B5"},      {25, "A1R5G5B5"},
      {35, "A2R10G10B10"}, {70, "D16_LOCKABLE"}, {71, "D32"},     {73, "D15S1"},         {75, "D24S8"},
      {77, "D24X8"},       {79, "D24X4S4"},      {80, "D16"},     {82, "D32F_LOCKABLE"}, {83, "D24FS8"},
      {0, "Unknown"},      {20, "Unknown"},      {72, "Unknown"}, {74, "Unknown"},       {0x31545844, "Unknown"}};
  for (const auto& [value, name] : table) {
    EXPECT_EQ(FormatName(static_cast<D3DFORMAT>(value)), name) << value;
    if (name != "Unknown") {
      EXPECT_EQ(FormatFromName(name), static_cast<D3DFORMAT>(value));
    }
  }
  EXPECT_FALSE(FormatFromName("Unknown"));
  EXPECT_FALSE(FormatFromName("X8R8G8B"));
  // A name may be given in any case.
  EXPECT_EQ(FormatFromName("x8r8g8b8"), D3DFMT_X8R8G8B8);
  EXPECT_EQ(FormatFromName("d16_Lockable"), D3DFMT_D16_LOCKABLE);
}

TEST(SettingsModelTest, InitialListsFollowTheDisplayFormatOrderAndTheFirstEntries) {
  FakeDirect3D d3d;
  d3d.adapters = {TwoFormatAdapter(), WideAdapter()};
  SettingsModel model(d3d);
  model.Initialise();

  EXPECT_EQ(model.Adapters().entries, (Entries{"First Adapter", "Second Adapter"}));
  EXPECT_EQ(model.Adapters().selected, 0);
  // No A2R10G10B10 or A8R8G8B8 modes: the list starts with the X8R8G8B8 ones.
  EXPECT_EQ(model.Modes().entries,
            (Entries{"640x480  X8R8G8B8  60Hz", "800x600  X8R8G8B8  75Hz", "640x480  R5G6B5  60Hz"}));
  EXPECT_EQ(model.Modes().selected, 0);
  EXPECT_EQ(model.BackBuffers().entries, (Entries{"A8R8G8B8", "X8R8G8B8"}));  // scan order: 21, 22
  EXPECT_EQ(model.BackBuffers().selected, 0);
  EXPECT_EQ(model.Depths().entries, (Entries{"D24S8", "D24X8", "D16"}));  // scan order: 75, 77, 80
  EXPECT_EQ(model.Depths().selected, 0);
}

TEST(SettingsModelTest, ModeAtWalksTheFormatsInListOrder) {
  FakeDirect3D d3d;
  d3d.adapters = {TwoFormatAdapter(), WideAdapter()};
  struct Case {
    UINT adapter;
    UINT position;
    D3DDISPLAYMODE expected;
  };
  const std::vector<Case> cases{
      {0, 0, Mode(640, 480, 60, D3DFMT_X8R8G8B8)},   {0, 1, Mode(800, 600, 75, D3DFMT_X8R8G8B8)},
      {0, 2, Mode(640, 480, 60, D3DFMT_R5G6B5)},     {1, 0, Mode(1600, 1200, 60, D3DFMT_A2R10G10B10)},
      {1, 1, Mode(1280, 1024, 85, D3DFMT_A1R5G5B5)},
  };
  for (const Case& c : cases) {
    D3DDISPLAYMODE mode{};
    ASSERT_TRUE(ModeAt(d3d, c.adapter, c.position, mode)) << c.adapter << "/" << c.position;
    EXPECT_EQ(mode.Width, c.expected.Width);
    EXPECT_EQ(mode.Height, c.expected.Height);
    EXPECT_EQ(mode.RefreshRate, c.expected.RefreshRate);
    EXPECT_EQ(mode.Format, c.expected.Format);
  }
  D3DDISPLAYMODE untouched{1, 2, 3, D3DFMT_D16};
  EXPECT_FALSE(ModeAt(d3d, 0, 3, untouched));
  EXPECT_FALSE(ModeAt(d3d, 1, 2, untouched));
  EXPECT_EQ(untouched.Width, 1u);
  EXPECT_EQ(untouched.Format, D3DFMT_D16);
}

TEST(SettingsModelTest, FormatLookupsGiveUnknownPastTheEndOfTheScan) {
  FakeDirect3D d3d;
  d3d.adapters = {TwoFormatAdapter()};
  EXPECT_EQ(BackBufferFormatAt(d3d, 0, D3DFMT_X8R8G8B8, 0), D3DFMT_A8R8G8B8);
  EXPECT_EQ(BackBufferFormatAt(d3d, 0, D3DFMT_X8R8G8B8, 1), D3DFMT_X8R8G8B8);
  EXPECT_EQ(BackBufferFormatAt(d3d, 0, D3DFMT_X8R8G8B8, 2), D3DFMT_UNKNOWN);
  EXPECT_EQ(DepthFormatAt(d3d, 0, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 1), D3DFMT_D16);
  EXPECT_EQ(DepthFormatAt(d3d, 0, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8, 2), D3DFMT_UNKNOWN);
}

TEST(SettingsModelTest, ScansCoverBothEndsOfTheirRanges) {
  FakeDirect3D d3d;
  FakeAdapter everything;
  everything.modes[D3DFMT_X8R8G8B8] = {Mode(640, 480, 60, D3DFMT_X8R8G8B8)};
  for (DWORD value = 0; value < 200; ++value) {
    const auto format = static_cast<D3DFORMAT>(value);
    everything.backBuffers.insert({D3DFMT_X8R8G8B8, format});
    everything.depthFormats.insert({D3DFMT_X8R8G8B8, format});
    for (DWORD other = 0; other < 200; ++other) everything.depthMatches.insert({format, static_cast<D3DFORMAT>(other)});
  }
  d3d.adapters = {everything};
  const auto backBuffers = BackBufferFormats(d3d, 0, D3DFMT_X8R8G8B8);
  ASSERT_EQ(backBuffers.size(), 53u);  // 0 to 52
  EXPECT_EQ(backBuffers.front(), static_cast<D3DFORMAT>(0));
  EXPECT_EQ(backBuffers.back(), static_cast<D3DFORMAT>(52));
  const auto depths = DepthFormats(d3d, 0, D3DFMT_X8R8G8B8, D3DFMT_X8R8G8B8);
  ASSERT_EQ(depths.size(), 30u);  // 70 to 99
  EXPECT_EQ(depths.front(), static_cast<D3DFORMAT>(70));
  EXPECT_EQ(depths.back(), static_cast<D3DFORMAT>(99));
}

TEST(SettingsModelTest, ChoicesCascadeDownwardAndResetTheListsBelow) {
  FakeDirect3D d3d;
  d3d.adapters = {TwoFormatAdapter(), WideAdapter()};
  SettingsModel model(d3d);
  model.Initialise();

  // A new back-buffer format re-checks the depth list against it and leaves the modes alone.
  model.ChooseMode(1);
  model.ChooseBackBuffer(1);  // X8R8G8B8: D24X8 does not match it
  EXPECT_EQ(model.Modes().selected, 1);
  EXPECT_EQ(model.Depths().entries, (Entries{"D24S8", "D16"}));
  model.ChooseDepth(1);
  EXPECT_EQ(model.Depths().selected, 1);

  // A new mode re-fills both format lists and selects their first entries.
  model.ChooseMode(2);
  EXPECT_EQ(model.BackBuffers().entries, (Entries{"R5G6B5"}));
  EXPECT_EQ(model.BackBuffers().selected, 0);
  EXPECT_EQ(model.Depths().entries, (Entries{"D16"}));
  EXPECT_EQ(model.Depths().selected, 0);

  // A new adapter re-fills all three lists from that adapter.
  model.ChooseAdapter(1);
  EXPECT_EQ(model.Modes().entries, (Entries{"1600x1200  A2R10G10B10  60Hz", "1280x1024  A1R5G5B5  85Hz"}));
  EXPECT_EQ(model.Modes().selected, 0);
  EXPECT_EQ(model.BackBuffers().entries, (Entries{"A2R10G10B10"}));
  EXPECT_EQ(model.Depths().entries, (Entries{"D32"}));

  UINT adapterIndex = 0;
  D3DPRESENT_PARAMETERS params{};
  std::string problem;
  model.ChooseMode(1);
  ASSERT_TRUE(model.Accept(adapterIndex, params, problem));
  EXPECT_EQ(adapterIndex, 1u);
  EXPECT_EQ(params.BackBufferWidth, 1280u);
  EXPECT_EQ(params.BackBufferHeight, 1024u);
  EXPECT_EQ(params.FullScreen_RefreshRateInHz, 85u);
  EXPECT_EQ(params.BackBufferFormat, D3DFMT_A1R5G5B5);
  EXPECT_EQ(params.EnableAutoDepthStencil, TRUE);
  EXPECT_EQ(params.AutoDepthStencilFormat, D3DFMT_D15S1);
  // OK stores only the settings' own fields.
  EXPECT_EQ(params.BackBufferCount, 0u);
  EXPECT_EQ(params.Windowed, FALSE);
}

TEST(SettingsModelTest, AcceptStoresTheSelectedFormatsByScanPosition) {
  FakeDirect3D d3d;
  d3d.adapters = {TwoFormatAdapter()};
  SettingsModel model(d3d);
  model.Initialise();
  model.ChooseBackBuffer(0);  // A8R8G8B8
  model.ChooseDepth(1);       // D24X8
  UINT adapterIndex = 7;
  D3DPRESENT_PARAMETERS params{};
  std::string problem;
  ASSERT_TRUE(model.Accept(adapterIndex, params, problem));
  EXPECT_EQ(adapterIndex, 0u);
  EXPECT_EQ(params.BackBufferWidth, 640u);
  EXPECT_EQ(params.BackBufferFormat, D3DFMT_A8R8G8B8);
  EXPECT_EQ(params.AutoDepthStencilFormat, D3DFMT_D24X8);
}

TEST(SettingsModelTest, EmptyListsLeaveOkUnableToProceed) {
  struct Case {
    const char* what;
    FakeAdapter adapter;
    const char* problemMentions;
  };
  FakeAdapter noModes = TwoFormatAdapter();
  noModes.modes.clear();
  FakeAdapter noBackBuffers = TwoFormatAdapter();
  noBackBuffers.backBuffers.clear();
  FakeAdapter noDepths = TwoFormatAdapter();
  noDepths.depthMatches.clear();
  const std::vector<Case> cases{{"no modes", noModes, "display mode"},
                                {"no back buffers", noBackBuffers, "back buffer"},
                                {"no depth formats", noDepths, "Z-buffer"}};
  for (const Case& c : cases) {
    FakeDirect3D d3d;
    d3d.adapters = {c.adapter};
    SettingsModel model(d3d);
    model.Initialise();
    UINT adapterIndex = 5;
    D3DPRESENT_PARAMETERS params{};
    params.BackBufferWidth = 99;
    std::string problem;
    EXPECT_FALSE(model.Accept(adapterIndex, params, problem)) << c.what;
    EXPECT_NE(problem.find(c.problemMentions), std::string::npos) << c.what << ": " << problem;
    EXPECT_EQ(adapterIndex, 5u) << c.what;
    EXPECT_EQ(params.BackBufferWidth, 99u) << c.what;
    EXPECT_EQ(params.EnableAutoDepthStencil, FALSE) << c.what;
  }

  FakeDirect3D none;
  SettingsModel model(none);
  model.Initialise();
  EXPECT_TRUE(model.Adapters().entries.empty());
  EXPECT_EQ(model.Modes().selected, kNoSelection);
  UINT adapterIndex = 0;
  D3DPRESENT_PARAMETERS params{};
  std::string problem;
  EXPECT_FALSE(model.Accept(adapterIndex, params, problem));
  EXPECT_FALSE(problem.empty());
}

TEST(ChooseSettingsTest, EmptyRequestTakesTheDialogsInitialChoice) {
  FakeDirect3D d3d;
  d3d.adapters = {TwoFormatAdapter(), WideAdapter()};
  UINT adapterIndex = 3;
  D3DPRESENT_PARAMETERS params{};
  const ChoiceResult result = ChooseSettings(d3d, {}, adapterIndex, params);
  ASSERT_EQ(result.outcome, ChoiceOutcome::kChosen) << result.message;
  EXPECT_EQ(adapterIndex, 0u);
  EXPECT_EQ(params.BackBufferWidth, 640u);
  EXPECT_EQ(params.BackBufferHeight, 480u);
  EXPECT_EQ(params.FullScreen_RefreshRateInHz, 60u);
  EXPECT_EQ(params.BackBufferFormat, D3DFMT_A8R8G8B8);
  EXPECT_EQ(params.AutoDepthStencilFormat, D3DFMT_D24S8);
  EXPECT_EQ(params.EnableAutoDepthStencil, TRUE);
}

TEST(ChooseSettingsTest, RequestsPickTheFirstListedEntryThatFitsThemAll) {
  struct Case {
    const char* what;
    SettingsRequest request;
    UINT adapter;
    UINT width;
    D3DFORMAT backBuffer;
    D3DFORMAT depth;
  };
  const std::vector<Case> cases{
      {"size only",
       {std::nullopt, ModeRequest{800, 600, std::nullopt}, std::nullopt, std::nullopt},
       0,
       800,
       D3DFMT_A8R8G8B8,
       D3DFMT_D24S8},
      // 640x480 is listed first in X8R8G8B8, but only its R5G6B5 mode offers that back buffer.
      {"back buffer decides the mode",
       {std::nullopt, ModeRequest{640, 480, 60}, "R5G6B5", std::nullopt},
       0,
       640,
       D3DFMT_R5G6B5,
       D3DFMT_D16},
      {"depth", {std::nullopt, std::nullopt, "X8R8G8B8", "D16"}, 0, 640, D3DFMT_X8R8G8B8, D3DFMT_D16},
      {"other adapter", {1u, std::nullopt, std::nullopt, "D15S1"}, 1, 1280, D3DFMT_A1R5G5B5, D3DFMT_D15S1},
  };
  for (const Case& c : cases) {
    FakeDirect3D d3d;
    d3d.adapters = {TwoFormatAdapter(), WideAdapter()};
    UINT adapterIndex = 9;
    D3DPRESENT_PARAMETERS params{};
    const ChoiceResult result = ChooseSettings(d3d, c.request, adapterIndex, params);
    ASSERT_EQ(result.outcome, ChoiceOutcome::kChosen) << c.what << ": " << result.message;
    EXPECT_EQ(adapterIndex, c.adapter) << c.what;
    EXPECT_EQ(params.BackBufferWidth, c.width) << c.what;
    EXPECT_EQ(params.BackBufferFormat, c.backBuffer) << c.what;
    EXPECT_EQ(params.AutoDepthStencilFormat, c.depth) << c.what;
  }
}

TEST(ChooseSettingsTest, UnofferedRequestsNameTheValidChoicesAndStoreNothing) {
  struct Case {
    SettingsRequest request;
    std::vector<std::string> mentions;
  };
  const std::vector<Case> cases{
      {{5u, std::nullopt, std::nullopt, std::nullopt}, {"--adapter 5", "0 (First Adapter)", "1 (Second Adapter)"}},
      {{std::nullopt, ModeRequest{1024, 768, std::nullopt}, std::nullopt, std::nullopt},
       {"--mode 1024x768", "640x480@60", "800x600@75"}},
      {{std::nullopt, ModeRequest{800, 600, 60}, std::nullopt, std::nullopt}, {"--mode 800x600@60", "800x600@75"}},
      {{std::nullopt, ModeRequest{800, 600, std::nullopt}, "R5G6B5", std::nullopt},
       {"--backbuffer R5G6B5", "A8R8G8B8, X8R8G8B8"}},
      {{std::nullopt, std::nullopt, "X8R8G8B8", "D24X8"}, {"--depth D24X8", "D24S8, D16"}},
      // In the order --list shows them.
      {{std::nullopt, std::nullopt, "NOPE", std::nullopt},
       {"--backbuffer NOPE", "valid back buffer formats: A8R8G8B8, X8R8G8B8, R5G6B5"}},
      {{1u, std::nullopt, "NOPE", std::nullopt}, {"valid back buffer formats: A2R10G10B10, A1R5G5B5"}},
  };
  for (const Case& c : cases) {
    FakeDirect3D d3d;
    d3d.adapters = {TwoFormatAdapter(), WideAdapter()};
    UINT adapterIndex = 9;
    D3DPRESENT_PARAMETERS params{};
    const ChoiceResult result = ChooseSettings(d3d, c.request, adapterIndex, params);
    EXPECT_EQ(result.outcome, ChoiceOutcome::kNotOffered) << result.message;
    for (const std::string& mention : c.mentions) {
      EXPECT_NE(result.message.find(mention), std::string::npos) << result.message << " lacks " << mention;
    }
    EXPECT_EQ(adapterIndex, 9u);
    EXPECT_EQ(params.BackBufferWidth, 0u);
  }
}

TEST(ChooseSettingsTest, NoCompleteChoiceAtAllIsNotAUsageError) {
  FakeDirect3D d3d;
  FakeAdapter adapter = TwoFormatAdapter();
  adapter.depthMatches.clear();
  d3d.adapters = {adapter};
  UINT adapterIndex = 0;
  D3DPRESENT_PARAMETERS params{};
  EXPECT_EQ(ChooseSettings(d3d, {}, adapterIndex, params).outcome, ChoiceOutcome::kNothingUsable);
  FakeDirect3D none;
  EXPECT_EQ(ChooseSettings(none, {}, adapterIndex, params).outcome, ChoiceOutcome::kNothingUsable);
}

TEST(SettingsListTest, ListsWhatTheDialogWouldShowPerAdapter) {
  FakeDirect3D d3d;
  d3d.adapters = {TwoFormatAdapter()};
  std::ostringstream out;
  WriteSettingsList(d3d, out);
  EXPECT_EQ(out.str(),
            "Adapter 0: First Adapter\n"
            "  Display modes:\n"
            "    640x480  X8R8G8B8  60Hz\n"
            "    800x600  X8R8G8B8  75Hz\n"
            "    640x480  R5G6B5  60Hz\n"
            "  Back buffer formats for X8R8G8B8 modes:\n"
            "    A8R8G8B8  Z-buffer formats: D24S8 D24X8 D16\n"
            "    X8R8G8B8  Z-buffer formats: D24S8 D16\n"
            "  Back buffer formats for R5G6B5 modes:\n"
            "    R5G6B5  Z-buffer formats: D16\n");
}

}  // namespace
}  // namespace rastro::testing
