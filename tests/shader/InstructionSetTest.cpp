// Every mnemonic of every version, with the operands its form takes and the modifiers the
// version allows, assembled and read back by the Direct3D layer's own stream decoder: the
// operand counts, lengths and opcodes of the instruction table must agree with the token
// format.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InstructionTable.h"
#include "ShaderInstruction.h"
#include "d3dx9shader.h"

namespace rastro {
namespace {

constexpr const char* kVersionNames[kShaderVersionCount] = {
    "vs_1_1", "vs_2_0", "vs_2_x", "vs_2_sw", "vs_3_0",  "vs_3_sw", "ps_1_1",  "ps_1_2",
    "ps_1_3", "ps_1_4", "ps_2_0", "ps_2_x",  "ps_2_sw", "ps_3_0",  "ps_3_sw",
};

struct Generated {
  std::string statement;
  int sources;
  bool destination;
};

// One statement for `entry` in `version`, or an empty statement when it has no form there.
Generated Statement(const InstructionInfo& entry, int version, int variant) {
  OperandForm form = entry.Form(version);
  std::string mnemonic = entry.mnemonic;
  std::string suffix, sourceModifier, negate;
  if (HasDestination(form) && mnemonic != "dcl") {
    if (variant == 1 && (IsPixelVersion(version) || IsVersion3(version))) suffix = "_sat";
    if (variant == 2 && IsPs1x(version)) suffix = "_x2";
    if (variant == 2 && version >= kPs20) suffix = "_pp";
    if (variant == 1 && IsPs1x(version)) sourceModifier = "_bx2";
    if (variant == 1 && IsVersion3(version)) sourceModifier = "_abs";
    if (variant == 2) negate = "-";
  }
  auto sources = [&](int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
      // r0 and r1 exist in every version.
      text += std::string(", ") + (i == 0 ? negate : "") + "r" + std::to_string((i + 1) % 2) +
              (i == 0 ? sourceModifier : "");
    }
    return text;
  };
  switch (form) {
    case OperandForm::Invalid: return {"", 0, false};
    case OperandForm::None: return {mnemonic, 0, false};
    case OperandForm::Def: return {"def c0, 1, -2, 0.5, 3", 0, true};
    case OperandForm::DefInt: return {"defi i0, 1, -2, 3, 4", 0, true};
    case OperandForm::DefBool: return {"defb b0, true", 0, true};
    case OperandForm::Branch1: return {mnemonic + " r1", 1, false};
    case OperandForm::Branch2: {
      // The comparison forms of if and break are spelled with their comparison.
      bool comparison = entry.opcode == D3DSIO_IFC || entry.opcode == D3DSIO_BREAKC;
      return {mnemonic + (comparison ? "_gt" : "") + " r1, r0", 2, false};
    }
    default: break;
  }
  int count = static_cast<int>(form) - '0';
  if (mnemonic == "dcl") {
    if (IsVertexVersion(version)) return {"dcl_texcoord2 v0", 0, true};
    if (version >= kPs30) return {"dcl_color1 v0", 0, true};
    return {"dcl_2d s0", 0, true};
  }
  if (mnemonic == "setp") mnemonic = "setp_ge";
  return {mnemonic + suffix + " r0" + sources(count - 1), count - 1, true};
}

TEST(InstructionSet, EveryFormDecodesAsTheFormatSays) {
  int checked = 0;
  for (int version = 0; version < kShaderVersionCount; ++version) {
    for (const InstructionInfo& entry : InstructionTable()) {
      for (int variant = 0; variant < 3; ++variant) {
        Generated generated = Statement(entry, version, variant);
        if (generated.statement.empty()) continue;
        std::string source = std::string(kVersionNames[version]) + "\n" + generated.statement + "\n";
        SCOPED_TRACE(source);
        ID3DXBuffer* shader = nullptr;
        ID3DXBuffer* errors = nullptr;
        HRESULT hr = D3DXAssembleShader(source.data(), static_cast<UINT>(source.size()), nullptr, nullptr,
                                        D3DXSHADER_SKIPVALIDATION, &shader, &errors);
        std::string messages = errors ? static_cast<const char*>(errors->GetBufferPointer()) : "";
        if (errors) errors->Release();
        ASSERT_EQ(hr, S_OK) << messages;
        const DWORD* tokens = static_cast<const DWORD*>(shader->GetBufferPointer());
        DecodedShader decoded;
        std::string problem;
        HRESULT decodeResult = DecodeShader(tokens, shader->GetBufferSize() / 4, decoded, &problem);
        shader->Release();
        ASSERT_EQ(decodeResult, D3D_OK) << problem;
        ASSERT_EQ(decoded.instructions.size(), 1u);
        const ShaderInstruction& instruction = decoded.instructions[0];
        // Outside ps_1_x a subtraction is written as an addition.
        DWORD expectedOpcode =
            entry.opcode == D3DSIO_SUB && !IsPs1x(version) ? DWORD(D3DSIO_ADD) : entry.opcode & 0xFFFF;
        EXPECT_EQ(instruction.opcode, expectedOpcode);
        EXPECT_EQ(instruction.hasDestination, generated.destination);
        if (entry.opcode != D3DSIO_DEF && entry.opcode != D3DSIO_DEFI && entry.opcode != D3DSIO_DEFB) {
          EXPECT_EQ(static_cast<int>(instruction.sourceCount), generated.sources);
        }
        ++checked;
      }
    }
  }
  EXPECT_GT(checked, 1500);
}

}  // namespace
}  // namespace rastro
