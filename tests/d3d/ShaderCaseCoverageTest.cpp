// Every instruction of the table has a case that is drawn on OpenGL and compared with the CPU
// evaluator (ShaderCases.h): a new instruction without one fails here.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "InstructionTable.h"
#include "ShaderCases.h"
#include "ShaderInstruction.h"

namespace rastro::testing {
namespace {

TEST(ShaderCases, EveryInstructionOfTheTableIsDrawnAndEvaluated) {
  std::set<const InstructionInfo*> drawn;
  auto collect = [&](const char* name, const std::vector<DWORD>& tokens) {
    DecodedShader decoded;
    std::string problem;
    ASSERT_EQ(DecodeShader(tokens.data(), tokens.size(), decoded, &problem), D3D_OK) << name << ": " << problem;
    for (const ShaderInstruction& instruction : decoded.instructions) {
      // An instruction outside its versions is no case of it.
      EXPECT_TRUE(instruction.info->In(decoded.version.Index())) << name << ": " << instruction.info->mnemonic;
      drawn.insert(instruction.info);
    }
  };
  for (const ShaderCase& c : PixelCases()) collect(c.name, c.tokens);
  for (const ShaderCase& c : VertexCases()) collect(c.name, c.tokens);
  for (const AddressingCase& c : AddressingCases()) collect(c.name, c.tokens);

  std::string missing;
  for (const InstructionInfo& row : InstructionTable()) {
    if (drawn.count(&row)) continue;
    missing += ' ';
    missing += row.mnemonic;
    if (row.opcode == D3DSIO_IFC || row.opcode == D3DSIO_BREAKC) missing += "_comparison";
  }
  EXPECT_EQ(missing, "") << "instructions without a case";
  RecordProperty("InstructionsDrawn", static_cast<int>(drawn.size()));
}

}  // namespace
}  // namespace rastro::testing
