// The instruction table's own consistency: what its readers assume of every row, checked over
// the whole table so that a new or edited row that breaks an assumption fails here rather than
// as a wrong stream somewhere else.
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "InstructionTable.h"
#include "d3d9types.h"

namespace rastro {
namespace {

bool IsFormCharacter(char c) { return std::string_view("-012345DIBST").find(c) != std::string_view::npos; }

TEST(InstructionTable, EveryRowKeepsTheTermsItsReadersRelyOn) {
  const auto table = InstructionTable();
  ASSERT_GT(table.size(), 80u);
  for (size_t i = 0; i < table.size(); ++i) {
    const InstructionInfo& row = table[i];
    SCOPED_TRACE(std::string(row.mnemonic) + " (row " + std::to_string(i) + ")");
    // The assembler cuts a mnemonic at '_' to read its suffixes.
    EXPECT_EQ(std::string_view(row.mnemonic).find('_'), std::string_view::npos);
    // Only texld's project and bias bits make instructions of their own.
    if (row.opcode & ~0xFFFFu) {
      EXPECT_EQ(row.Opcode(), DWORD(D3DSIO_TEX));
      EXPECT_EQ(row.opcode & ~0xFFFFu & ~(D3DSI_TEXLD_PROJECT | D3DSI_TEXLD_BIAS), 0u);
    }
    EXPECT_EQ(row.opcode, InstructionKey(row.opcode));
    EXPECT_EQ(FindInstructionAnyVersion(row.opcode)->Opcode(), row.Opcode());

    int versions = 0;
    for (int v = 0; v < kShaderVersionCount; ++v) {
      char c = row.forms[v];
      ASSERT_TRUE(IsFormCharacter(c)) << "form '" << c << "' in " << ShaderVersionText(v);
      if (!row.In(v)) continue;
      ++versions;
      OperandForm form = row.Form(v);
      // The decoder finds the row of the version by its key.
      EXPECT_EQ(FindInstruction(row.opcode, v), &row) << ShaderVersionText(v);
      // Rows of one opcode present in one version are read alike: the decoder reads by opcode.
      EXPECT_EQ(ReadingOf(row.Opcode(), v).form, form) << ShaderVersionText(v);
      // Rows of one mnemonic differ in their operands, which is how a statement picks one.
      for (const InstructionInfo& other : table) {
        if (&other != &row && std::string_view(other.mnemonic) == row.mnemonic && other.In(v)) {
          EXPECT_NE(other.Form(v), form) << "shares its spelling with another row in " << ShaderVersionText(v);
        }
      }
      bool definition = ValueCount(form) != 0;
      EXPECT_EQ(definition, row.kind == InstructionKind::Declaration && !HasDestination(form));
      if (row.kind == InstructionKind::Declaration) {
        EXPECT_TRUE(definition || form == OperandForm::One) << "a declaration writes its register only";
      }
      if (row.Has(kPartialPrecision)) {
        EXPECT_TRUE(HasDestination(form)) << "_pp needs a result";
      }
      if (row.Has(kScalarSource)) {
        EXPECT_GE(SourceCount(form), 1u);
      }
      if (row.matrixRows) {
        EXPECT_EQ(form, OperandForm::Three) << "a matrix takes a vector and the first of its rows";
      }
    }
    EXPECT_GT(versions, 0) << "a row no version has";
    if (row.kind == InstructionKind::Declaration || row.kind == InstructionKind::Phase) {
      EXPECT_EQ(row.slots, 0);
    }
    if (row.kind == InstructionKind::Declaration) {
      EXPECT_FALSE(row.Has(kPredicateToken));
    }
    if (row.Has(kCoissuable)) {
      EXPECT_EQ(row.kind, InstructionKind::Arithmetic);
      bool inCoissueVersion = false;
      for (int v = 0; v < kShaderVersionCount; ++v) inCoissueVersion |= row.In(v) && HasCoissue(v);
      EXPECT_TRUE(inCoissueVersion) << "coissuable where no version coissues";
    }
    EXPECT_EQ(row.matrixRows == 0, row.matrixComponents == 0);
    if (row.matrixRows) {
      EXPECT_TRUE(row.matrixComponents == 3 || row.matrixComponents == 4);
      EXPECT_TRUE(row.matrixRows >= 2 && row.matrixRows <= 4);
    }
  }
}

}  // namespace
}  // namespace rastro
