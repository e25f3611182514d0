#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "CommentBlock.h"

namespace rastro {
namespace {

TEST(CommentBlock, ItemsAlignShareAndPadWithAB) {
  CommentBlock block(0x54534554);  // "TEST"
  DWORD offsets[5] = {};
  const char three[3] = {1, 2, 3};
  EXPECT_EQ(block.AddItem(three, 3, 0, &offsets[0]), S_OK);
  EXPECT_EQ(block.AddItem("ab", CommentBlock::kNulTerminated, CommentBlock::kUnaligned, &offsets[1]), S_OK);
  const DWORD word = 0x11223344;
  EXPECT_EQ(block.AddItem(&word, 4, 0, &offsets[2]), S_OK);
  // The same bytes again: shared.
  EXPECT_EQ(block.AddItem("ab", CommentBlock::kNulTerminated, 0, &offsets[3]), S_OK);
  // By reference: never shared, and read when the block is written.
  DWORD late = 0;
  EXPECT_EQ(block.AddItem(&late, 4, CommentBlock::kByReference, &offsets[4]), S_OK);
  late = 0xCAFEF00D;
  EXPECT_EQ(offsets[0], 0u);
  EXPECT_EQ(offsets[1], 3u);
  EXPECT_EQ(offsets[2], 8u);
  EXPECT_EQ(offsets[3], 3u);
  EXPECT_EQ(offsets[4], 12u);
  ASSERT_EQ(block.SizeInWords(), 6u);

  std::vector<DWORD> out(7, 0);
  EXPECT_EQ(block.Write(out.data(), 7), S_OK);
  // One word more than needed: the length counts it and the tail is 0xAB.
  EXPECT_EQ(out,
            (std::vector<DWORD>{0x0006FFFE, 0x54534554, 0x61030201, 0xABAB0062, 0x11223344, 0xCAFEF00D, 0xABABABAB}));
}

TEST(CommentBlock, SizesAndArgumentsAreChecked) {
  CommentBlock block(0);
  DWORD offset = 7;
  EXPECT_EQ(block.AddItem(nullptr, 4, 0, &offset), E_FAIL);
  EXPECT_EQ(block.AddItem(nullptr, 0, 0, &offset), S_OK);
  EXPECT_EQ(block.SizeInWords(), 2u);
  std::vector<DWORD> out(CommentBlock::kMaxWords + 1);
  EXPECT_EQ(block.Write(out.data(), 1), E_FAIL);
  EXPECT_EQ(block.Write(out.data(), CommentBlock::kMaxWords + 1), E_FAIL);
  EXPECT_EQ(block.Write(out.data(), CommentBlock::kMaxWords), S_OK);
  EXPECT_EQ(out[0], 0x7FFFFFFEu);
}

}  // namespace
}  // namespace rastro
