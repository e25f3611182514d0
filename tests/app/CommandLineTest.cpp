#include <gtest/gtest.h>

#include "CommandLine.h"

namespace rastro::testing {
namespace {

ParsedCommandLine Parse(std::vector<std::string_view> arguments) { return ParseCommandLine(arguments); }

TEST(CommandLineTest, NoArgumentsRunWithDefaults) {
  const ParsedCommandLine parsed = Parse({});
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.line.action, CommandLine::Action::kRun);
  EXPECT_FALSE(parsed.line.headless);
  EXPECT_EQ(parsed.line.seconds, 5.0);
  EXPECT_TRUE(parsed.line.settings.Empty());
}

TEST(CommandLineTest, EveryOptionTakesItsValueSeparatelyOrAfterEquals) {
  const ParsedCommandLine parsed = Parse({"--headless", "--adapter", "1", "--mode=1024x768@85", "--backbuffer",
                                          "X8R8G8B8", "--depth=D24S8", "--seconds", "0.5"});
  ASSERT_TRUE(parsed.ok) << parsed.error;
  EXPECT_TRUE(parsed.line.headless);
  EXPECT_EQ(parsed.line.settings.adapter, 1u);
  ASSERT_TRUE(parsed.line.settings.mode);
  EXPECT_EQ(parsed.line.settings.mode->width, 1024u);
  EXPECT_EQ(parsed.line.settings.mode->height, 768u);
  EXPECT_EQ(parsed.line.settings.mode->refreshRate, 85u);
  EXPECT_EQ(parsed.line.settings.backBuffer, "X8R8G8B8");
  EXPECT_EQ(parsed.line.settings.depth, "D24S8");
  EXPECT_EQ(parsed.line.seconds, 0.5);
  EXPECT_FALSE(parsed.line.settings.Empty());
}

TEST(CommandLineTest, ModeWithoutRefreshRateLeavesItFree) {
  const ParsedCommandLine parsed = Parse({"--mode", "640x480"});
  ASSERT_TRUE(parsed.ok);
  EXPECT_EQ(parsed.line.settings.mode->width, 640u);
  EXPECT_FALSE(parsed.line.settings.mode->refreshRate);
}

TEST(CommandLineTest, ActionsAreRecognised) {
  EXPECT_EQ(Parse({"--list"}).line.action, CommandLine::Action::kList);
  EXPECT_EQ(Parse({"--help"}).line.action, CommandLine::Action::kHelp);
  EXPECT_EQ(Parse({"-h"}).line.action, CommandLine::Action::kHelp);
  EXPECT_EQ(Parse({"--version"}).line.action, CommandLine::Action::kVersion);
  // --help ends parsing where it stands.
  EXPECT_TRUE(Parse({"--help", "--bogus"}).ok);
}

TEST(CommandLineTest, BadOptionsAndValuesNameTheValidChoices) {
  struct Case {
    std::vector<std::string_view> arguments;
    std::vector<std::string> mentions;
  };
  const std::vector<Case> cases{
      {{"--fast"}, {"--fast", "--mode WxH[@Hz]", "--headless"}},
      {{"--fast=1"}, {"--fast=1", "valid options"}},
      {{"extra"}, {"extra", "valid options"}},
      {{"--mode"}, {"--mode needs a value"}},
      {{"--mode", "1024"}, {"WxH"}},
      {{"--mode", "1024x"}, {"WxH"}},
      {{"--mode", "0x768"}, {"WxH"}},
      {{"--mode", "1024x768@"}, {"WxH@Hz"}},
      {{"--mode", "1024x768@60Hz"}, {"WxH@Hz"}},
      {{"--mode", "-1024x768"}, {"WxH"}},
      {{"--adapter", "first"}, {"adapter number"}},
      {{"--adapter", "-1"}, {"adapter number"}},
      {{"--backbuffer"}, {"--backbuffer needs a value"}},
      {{"--seconds", "0"}, {"above 0"}},
      {{"--seconds", "-1"}, {"above 0"}},
      {{"--seconds", "nan"}, {"above 0"}},
      {{"--seconds", "inf"}, {"above 0"}},
      {{"--seconds", "1e9"}, {"86400"}},
      {{"--seconds", "5s"}, {"above 0"}},
      {{"--headless=yes"}, {"--headless takes no value"}},
      // A missing value does not take the next option as its value.
      {{"--depth", "--seconds", "0.01"}, {"--depth needs a value"}},
      {{"--capture", "--headless"}, {"--capture needs a value"}},
      // Given twice is refused, whichever way the values are written.
      {{"--seconds", "1", "--seconds", "2"}, {"--seconds is given more than once"}},
      {{"--mode=640x480", "--headless", "--mode", "800x600"}, {"--mode is given more than once"}},
      {{"--headless", "--headless"}, {"--headless is given more than once"}},
      {{"-x"}, {"unknown option '-x'", "-h"}},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = Parse(c.arguments);
    EXPECT_FALSE(parsed.ok) << c.arguments.front();
    for (const std::string& mention : c.mentions) {
      EXPECT_NE(parsed.error.find(mention), std::string::npos) << parsed.error << " lacks " << mention;
    }
  }
}

}  // namespace
}  // namespace rastro::testing
