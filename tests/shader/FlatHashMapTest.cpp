#include "FlatHashMap.h"

#include <gtest/gtest.h>

#include <array>
#include <map>
#include <random>
#include <string>
#include <string_view>

namespace rastro {
namespace {

// Few distinct homes, so that probe runs are long and wrap around the table, and deletion
// has to move entries back across them.
struct FewHomes {
  std::size_t operator()(int key) const { return static_cast<std::size_t>(key % 3); }
};
struct Identity {
  std::size_t operator()(int key) const { return static_cast<std::size_t>(key); }
};

template <class Hash>
void CheckAgainstStdMap(unsigned seed) {
  static std::array<int, 256> targets{};
  FlatHashMap<int, const int*, Hash> map;
  std::map<int, const int*> expected;
  std::mt19937 random(seed);
  for (int step = 0; step < 20000; ++step) {
    int key = static_cast<int>(random() % 200);
    switch (random() % 3) {
      case 0: {
        const int* value = &targets[random() % targets.size()];
        map.Assign(key, value);
        expected[key] = value;
        break;
      }
      case 1: EXPECT_EQ(map.Erase(key), expected.erase(key) == 1) << "step " << step; break;
      default: {
        auto found = expected.find(key);
        EXPECT_EQ(map.Find(key), found == expected.end() ? nullptr : found->second) << "step " << step;
      }
    }
    ASSERT_EQ(map.Size(), expected.size()) << "step " << step;
  }
  for (int key = 0; key < 200; ++key) {
    auto found = expected.find(key);
    EXPECT_EQ(map.Find(key), found == expected.end() ? nullptr : found->second) << key;
  }
}

TEST(FlatHashMap, AgreesWithStdMapUnderCollidingHash) {
  for (unsigned seed : {1u, 2u, 3u}) CheckAgainstStdMap<FewHomes>(seed);
}

TEST(FlatHashMap, AgreesWithStdMapUnderSpreadHash) { CheckAgainstStdMap<Identity>(7); }

TEST(FlatHashMap, StringKeysCompareByContent) {
  struct Length {
    std::size_t operator()(std::string_view key) const { return key.size(); }
  };
  static const int one = 1, two = 2;
  FlatHashMap<std::string_view, const int*, Length> map;
  std::string first = "abc", same = "abc", other = "abd";
  map.Assign(first, &one);
  EXPECT_EQ(map.Find(same), &one);
  EXPECT_EQ(map.Find(other), nullptr);
  map.Assign(other, &two);
  map.Assign(same, &two);
  EXPECT_EQ(map.Size(), 2u);
  EXPECT_EQ(map.Find(first), &two);
  EXPECT_TRUE(map.Erase(first));
  EXPECT_FALSE(map.Erase(same));
  EXPECT_EQ(map.Find(other), &two);
}

}  // namespace
}  // namespace rastro
