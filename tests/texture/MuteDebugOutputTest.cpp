#include "MuteDebugOutput.h"

#include <gtest/gtest.h>

#include "DebugOutput.h"
#include "TestEnvironment.h"

namespace rastro {
namespace {

using testing::ScopedEnvironment;

// The runtime's mute switch as it stands (DebugSetMute answers with the previous state).
int CurrentMute() {
  const int current = DebugSetMute(0);
  DebugSetMute(current);
  return current;
}

class MuteDebugOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetDebugMuteForTesting();
    DebugSetMute(0);
  }
  void TearDown() override {
    ResetDebugMuteForTesting();
    DebugSetMute(0);
  }
};

TEST_F(MuteDebugOutputTest, SwitchesTheRuntimeOffAndOnAgain) {
  ScopedEnvironment env("D3DXDoNotMute", std::nullopt);
  MuteDebugOutput(true);
  EXPECT_EQ(CurrentMute(), 1);
  MuteDebugOutput(false);
  EXPECT_EQ(CurrentMute(), 0);
}

TEST_F(MuteDebugOutputTest, DoNotMuteSettingDisablesMutingForGood) {
  {
    ScopedEnvironment env("D3DXDoNotMute", "1");
    MuteDebugOutput(true);
    EXPECT_EQ(CurrentMute(), 0);
  }
  // Read once: removing the setting later changes nothing in this process.
  MuteDebugOutput(true);
  EXPECT_EQ(CurrentMute(), 0);
  MuteDebugOutput(false);
  EXPECT_EQ(CurrentMute(), 0);
}

TEST_F(MuteDebugOutputTest, ZeroOrNonNumericSettingAllowsMuting) {
  for (const char* value : {"0", "0x0", "yes"}) {
    ResetDebugMuteForTesting();
    ScopedEnvironment env("D3DXDoNotMute", value);
    MuteDebugOutput(true);
    EXPECT_EQ(CurrentMute(), 1) << value;
    MuteDebugOutput(false);
    EXPECT_EQ(CurrentMute(), 0) << value;
  }
}

}  // namespace
}  // namespace rastro
