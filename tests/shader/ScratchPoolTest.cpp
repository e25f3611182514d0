#include "ScratchPool.h"

#include <gtest/gtest.h>

#include <vector>

namespace rastro {
namespace {

using IntPool = ScratchPool<std::vector<int>, 100>;

TEST(ScratchPool, LeasesAreDistinctWhileHeldAndComeBackCleared) {
  IntPool pool;
  std::vector<int>* first = nullptr;
  {
    auto a = pool.Acquire();
    auto b = pool.Acquire();
    EXPECT_NE(&*a, &*b);
    a->assign(50, 7);
    first = &*a;
  }
  auto again = pool.Acquire();
  auto other = pool.Acquire();
  // Both containers are reused, emptied; the one that held 50 elements keeps its capacity.
  EXPECT_TRUE(&*again == first || &*other == first);
  EXPECT_TRUE(again->empty());
  EXPECT_TRUE(other->empty());
  std::vector<int>& reused = &*again == first ? *again : *other;
  EXPECT_GE(reused.capacity(), 50u);
}

TEST(ScratchPool, LargeContainersGiveTheirMemoryBack) {
  IntPool pool;
  {
    auto big = pool.Acquire();
    big->assign(1000, 1);
  }
  auto reused = pool.Acquire();
  EXPECT_TRUE(reused->empty());
  EXPECT_LE(reused->capacity(), 100u);
}

}  // namespace
}  // namespace rastro
