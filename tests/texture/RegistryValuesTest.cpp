#include "RegistryValues.h"

#include <gtest/gtest.h>

#include <cstring>

#include "TestEnvironment.h"

namespace rastro {
namespace {

using testing::ScopedEnvironment;

constexpr const char* kName = "RastroTestValue";

struct DwordCase {
  const char* text;
  bool isDword;
  DWORD value;
};

class RegistryDword : public ::testing::TestWithParam<DwordCase> {};

// A whole decimal or 0x-hexadecimal number within 32 bits is a DWORD; anything else is text.
TEST_P(RegistryDword, NumbersAreDwordsAndEverythingElseIsText) {
  const DwordCase& c = GetParam();
  ScopedEnvironment env(kName, c.text);
  DWORD value = 0xDEADBEEF;
  EXPECT_EQ(ReadDirect3DRegistryValue(REG_DWORD, kName, &value, sizeof value), c.isDword);
  if (c.isDword) {
    EXPECT_EQ(value, c.value);
  }
  char text[64] = {};
  EXPECT_EQ(ReadDirect3DRegistryValue(REG_SZ, kName, text, sizeof text), !c.isDword);
  if (!c.isDword) {
    EXPECT_STREQ(text, c.text);
  }
}

INSTANTIATE_TEST_SUITE_P(Values, RegistryDword,
                         ::testing::Values(DwordCase{"0", true, 0}, DwordCase{"1", true, 1}, DwordCase{"007", true, 7},
                                           DwordCase{"4294967295", true, 0xFFFFFFFFu}, DwordCase{"0x1F", true, 31},
                                           DwordCase{"0XfF", true, 255}, DwordCase{"0xFFFFFFFF", true, 0xFFFFFFFFu},
                                           DwordCase{"4294967296", false, 0}, DwordCase{"0x100000000", false, 0},
                                           DwordCase{"-1", false, 0}, DwordCase{" 5", false, 0},
                                           DwordCase{"5 ", false, 0}, DwordCase{"0x", false, 0},
                                           DwordCase{"12ab", false, 0}, DwordCase{"yes", false, 0},
                                           DwordCase{"", false, 0}));

TEST(RegistryValues, MissingValueIsFalse) {
  ScopedEnvironment env(kName, std::nullopt);
  DWORD value = 7;
  EXPECT_FALSE(ReadDirect3DRegistryValue(REG_DWORD, kName, &value, sizeof value));
  EXPECT_EQ(value, 7u);
}

TEST(RegistryValues, BufferTooSmallIsFalseAndWritesNothing) {
  ScopedEnvironment env(kName, "hello");
  char text[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_FALSE(ReadDirect3DRegistryValue(REG_SZ, kName, text, sizeof text));  // needs 6 with the zero
  EXPECT_EQ(std::memcmp(text, "xxxxx", 5), 0);
  ScopedEnvironment number(kName, "3");
  WORD small = 0;
  EXPECT_FALSE(ReadDirect3DRegistryValue(REG_DWORD, kName, &small, sizeof small));
}

TEST(RegistryValues, NullArgumentsAreFalse) {
  ScopedEnvironment env(kName, "1");
  DWORD value = 0;
  EXPECT_FALSE(ReadDirect3DRegistryValue(REG_DWORD, nullptr, &value, sizeof value));
  EXPECT_FALSE(ReadDirect3DRegistryValue(REG_DWORD, kName, nullptr, sizeof value));
}

}  // namespace
}  // namespace rastro
