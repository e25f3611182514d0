// Formatting into strings that grow: generated shader source and messages are often longer than
// any fixed buffer a caller would pick.
#include "StringFormat.h"

#include <gtest/gtest.h>

#include <string>

namespace rastro {
namespace {

TEST(StringFormat, KeepsEveryCharacterOfALongResult) {
  const std::string name(5000, 'x');
  std::string text = FormatString("uniform vec4 %s[%u];", name.c_str(), 224u);
  EXPECT_EQ(text.size(), 13 + 5000 + 6);
  EXPECT_EQ(text, "uniform vec4 " + name + "[224];");
}

TEST(StringFormat, AppendsAfterWhatIsThere) {
  std::string text = "vec4 r0;\n";
  const std::string padding(3000, ' ');
  AppendFormat(text, "%s%d %.3f", padding.c_str(), -12, 0.5);
  EXPECT_EQ(text, "vec4 r0;\n" + padding + "-12 0.500");
  AppendFormat(text, "%s", "");
  EXPECT_EQ(text.size(), 9 + 3000 + 9);
}

}  // namespace
}  // namespace rastro
