// Small shaders, one per instruction family and modifier, with inputs and the results worked
// out by hand. The evaluator must give these results; the GLSL translation must agree with the
// evaluator on the GPU. Every instruction of the instruction table has a case here
// (ShaderCaseCoverageTest.cpp).
#pragma once

#include <cmath>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "ShaderEvaluator.h"
#include "ShaderTokens.h"

namespace rastro::testing {

struct ShaderCase {
  const char* name;
  std::vector<DWORD> tokens;
  ShaderVaryings inputs;                              // pixel shaders: colours and coordinates
  std::array<ShaderVector, 16> vertexInputs{};        // vertex shaders: v0-v15
  std::vector<std::pair<UINT, ShaderVector>> floats;  // device constants
  std::vector<std::pair<UINT, std::array<int, 4>>> ints;
  ShaderVector expected;  // oC0 / ps 1.x r0 (pixel), oT0 (vertex)
  bool killed = false;
  bool transcendental = false;   // uses exp, log, pow, sin, cos or a reciprocal square root
  std::optional<float> depth{};  // the depth a pixel shader writes, when it writes one
};

inline void PrintTo(const ShaderCase& c, std::ostream* out) { *out << c.name; }

// The texture every sampler and stage of the cases reads: 2x2 texels, point sampled with
// wrapping, one level (so a bias, an explicit level or gradients pick the same texel).
// Texel (u, v) for coordinates in [u/2, (u+1)/2) x [v/2, (v+1)/2).
class CaseTexture : public ShaderTextureSampler {
 public:
  static constexpr ShaderVector kTexels[4] = {
      {0.1f, 0.2f, 0.3f, 0.4f}, {0.5f, 0.6f, 0.7f, 0.8f}, {0.25f, 0.5f, 0.75f, 1}, {1, 0.75f, 0.5f, 0.25f}};
  ShaderVector Sample(UINT, const ShaderVector& c, float) const override {
    int u = static_cast<int>(std::floor(c[0] * 2.0f)) & 1;
    int v = static_cast<int>(std::floor(c[1] * 2.0f)) & 1;
    return kTexels[v * 2 + u];
  }
};

inline ShaderVaryings Colours(ShaderVector diffuse, ShaderVector specular = {0, 0, 0, 0},
                              ShaderVector texcoord0 = {0, 0, 0, 1}, ShaderVector texcoord1 = {0, 0, 0, 1}) {
  ShaderVaryings v;
  v.color = {diffuse, specular};
  v.texcoord[0] = texcoord0;
  v.texcoord[1] = texcoord1;
  return v;
}

constexpr DWORD kPs20 = 0xFFFF0200, kPs11 = 0xFFFF0101, kPs13 = 0xFFFF0103, kPs14 = 0xFFFF0104, kPs30 = 0xFFFF0300;
constexpr DWORD kVs11 = 0xFFFE0101, kVs20 = 0xFFFE0200, kVs2x = 0xFFFE0201, kVs30 = 0xFFFE0300;
constexpr DWORD kR = D3DSPR_TEMP, kV = D3DSPR_INPUT, kC = D3DSPR_CONST, kT = D3DSPR_TEXTURE, kOC = D3DSPR_COLOROUT;

inline std::vector<ShaderCase> PixelCases() {
  const ShaderVector c0{1, 2, 3, 4}, c1{5, 6, 7, 8};
  std::vector<ShaderCase> cases;
  auto add = [&](ShaderCase c) { cases.push_back(std::move(c)); };

  add({"Mad",
       TokenStream(kPs20)
           .Op(D3DSIO_MAD, {Dst(kR, 0), Src(kC, 0), Src(kC, 1), Src(kC, 2)})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, c0}, {1, {0.5f, 0.5f, 2, -1}}, {2, {0, 1, 0, 1}}},
       {},
       {0.5f, 2, 6, -3}});
  add({"DefTakesPrecedence",
       TokenStream(kPs20).Def(0, 0.25f, 0.5f, -1, 8).Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kC, 0)}).End(),
       {},
       {},
       {{0, {9, 9, 9, 9}}},
       {},
       {0.25f, 0.5f, -1, 8}});
  add({"NegatedSwizzle",
       TokenStream(kPs20).Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kC, 0, Swz(3, 2, 1, 0), D3DSPSM_NEG)}).End(),
       {},
       {},
       {{0, c0}},
       {},
       {-4, -3, -2, -1}});
  add({"WriteMask",
       TokenStream(kPs20)
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_MOV, {Dst(kR, 0, 0xA), Src(kC, 1)})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, c0}, {1, c1}},
       {},
       {1, 6, 3, 8}});
  add({"DotProductsReplicate",
       TokenStream(kPs20)
           .Op(D3DSIO_DP3, {Dst(kR, 0, 0x3), Src(kC, 0), Src(kC, 1)})
           .Op(D3DSIO_DP4, {Dst(kR, 0, 0xC), Src(kC, 0), Src(kC, 1)})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, c0}, {1, c1}},
       {},
       {38, 38, 70, 70}});
  add({"CompareSelects",
       TokenStream(kPs20).Op(D3DSIO_CMP, {Dst(kOC, 0), Src(kC, 0), Src(kC, 1), Src(kC, 2)}).End(),
       {},
       {},
       {{0, {-1, 0, 1, -0.5f}}, {1, c0}, {2, c1}},
       {},
       {5, 2, 3, 8}});
  add({"LinearInterpolation",
       TokenStream(kPs20).Op(D3DSIO_LRP, {Dst(kOC, 0), Src(kC, 0), Src(kC, 1), Src(kC, 2)}).End(),
       {},
       {},
       {{0, {0.25f, 0.5f, 0, 1}}, {1, {4, 4, 4, 4}}, {2, {0, 2, 8, 8}}},
       {},
       {1, 3, 8, 4}});
  add({"MinMaxSubtract",
       TokenStream(kPs20)
           .Op(D3DSIO_MIN, {Dst(kR, 0), Src(kC, 0), Src(kC, 2)})
           .Op(D3DSIO_MAX, {Dst(kR, 1), Src(kC, 0), Src(kC, 2)})
           .Op(D3DSIO_ADD, {Dst(kOC, 0), Src(kR, 1), Src(kR, 0, kIdentity, D3DSPSM_NEG)})
           .End(),
       {},
       {},
       {{0, c0}, {2, {4, 3, 2, 1}}},
       {},
       {3, 1, 1, 3}});
  add({"ReciprocalReplicatesOneComponent",
       TokenStream(kPs20)
           .Op(D3DSIO_RCP, {Dst(kR, 0, 0x3), Src(kC, 0, Swz(1, 1, 1, 1))})
           .Op(D3DSIO_RSQ, {Dst(kR, 0, 0xC), Src(kC, 0, Swz(3, 3, 3, 3))})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {0, 4, 0, 16}}},
       {},
       {0.25f, 0.25f, 0.25f, 0.25f},
       false,
       true});
  add({"ExpLogPow",
       TokenStream(kPs20)
           .Op(D3DSIO_EXP, {Dst(kR, 0, 0x1), Src(kC, 0, Swz(0, 0, 0, 0))})
           .Op(D3DSIO_LOG, {Dst(kR, 0, 0x2), Src(kC, 0, Swz(1, 1, 1, 1))})
           .Op(D3DSIO_POW, {Dst(kR, 0, 0xC), Src(kC, 0, Swz(2, 2, 2, 2)), Src(kC, 0, Swz(3, 3, 3, 3))})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {3, -0.125f, -9, 0.5f}}},
       {},
       {8, -3, 3, 3},
       false,
       true});
  add({"NormaliseAndCross",
       TokenStream(kPs20)
           .Op(D3DSIO_NRM, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_CRS, {Dst(kR, 1, 0x7), Src(kC, 1), Src(kC, 2)})
           .Op(D3DSIO_ADD, {Dst(kOC, 0), Src(kR, 0), Src(kR, 1)})
           .End(),
       {},
       {},
       {{0, {3, 0, 4, 10}}, {1, {1, 0, 0, 0}}, {2, {0, 1, 0, 0}}},
       {},
       {0.6f, 0, 1.8f, 2},
       false,
       true});
  add({"FractionAndDp2add",
       TokenStream(kPs20)
           .Op(D3DSIO_FRC, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_DP2ADD, {Dst(kR, 0, 0x8), Src(kC, 1), Src(kC, 1), Src(kC, 2, Swz(2, 2, 2, 2))})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {1.25f, -0.25f, 3, 0}}, {1, {1, 2, 0, 0}}, {2, {0, 0, 0.5f, 0}}},
       {},
       {0.25f, 0.75f, 0, 5.5f}});
  add({"SaturateAndPartialPrecision",
       TokenStream(kPs20)
           .Op(D3DSIO_MUL, {Dst(kOC, 0, 0xF, D3DSPDM_SATURATE | D3DSPDM_PARTIALPRECISION), Src(kC, 0), Src(kC, 1)})
           .End(),
       {},
       {},
       {{0, {0.5f, -1, 0.25f, 2}}, {1, {0.5f, 1, 2, 2}}},
       {},
       {0.25f, 0, 0.5f, 1}});
  add({"ColourAndCoordinateInputs",
       TokenStream(kPs20)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_DCL, {0x80000000, Dst(kT, 1, 0x3)})
           .Op(D3DSIO_MAD, {Dst(kOC, 0), Src(kT, 1, Swz(0, 1, 0, 1)), Src(kC, 0), Src(kV, 0)})
           .End(),
       Colours({0.5f, 0.25f, 0, 1}, {}, {}, {0.5f, 2, 0, 1}),
       {},
       {{0, {1, 1, 2, 2}}},
       {},
       {1, 2.25f, 1, 5}});
  add({"TexkillOfANegativeCoordinate",
       TokenStream(kPs20)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kT, 0)})
           .Op(D3DSIO_TEXKILL, {Dst(kT, 0)})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kC, 0)})
           .End(),
       Colours({}, {}, {0.5f, -0.1f, 0, 0}),
       {},
       {{0, c0}},
       {},
       c0,
       true});
  add({"IfElseOnABooleanDefinition",
       TokenStream(kPs30)
           .Op(D3DSIO_DEFB, {Reg(D3DSPR_CONSTBOOL, 0), 1})
           .Op(D3DSIO_IF, {Src(D3DSPR_CONSTBOOL, 0)})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kC, 0)})
           .Op(D3DSIO_ELSE, {})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kC, 1)})
           .Op(D3DSIO_ENDIF, {})
           .End(),
       {},
       {},
       {{0, c0}, {1, c1}},
       {},
       c0});
  add({"RepeatAccumulates",
       TokenStream(kPs30)
           .Op(D3DSIO_DEFI, {Reg(D3DSPR_CONSTINT, 0), 3, 0, 0, 0})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 2)})
           .Op(D3DSIO_REP, {Src(D3DSPR_CONSTINT, 0)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 1)})
           .Op(D3DSIO_ENDREP, {})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{1, {1, 0.5f, -1, 2}}, {2, {0, 0, 0, 0}}},
       {},
       {3, 1.5f, -3, 6}});
  add({"ComparisonIfAndAbsoluteValue",
       TokenStream(kPs30)
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kC, 1)})
           .Op(D3DSIO_IFC | (D3DSPC_LT << 16), {Src(kC, 0, Swz(0, 0, 0, 0)), Src(kC, 0, Swz(1, 1, 1, 1))})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kC, 2, kIdentity, D3DSPSM_ABS)})
           .Op(D3DSIO_ENDIF, {})
           .End(),
       {},
       {},
       {{0, c0}, {1, c1}, {2, {-1, 2, -3, 0.5f}}},
       {},
       {1, 2, 3, 0.5f}});
  // Adds 1 until r0.x reaches 3, then a subroutine doubles it: 6.
  add({"RepeatBreakAndSubroutine",
       TokenStream(kPs30)
           .Op(D3DSIO_DEFI, {Reg(D3DSPR_CONSTINT, 0), 10, 0, 1, 0})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_REP, {Src(D3DSPR_CONSTINT, 0)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 1)})
           .Op(D3DSIO_BREAKC | (D3DSPC_GE << 16), {Src(kR, 0, Swz(0, 0, 0, 0)), Src(kC, 2, Swz(0, 0, 0, 0))})
           .Op(D3DSIO_ENDREP, {})
           .Op(D3DSIO_CALL, {Src(D3DSPR_LABEL, 0)})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .Op(D3DSIO_RET, {})
           .Op(D3DSIO_LABEL, {Src(D3DSPR_LABEL, 0)})
           .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kR, 0), Src(kC, 3)})
           .Op(D3DSIO_RET, {})
           .End(),
       {},
       {},
       {{0, {0, 0, 0, 0}}, {1, {1, 1, 1, 1}}, {2, {3, 0, 0, 0}}, {3, {2, 2, 2, 2}}},
       {},
       {6, 6, 6, 6}});
  // sincos of 0 writes cos 1 to x and sin 0 to y; z and w keep what r0 held.
  add({"SineCosine",
       TokenStream(kPs30)
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 1)})
           .Op(D3DSIO_SINCOS, {Dst(kR, 0, 0x3), Src(kC, 0, Swz(0, 0, 0, 0))})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {0, 0, 0, 0}}, {1, {5, 5, 5, 5}}},
       {},
       {1, 0, 5, 5},
       false,
       true});
  // ps 1.1: v0 = (0.75, 0.25, 0.5, 1); bx2 gives (0.5, -0.5, 0, 1), x2 (1, -1, 0, 2), sat (1, 0, 0, 1).
  add({"Ps11SignedScaleShiftAndSaturate",
       TokenStream(kPs11)
           .Op(D3DSIO_MOV, {Dst(kR, 0, 0xF, D3DSPDM_SATURATE | (1u << 24)), Src(kV, 0, kIdentity, D3DSPSM_SIGN)})
           .End(),
       Colours({0.75f, 0.25f, 0.5f, 1}),
       {},
       {},
       {},
       {1, 0, 0, 1}});
  // Constants of ps 1.x read clamped to [-1, 1]: 2 reads as 1.
  add({"Ps11ConstantsClampToUnitRange",
       TokenStream(kPs11).Op(D3DSIO_ADD, {Dst(kR, 0), Src(kC, 0), Src(kC, 1)}).End(),
       {},
       {},
       {{0, {2, 0.5f, -3, 1}}, {1, {-0.5f, 0.25f, 1.5f, 0}}},
       {},
       {0.5f, 0.75f, 0, 1}});
  add({"Ps11HalvingShiftAndComplement",
       TokenStream(kPs11)
           .Op(D3DSIO_MUL, {Dst(kR, 0, 0xF, 15u << 24), Src(kV, 0, kIdentity, D3DSPSM_COMP), Src(kV, 1)})
           .End(),
       Colours({0.5f, 0, 1, 0.25f}, {1, 1, 1, 1}),
       {},
       {},
       {},
       {0.25f, 0.5f, 0, 0.375f}});
  add({"Ps11ConditionReadsR0Alpha",
       TokenStream(kPs11)
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kV, 0)})
           .Op(D3DSIO_CND, {Dst(kR, 0), Src(kR, 0, Swz(3, 3, 3, 3)), Src(kC, 0), Src(kC, 1)})
           .End(),
       Colours({0, 0, 0, 0.75f}),
       {},
       {{0, {0.25f, 0.5f, 0.75f, 1}}, {1, {0, 0, 0, 0}}},
       {},
       {0.25f, 0.5f, 0.75f, 1}});
  // The coissued alpha move reads r0 before the colour move writes it.
  add({"Ps11CoissueReadsBeforeWrites",
       TokenStream(kPs11)
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_MOV, {Dst(kR, 0, 0x7), Src(kC, 1)})
           .Op(D3DSIO_MOV, {Dst(kR, 0, 0x8), Src(kR, 0, Swz(2, 2, 2, 2))}, D3DSI_COISSUE)
           .End(),
       {},
       {},
       {{0, {0.1f, 0.2f, 0.3f, 0.4f}}, {1, {0.5f, 0.6f, 0.7f, 0.8f}}},
       {},
       {0.5f, 0.6f, 0.7f, 0.3f}});
  add({"Ps11TexcoordClampsCoordinates",
       TokenStream(kPs11).Op(D3DSIO_TEXCOORD, {Dst(kT, 0)}).Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 0)}).End(),
       Colours({}, {}, {1.5f, -0.5f, 0.25f, 7}),
       {},
       {},
       {},
       {1, 0, 0.25f, 1}});
  add({"Ps11LerpAndDp3",
       TokenStream(kPs11)
           .Op(D3DSIO_DP3, {Dst(kR, 1), Src(kV, 0), Src(kC, 0)})
           .Op(D3DSIO_LRP, {Dst(kR, 0), Src(kR, 1), Src(kV, 1), Src(kC, 1)})
           .End(),
       Colours({0.5f, 0.5f, 0, 0}, {1, 0.5f, 0, 1}),
       {},
       {{0, {0.5f, 0.5f, 1, 1}}, {1, {0, 0, 1, 0}}},
       {},
       {0.5f, 0.25f, 0.5f, 0.5f}});
  // ps 1.4: texcrd takes the coordinates unclamped; after the phase they are still there. The
  // constant's 2 reads as 1.
  add({"Ps14TexcrdAcrossThePhase",
       TokenStream(kPs14)
           .Op(D3DSIO_TEXCOORD, {Dst(kR, 0, 0x7), Src(kT, 0)})
           .Op(D3DSIO_PHASE, {})
           .Op(D3DSIO_MUL, {Dst(kR, 0, 0x7), Src(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_MOV, {Dst(kR, 0, 0x8), Src(kC, 0)})
           .End(),
       Colours({}, {}, {1.5f, 0.5f, 0.25f, 1}),
       {},
       {{0, {0.5f, 1, 2, 0.5f}}},
       {},
       {0.75f, 0.5f, 0.25f, 0.5f}});
  // loop aL = 1, 2, 3 (from a device integer constant) adds c[aL]: c1 + c2 + c3.
  add({"Ps30LoopCounterIndexesConstants",
       TokenStream(kPs30)
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_LOOP, {Src(D3DSPR_LOOP, 0), Src(D3DSPR_CONSTINT, 0)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 0) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_LOOP, 0, 0)})
           .Op(D3DSIO_ENDLOOP, {})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {0, 0, 0, 0}}, {1, {1, 0, 0, 0}}, {2, {0, 2, 0, 0}}, {3, {0, 0, 3, 1}}, {4, {9, 9, 9, 9}}},
       {{0, {3, 1, 1, 0}}},
       {1, 2, 3, 1}});
  // setp_gt of (1, 2, 3, 4) against 2 selects z and w; the negated predicate x and y:
  // (5, 6, 7, 8) becomes (5 + 2, 6 + 2, 9, 9).
  add({"Ps30PredicatedWritesPerComponent",
       TokenStream(kPs30)
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 3)})
           .Op(D3DSIO_SETP | (D3DSPC_GT << 16), {Dst(D3DSPR_PREDICATE, 0), Src(kC, 0), Src(kC, 1)})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(D3DSPR_PREDICATE, 0), Src(kC, 2)}, D3DSHADER_INSTRUCTION_PREDICATED)
           .Op(D3DSIO_ADD, {Dst(kR, 0, 0x3), Src(D3DSPR_PREDICATE, 0, kIdentity, D3DSPSM_NOT), Src(kR, 0), Src(kC, 1)},
               D3DSHADER_INSTRUCTION_PREDICATED)
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {1, 2, 3, 4}}, {1, {2, 2, 2, 2}}, {2, {9, 9, 9, 9}}, {3, {5, 6, 7, 8}}},
       {},
       {7, 8, 9, 9}});
  // Adds 1 until the predicate set on r0.x >= 4 breaks the repeat: 4.
  add({"Ps30BreakOnPredicate",
       TokenStream(kPs30)
           .Op(D3DSIO_DEFI, {Reg(D3DSPR_CONSTINT, 1), 10, 0, 0, 0})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_REP, {Src(D3DSPR_CONSTINT, 1)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 1)})
           .Op(D3DSIO_SETP | (D3DSPC_GE << 16), {Dst(D3DSPR_PREDICATE, 0, 0x1), Src(kR, 0), Src(kC, 2)})
           .Op(D3DSIO_BREAKP, {Src(D3DSPR_PREDICATE, 0, Swz(0, 0, 0, 0))})
           .Op(D3DSIO_ENDREP, {})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {0, 0, 0, 0}}, {1, {1, 1, 1, 1}}, {2, {4, 4, 4, 4}}},
       {},
       {4, 4, 4, 4}});
  // callnz runs label 1 (b0 true) and not label 2 (b1 false); if on p0.z (0 < 1) adds 0.5 and
  // if on p0.y (0 < -1) does not: 1 + 0.5.
  add({"Ps30ConditionalCallsAndPredicateIf",
       TokenStream(kPs30)
           .Op(D3DSIO_DEFB, {Reg(D3DSPR_CONSTBOOL, 0), 1})
           .Op(D3DSIO_DEFB, {Reg(D3DSPR_CONSTBOOL, 1), 0})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_CALLNZ, {Src(D3DSPR_LABEL, 1), Src(D3DSPR_CONSTBOOL, 0)})
           .Op(D3DSIO_CALLNZ, {Src(D3DSPR_LABEL, 2), Src(D3DSPR_CONSTBOOL, 1)})
           .Op(D3DSIO_SETP | (D3DSPC_LT << 16), {Dst(D3DSPR_PREDICATE, 0), Src(kC, 3), Src(kC, 4)})
           .Op(D3DSIO_IF, {Src(D3DSPR_PREDICATE, 0, Swz(2, 2, 2, 2))})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 5)})
           .Op(D3DSIO_ENDIF, {})
           .Op(D3DSIO_IF, {Src(D3DSPR_PREDICATE, 0, Swz(1, 1, 1, 1))})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 2)})
           .Op(D3DSIO_ENDIF, {})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .Op(D3DSIO_RET, {})
           .Op(D3DSIO_LABEL, {Src(D3DSPR_LABEL, 1)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 1)})
           .Op(D3DSIO_RET, {})
           .Op(D3DSIO_LABEL, {Src(D3DSPR_LABEL, 2)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 2)})
           .Op(D3DSIO_RET, {})
           .End(),
       {},
       {},
       {{0, {0, 0, 0, 0}},
        {1, {1, 1, 1, 1}},
        {2, {10, 10, 10, 10}},
        {3, {0, 0, 0, 0}},
        {4, {1, -1, 1, 1}},
        {5, {0.5f, 0.5f, 0.5f, 0.5f}}},
       {},
       {1.5f, 1.5f, 1.5f, 1.5f}});
  // ps_3_0 inputs by usage: texcoord1 in v5, colour0 in v2; v5 + v2.
  add({"Ps30InputsByUsage",
       TokenStream(kPs30)
           .Op(D3DSIO_DCL, {0x80010005, Dst(kV, 5)})
           .Op(D3DSIO_DCL, {0x8000000A, Dst(kV, 2)})
           .Op(D3DSIO_ADD, {Dst(kOC, 0), Src(kV, 5), Src(kV, 2)})
           .End(),
       Colours({0.5f, 0.25f, 2, -1}, {}, {}, {1, 2, 3, 4}),
       {},
       {},
       {},
       {1.5f, 2.25f, 5, 3}});
  // ps_3_0 inputs indexed by the loop counter: v0[aL] for aL = 0, 1 is texcoord0 + texcoord1.
  add({"Ps30LoopIndexesInputs",
       TokenStream(kPs30)
           .Op(D3DSIO_DCL, {0x80000005, Dst(kV, 0)})
           .Op(D3DSIO_DCL, {0x80010005, Dst(kV, 1)})
           .Op(D3DSIO_DEFI, {Reg(D3DSPR_CONSTINT, 0), 2, 0, 1, 0})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_LOOP, {Src(D3DSPR_LOOP, 0), Src(D3DSPR_CONSTINT, 0)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kV, 0) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_LOOP, 0, 0)})
           .Op(D3DSIO_ENDLOOP, {})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       Colours({}, {}, {1, 2, 3, 4}, {0.5f, 0.25f, -1, 2}),
       {},
       {{0, {0, 0, 0, 0}}},
       {},
       {1.5f, 2.25f, 2, 6}});
  // ps 1.1 keeps sub: v0 - v1 = (0.5, 0.375, 0.25, 0.5); nop changes nothing.
  add({"Ps11SubtractAndNop",
       TokenStream(kPs11).Op(D3DSIO_SUB, {Dst(kR, 0), Src(kV, 0), Src(kV, 1)}).Op(D3DSIO_NOP, {}).End(),
       Colours({0.75f, 0.5f, 0.25f, 1}, {0.25f, 0.125f, 0, 0.5f}),
       {},
       {},
       {},
       {0.5f, 0.375f, 0.25f, 0.5f}});
  // Adds 1 per pass of a ten-pass repeat and breaks out once r0.x reaches 3: 3, not 10.
  add({"Ps30BreakLeavesTheRepeat",
       TokenStream(kPs30)
           .Op(D3DSIO_DEFI, {Reg(D3DSPR_CONSTINT, 0), 10, 0, 0, 0})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_REP, {Src(D3DSPR_CONSTINT, 0)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 1)})
           .Op(D3DSIO_IFC | (D3DSPC_GE << 16), {Src(kR, 0, Swz(0, 0, 0, 0)), Src(kC, 2, Swz(0, 0, 0, 0))})
           .Op(D3DSIO_BREAK, {})
           .Op(D3DSIO_ENDIF, {})
           .Op(D3DSIO_ENDREP, {})
           .Op(D3DSIO_MOV, {Dst(kOC, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {0, 0, 0, 0}}, {1, {1, 1, 1, 1}}, {2, {3, 0, 0, 0}}},
       {},
       {3, 3, 3, 3}});
  // texldp divides by w: (0.375, 0.375) / 0.5 reads texel (1, 1); texldb at (0.75, 0.25) reads
  // texel (1, 0) whatever its bias. Their sum: (1.5, 1.35, 1.2, 1.05).
  add({"Ps20ProjectedAndBiasedSamples",
       TokenStream(kPs20)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kT, 0)})
           .Op(D3DSIO_DCL, {0x80000000, Dst(kT, 1)})
           .Op(D3DSIO_DCL, {0x90000000, Dst(D3DSPR_SAMPLER, 0)})
           .Op(D3DSIO_TEX | D3DSI_TEXLD_PROJECT, {Dst(kR, 0), Src(kT, 0), Src(D3DSPR_SAMPLER, 0)})
           .Op(D3DSIO_TEX | D3DSI_TEXLD_BIAS, {Dst(kR, 1), Src(kT, 1), Src(D3DSPR_SAMPLER, 0)})
           .Op(D3DSIO_ADD, {Dst(kOC, 0), Src(kR, 0), Src(kR, 1)})
           .End(),
       Colours({}, {}, {0.375f, 0.375f, 0, 0.5f}, {0.75f, 0.25f, 0, 3}),
       {},
       {},
       {},
       {1.5f, 1.35f, 1.2f, 1.05f}});
  // texldd at (0.25, 0.75) reads texel (0, 1) and texldl at (0.75, 0.75) texel (1, 1): gradients
  // and a level change nothing on a texture of one level. The inputs are the same all over the
  // quad, so their derivatives are 0. The product: (0.25, 0.375, 0.375, 0.25).
  add({"Ps30GradientAndLevelSamplesAndDerivatives",
       TokenStream(kPs30)
           .Op(D3DSIO_DCL, {0x80000005, Dst(kV, 0)})
           .Op(D3DSIO_DCL, {0x80010005, Dst(kV, 1)})
           .Op(D3DSIO_DCL, {0x90000000, Dst(D3DSPR_SAMPLER, 0)})
           .Op(D3DSIO_TEXLDD, {Dst(kR, 0), Src(kV, 0), Src(D3DSPR_SAMPLER, 0), Src(kV, 1), Src(kV, 1)})
           .Op(D3DSIO_TEXLDL, {Dst(kR, 1), Src(kV, 1), Src(D3DSPR_SAMPLER, 0)})
           .Op(D3DSIO_DSX, {Dst(kR, 2), Src(kV, 0)})
           .Op(D3DSIO_DSY, {Dst(kR, 3), Src(kV, 1)})
           .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kR, 0), Src(kR, 1)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kR, 2)})
           .Op(D3DSIO_ADD, {Dst(kOC, 0), Src(kR, 0), Src(kR, 3)})
           .End(),
       Colours({}, {}, {0.25f, 0.75f, 0, 1}, {0.75f, 0.75f, 0, 5}),
       {},
       {},
       {},
       {0.25f, 0.375f, 0.375f, 0.25f}});
  // t0 = texcoord0 = (0.5, 0.25, 1, 1); z = texcoord1 . t0 = 0.625 and w = texcoord2 . t0 = 1.25,
  // so the depth is z / w = 0.5. The colour is t0.
  ShaderCase depth = {"Ps13Texm3x2depthWritesZOverW",
                      TokenStream(kPs13)
                          .Op(D3DSIO_TEXCOORD, {Dst(kT, 0)})
                          .Op(D3DSIO_TEXM3x2PAD, {Dst(kT, 1), Src(kT, 0)})
                          .Op(D3DSIO_TEXM3x2DEPTH, {Dst(kT, 2), Src(kT, 0)})
                          .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 0)})
                          .End(),
                      Colours({}, {}, {0.5f, 0.25f, 1, 1}, {0.5f, 1, 0.125f, 0}),
                      {},
                      {},
                      {},
                      {0.5f, 0.25f, 1, 1}};
  depth.inputs.texcoord[2] = {1, 1, 0.5f, 0};
  depth.depth = 0.5f;
  add(depth);
  // texcrd r5.xyz = (0.375, 0.5, 0); after the phase texdepth writes r5.x / r5.y = 0.75.
  depth = {"Ps14TexdepthWritesXOverY",
           TokenStream(kPs14)
               .Op(D3DSIO_TEXCOORD, {Dst(kR, 5, 0x7), Src(kT, 0)})
               .Op(D3DSIO_PHASE, {})
               .Op(D3DSIO_TEXDEPTH, {Dst(kR, 5)})
               .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kR, 5)})
               .End(),
           Colours({}, {}, {0.375f, 0.5f, 0, 1}),
           {},
           {},
           {},
           {0.375f, 0.5f, 0, 0}};
  depth.depth = 0.75f;
  add(depth);
  return cases;
}

// Vertex shader cases: the result is oT0 (vs 1.x/2.x).
inline std::vector<ShaderCase> VertexCases() {
  constexpr DWORD kOT = D3DSPR_TEXCRDOUT, kA = D3DSPR_ADDR;
  const DWORD kPosition = Dst(D3DSPR_RASTOUT, 0);
  std::vector<ShaderCase> cases;
  ShaderCase c;
  // m4x4 of v1 by c4-c7: rows (1,0,0,0), (0,2,0,0), (0,0,3,0), (1,1,1,1) applied to (1,2,3,1).
  c = {"MatrixTransform",
       TokenStream(kVs11)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_DCL, {0x80000005, Dst(kV, 1)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_M4x4, {Dst(kOT, 0), Src(kV, 1), Src(kC, 4)})
           .End(),
       {},
       {},
       {{4, {1, 0, 0, 0}}, {5, {0, 2, 0, 0}}, {6, {0, 0, 3, 0}}, {7, {1, 1, 1, 1}}},
       {},
       {1, 4, 9, 7}};
  c.vertexInputs[1] = {1, 2, 3, 1};
  cases.push_back(c);
  // vs 1.1 moves to a0 rounding down: 2.7 gives 2, so c[a0.x + 4] is c6.
  c = {"Vs11RelativeConstant",
       TokenStream(kVs11)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_MOV, {Dst(kA, 0, 0x1), Src(kC, 8, Swz(0, 0, 0, 0))})
           .Op(D3DSIO_MOV, {Dst(kOT, 0), Src(kC, 4) | D3DVS_ADDRMODE_RELATIVE})
           .End(),
       {},
       {},
       {{6, {6, 6.5f, 7, 7.5f}}, {8, {2.7f, 0, 0, 0}}},
       {},
       {6, 6.5f, 7, 7.5f}};
  cases.push_back(c);
  c = {"LitDstAndScalarDefaultW",
       TokenStream(kVs11)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_LIT, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_DST, {Dst(kR, 1), Src(kC, 1), Src(kC, 2)})
           .Op(D3DSIO_RCP, {Dst(kR, 2, 0x1), Src(kC, 2)})
           .Op(D3DSIO_MAD, {Dst(kOT, 0), Src(kR, 0), Src(kR, 1), Src(kR, 2, Swz(0, 0, 0, 0))})
           .End(),
       {},
       {},
       {{0, {0.5f, 0.25f, 0, 2}}, {1, {9, 2, 3, 9}}, {2, {9, 4, 9, 5}}},
       {},
       {1.2f, 4.2f, 0.3875f, 5.2f},
       false,
       true};
  // lit (0.5, 0.25, _, 2) = (1, 0.5, 0.0625, 1); dst = (1, 8, 3, 5); rcp reads w: 1/5.
  cases.push_back(c);
  c = {"Vs20LoopAddressesByTheLoopCounter",
       TokenStream(kVs20)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_DEFI, {Reg(D3DSPR_CONSTINT, 0), 3, 1, 2, 0})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_LOOP, {Src(D3DSPR_LOOP, 0), Src(D3DSPR_CONSTINT, 0)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 0) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_LOOP, 0, 0)})
           .Op(D3DSIO_ENDLOOP, {})
           .Op(D3DSIO_MOV, {Dst(kOT, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       {{0, {0, 0, 0, 0}}, {1, {1, 0, 0, 0}}, {3, {0, 1, 0, 0}}, {5, {0, 0, 1, 0}}, {7, {0, 0, 0, 1}}},
       {},
       {1, 1, 1, 0}};
  cases.push_back(c);
  c = {"Vs2xPredicatedWrite",
       TokenStream(kVs2x)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_SETP | (D3DSPC_GT << 16), {Dst(D3DSPR_PREDICATE, 0), Src(kC, 0), Src(kC, 1)})
           .Op(D3DSIO_MOV, {Dst(kOT, 0), Src(kC, 2)})
           .Op(D3DSIO_MOV, {Dst(kOT, 0), Src(D3DSPR_PREDICATE, 0), Src(kC, 3)}, D3DSHADER_INSTRUCTION_PREDICATED)
           .End(),
       {},
       {},
       {{0, {1, 2, 3, 4}}, {1, {2, 2, 2, 2}}, {2, {0, 0, 0, 0}}, {3, {9, 9, 9, 9}}},
       {},
       {0, 0, 9, 9}};
  cases.push_back(c);
  // vs_3_0: texcoord0 in o3; loop aL = 0-3 sums c1-c4, a subroutine doubles it.
  c = {"Vs30LoopAndSubroutineIntoADeclaredOutput",
       TokenStream(kVs30)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_OUTPUT, 0)})
           .Op(D3DSIO_DCL, {0x80000005, Dst(D3DSPR_OUTPUT, 3)})
           .Op(D3DSIO_DEFI, {Reg(D3DSPR_CONSTINT, 0), 4, 0, 1, 0})
           .Op(D3DSIO_MOV, {Dst(D3DSPR_OUTPUT, 0), Src(kV, 0)})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 0)})
           .Op(D3DSIO_LOOP, {Src(D3DSPR_LOOP, 0), Src(D3DSPR_CONSTINT, 0)})
           .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kR, 0), Src(kC, 1) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_LOOP, 0, 0)})
           .Op(D3DSIO_ENDLOOP, {})
           .Op(D3DSIO_CALL, {Src(D3DSPR_LABEL, 0)})
           .Op(D3DSIO_MOV, {Dst(D3DSPR_OUTPUT, 3), Src(kR, 0)})
           .Op(D3DSIO_RET, {})
           .Op(D3DSIO_LABEL, {Src(D3DSPR_LABEL, 0)})
           .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kR, 0), Src(kC, 5)})
           .Op(D3DSIO_RET, {})
           .End(),
       {},
       {},
       {{0, {0, 0, 0, 0}},
        {1, {1, 0, 0, 0}},
        {2, {0, 1, 0, 0}},
        {3, {0, 0, 1, 0}},
        {4, {0, 0, 0, 1}},
        {5, {2, 2, 2, 2}}},
       {},
       {2, 2, 2, 2}};
  cases.push_back(c);
  // vs_3_0 outputs indexed by the loop counter: o1[aL] = c1[aL] for aL = 0, 1 leaves c1 in
  // texcoord0 (o1) and c2 in texcoord1 (o2).
  c = {"Vs30LoopIndexesOutputs",
       TokenStream(kVs30)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_DCL, {0x80000000, Dst(D3DSPR_OUTPUT, 0)})
           .Op(D3DSIO_DCL, {0x80000005, Dst(D3DSPR_OUTPUT, 1)})
           .Op(D3DSIO_DCL, {0x80010005, Dst(D3DSPR_OUTPUT, 2)})
           .Op(D3DSIO_DEFI, {Reg(D3DSPR_CONSTINT, 0), 2, 0, 1, 0})
           .Op(D3DSIO_MOV, {Dst(D3DSPR_OUTPUT, 0), Src(kV, 0)})
           .Op(D3DSIO_LOOP, {Src(D3DSPR_LOOP, 0), Src(D3DSPR_CONSTINT, 0)})
           .Op(D3DSIO_MOV, {Dst(D3DSPR_OUTPUT, 1) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_LOOP, 0, 0),
                            Src(kC, 1) | D3DVS_ADDRMODE_RELATIVE, Src(D3DSPR_LOOP, 0, 0)})
           .Op(D3DSIO_ENDLOOP, {})
           .End(),
       {},
       {},
       {{1, {1, 2, 3, 4}}, {2, {5, 6, 7, 8}}},
       {},
       {1, 2, 3, 4}};
  cases.push_back(c);
  // slt (1, 0, 0, 1) and sge (0, 1, 1, 0) of (1, 2, 3, 4) against (2, 2, 1, 5): slt * 2 + sge.
  c = {"Vs11SetOnLessAndOnGreaterOrEqual",
       TokenStream(kVs11)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_SLT, {Dst(kR, 0), Src(kC, 0), Src(kC, 1)})
           .Op(D3DSIO_SGE, {Dst(kR, 1), Src(kC, 0), Src(kC, 1)})
           .Op(D3DSIO_MAD, {Dst(kOT, 0), Src(kR, 0), Src(kC, 2), Src(kR, 1)})
           .End(),
       {},
       {},
       {{0, {1, 2, 3, 4}}, {1, {2, 2, 1, 5}}, {2, {2, 2, 2, 2}}},
       {},
       {2, 1, 1, 2}};
  cases.push_back(c);
  // Rows c4-c7 (1, 0, 0, 1), (0, 1, 0, 1), (0, 0, 1, 1), (1, 1, 1, 1) against v1 = (1, 2, 3, 4):
  // m3x4 takes three components of four rows, (1, 2, 3, 6); m4x3 four components of three
  // rows, (5, 6, 7), over x, y and z.
  const std::vector<std::pair<UINT, ShaderVector>> matrixRows = {
      {4, {1, 0, 0, 1}}, {5, {0, 1, 0, 1}}, {6, {0, 0, 1, 1}}, {7, {1, 1, 1, 1}}, {8, {9, 9, 9, 9}}};
  c = {"Vs11FourComponentAndFourRowMatrices",
       TokenStream(kVs11)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_DCL, {0x80000005, Dst(kV, 1)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_M3x4, {Dst(kR, 0), Src(kV, 1), Src(kC, 4)})
           .Op(D3DSIO_M4x3, {Dst(kR, 0, 0x7), Src(kV, 1), Src(kC, 4)})
           .Op(D3DSIO_MOV, {Dst(kOT, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       matrixRows,
       {},
       {5, 6, 7, 6}};
  c.vertexInputs[1] = {1, 2, 3, 4};
  cases.push_back(c);
  // The same rows: m3x3 gives (1, 2, 3) over x, y and z; m3x2 from c6 gives (3, 6), whose second
  // row w takes. w would be 10 from four components.
  c = {"Vs11ThreeComponentMatrices",
       TokenStream(kVs11)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_DCL, {0x80000005, Dst(kV, 1)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kC, 8)})
           .Op(D3DSIO_M3x3, {Dst(kR, 0, 0x7), Src(kV, 1), Src(kC, 4)})
           .Op(D3DSIO_M3x2, {Dst(kR, 1, 0x3), Src(kV, 1), Src(kC, 6)})
           .Op(D3DSIO_MOV, {Dst(kR, 0, 0x8), Src(kR, 1, Swz(1, 1, 1, 1))})
           .Op(D3DSIO_MOV, {Dst(kOT, 0), Src(kR, 0)})
           .End(),
       {},
       {},
       matrixRows,
       {},
       {1, 2, 3, 6}};
  c.vertexInputs[1] = {1, 2, 3, 4};
  cases.push_back(c);
  // sgn (-2.5, 0, 3, -0.25) = (-1, 0, 1, -1) and abs = (2.5, 0, 3, 0.25); mova rounds 1.6 to 2,
  // so c[a0.x + 3] is c5 = (10, 20, 30, 40): sgn * abs + c5 = (7.5, 20, 33, 39.75).
  c = {"Vs20SignAbsoluteAndARoundedAddress",
       TokenStream(kVs20)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_SGN, {Dst(kR, 0), Src(kC, 0), Src(kR, 1), Src(kR, 2)})
           .Op(D3DSIO_ABS, {Dst(kR, 1), Src(kC, 0)})
           .Op(D3DSIO_MOVA, {Dst(kA, 0, 0x1), Src(kC, 1, Swz(0, 0, 0, 0))})
           .Op(D3DSIO_MOV, {Dst(kR, 2), Src(kC, 3) | D3DVS_ADDRMODE_RELATIVE, Src(kA, 0, Swz(0, 0, 0, 0))})
           .Op(D3DSIO_MAD, {Dst(kOT, 0), Src(kR, 0), Src(kR, 1), Src(kR, 2)})
           .End(),
       {},
       {},
       {{0, {-2.5f, 0, 3, -0.25f}}, {1, {1.6f, 0, 0, 0}}, {4, {1, 1, 1, 1}}, {5, {10, 20, 30, 40}}},
       {},
       {7.5f, 20, 33, 39.75f}};
  cases.push_back(c);
  // vs 1.x expp of 2.5: 2^2 = 4, the fraction 0.5, 2^2.5 = 5.656854249, 1.
  c = {"Vs11ExppSplitsThePowerOfTwo",
       TokenStream(kVs11)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_EXPP, {Dst(kOT, 0), Src(kC, 0, Swz(0, 0, 0, 0))})
           .End(),
       {},
       {},
       {{0, {2.5f, 0, 0, 0}}},
       {},
       {4, 0.5f, 5.656854249f, 1},
       false,
       true};
  cases.push_back(c);
  // vs 1.x logp of 12: the exponent 3, the mantissa 12 / 2^3 = 1.5, log2 12 = 3.584962501, 1.
  c = {"Vs11LogpSplitsTheLogarithm",
       TokenStream(kVs11)
           .Op(D3DSIO_DCL, {0x80000000, Dst(kV, 0)})
           .Op(D3DSIO_MOV, {kPosition, Src(kV, 0)})
           .Op(D3DSIO_LOGP, {Dst(kOT, 0), Src(kC, 0, Swz(1, 1, 1, 1))})
           .End(),
       {},
       {},
       {{0, {0, 12, 0, 0}}},
       {},
       {3, 1.5f, 3.584962501f, 1},
       false,
       true};
  cases.push_back(c);
  for (ShaderCase& each : cases) each.vertexInputs[0] = {0, 0, 0, 1};
  cases[0].vertexInputs[1] = {1, 2, 3, 1};
  return cases;
}

// The texture-addressing instructions of pixel shaders 1.1-1.4, drawn through the device with
// four 8x8 textures and four coordinate sets and compared with the evaluator by
// GlTextureAddressingTest.cpp; their results depend on the textures, so they have no hand-worked
// values of their own.
struct AddressingCase {
  const char* name;
  std::vector<DWORD> tokens;
  float setOneOffset = 0.0f;  // added to texture-coordinate set 1, to reach negative values
};

// ps_1_1-1.3 streams: `tex tN` samples stage N at coordinate set N.
inline void PrintTo(const AddressingCase& c, std::ostream* out) { *out << c.name; }

inline DWORD TexOp(DWORD n) { return Dst(kT, n); }

inline std::vector<AddressingCase> AddressingCases() {
  const DWORD v11 = D3DPS_VERSION(1, 1), v12 = D3DPS_VERSION(1, 2), v14 = D3DPS_VERSION(1, 4);
  std::vector<AddressingCase> cases;
  cases.push_back({"TexcoordClampsAndAdds",
                   TokenStream(v11)
                       .Op(D3DSIO_TEXCOORD, {Dst(kT, 0)})
                       .Op(D3DSIO_TEXCOORD, {Dst(kT, 1)})
                       .Op(D3DSIO_ADD, {Dst(kR, 0), Src(kT, 0), Src(kT, 1)})
                       .End(),
                   -0.4f});
  cases.push_back({"TexkillDiscardsWhereACoordinateIsNegative",
                   TokenStream(v11)
                       .Op(D3DSIO_TEX, {TexOp(0)})
                       .Op(D3DSIO_TEXKILL, {Dst(kT, 1)})
                       .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 0)})
                       .End(),
                   -0.25f});
  cases.push_back({"Texreg2arSamplesAtAlphaRed", TokenStream(v11)
                                                     .Op(D3DSIO_TEX, {TexOp(0)})
                                                     .Op(D3DSIO_TEXREG2AR, {Dst(kT, 1), Src(kT, 0)})
                                                     .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 1)})
                                                     .End()});
  cases.push_back({"Texreg2gbSamplesAtGreenBlue", TokenStream(v11)
                                                      .Op(D3DSIO_TEX, {TexOp(0)})
                                                      .Op(D3DSIO_TEXREG2GB, {Dst(kT, 1), Src(kT, 0)})
                                                      .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 1)})
                                                      .End()});
  cases.push_back({"Texreg2rgbSamplesAtRedGreenBlue", TokenStream(v12)
                                                          .Op(D3DSIO_TEX, {TexOp(0)})
                                                          .Op(D3DSIO_TEXREG2RGB, {Dst(kT, 1), Src(kT, 0)})
                                                          .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 1)})
                                                          .End()});
  cases.push_back({"Texdp3ReplicatesTheDotProduct", TokenStream(v12)
                                                        .Op(D3DSIO_TEX, {TexOp(0)})
                                                        .Op(D3DSIO_TEXDP3, {Dst(kT, 1), Src(kT, 0)})
                                                        .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kT, 1), Src(kT, 0)})
                                                        .End()});
  cases.push_back({"Texdp3texSamplesAtTheDotProduct", TokenStream(v12)
                                                          .Op(D3DSIO_TEX, {TexOp(0)})
                                                          .Op(D3DSIO_TEXDP3TEX, {Dst(kT, 1), Src(kT, 0)})
                                                          .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 1)})
                                                          .End()});
  cases.push_back({"Texm3x2TransformsAndSamples", TokenStream(v11)
                                                      .Op(D3DSIO_TEX, {TexOp(0)})
                                                      .Op(D3DSIO_TEXM3x2PAD, {Dst(kT, 1), Src(kT, 0)})
                                                      .Op(D3DSIO_TEXM3x2TEX, {Dst(kT, 2), Src(kT, 0)})
                                                      .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 2)})
                                                      .End()});
  cases.push_back(
      {"Texm3x3TransformsAndSamples", TokenStream(v11)
                                          .Op(D3DSIO_TEX, {TexOp(0)})
                                          .Op(D3DSIO_TEXM3x3PAD, {Dst(kT, 1), Src(kT, 0, kIdentity, D3DSPSM_SIGN)})
                                          .Op(D3DSIO_TEXM3x3PAD, {Dst(kT, 2), Src(kT, 0, kIdentity, D3DSPSM_SIGN)})
                                          .Op(D3DSIO_TEXM3x3TEX, {Dst(kT, 3), Src(kT, 0, kIdentity, D3DSPSM_SIGN)})
                                          .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 3)})
                                          .End()});
  cases.push_back({"Texm3x3KeepsTheTransformedVector", TokenStream(v12)
                                                           .Op(D3DSIO_TEX, {TexOp(0)})
                                                           .Op(D3DSIO_TEXM3x3PAD, {Dst(kT, 1), Src(kT, 0)})
                                                           .Op(D3DSIO_TEXM3x3PAD, {Dst(kT, 2), Src(kT, 0)})
                                                           .Op(D3DSIO_TEXM3x3, {Dst(kT, 3), Src(kT, 0)})
                                                           .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kT, 3), Src(kC, 1)})
                                                           .End()});
  cases.push_back({"Texm3x3specReflectsAConstantEye",
                   TokenStream(v11)
                       .Op(D3DSIO_TEX, {TexOp(0)})
                       .Op(D3DSIO_TEXM3x3PAD, {Dst(kT, 1), Src(kT, 0, kIdentity, D3DSPSM_SIGN)})
                       .Op(D3DSIO_TEXM3x3PAD, {Dst(kT, 2), Src(kT, 0, kIdentity, D3DSPSM_SIGN)})
                       .Op(D3DSIO_TEXM3x3SPEC, {Dst(kT, 3), Src(kT, 0, kIdentity, D3DSPSM_SIGN), Src(kC, 0)})
                       .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 3)})
                       .End()});
  cases.push_back(
      {"Texm3x3vspecReflectsTheEyeInTheFourthCoordinates", TokenStream(v11)
                                                               .Op(D3DSIO_TEX, {TexOp(0)})
                                                               .Op(D3DSIO_TEXM3x3PAD, {Dst(kT, 1), Src(kT, 0)})
                                                               .Op(D3DSIO_TEXM3x3PAD, {Dst(kT, 2), Src(kT, 0)})
                                                               .Op(D3DSIO_TEXM3x3VSPEC, {Dst(kT, 3), Src(kT, 0)})
                                                               .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 3)})
                                                               .End()});
  cases.push_back({"TexbemOffsetsTheNextStage", TokenStream(v11)
                                                    .Op(D3DSIO_TEX, {TexOp(0)})
                                                    .Op(D3DSIO_TEXBEM, {Dst(kT, 1), Src(kT, 0)})
                                                    .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 1)})
                                                    .End()});
  cases.push_back({"TexbemlScalesByLuminance", TokenStream(v11)
                                                   .Op(D3DSIO_TEX, {TexOp(0)})
                                                   .Op(D3DSIO_TEXBEML, {Dst(kT, 1), Src(kT, 0)})
                                                   .Op(D3DSIO_MOV, {Dst(kR, 0), Src(kT, 1)})
                                                   .End()});
  // ps_1_4: coordinates into registers, bem in the first phase, a dependent read in the second.
  cases.push_back({"Ps14BemOffsetsADependentRead", TokenStream(v14)
                                                       .Op(D3DSIO_TEX, {Dst(kR, 0), Src(kT, 0)})
                                                       .Op(D3DSIO_TEXCOORD, {Dst(kR, 1, 0x7), Src(kT, 1)})
                                                       .Op(D3DSIO_BEM, {Dst(kR, 1, 0x3), Src(kR, 1), Src(kR, 0)})
                                                       .Op(D3DSIO_PHASE, {})
                                                       .Op(D3DSIO_TEX, {Dst(kR, 1), Src(kR, 1)})
                                                       .Op(D3DSIO_MUL, {Dst(kR, 0), Src(kR, 1), Src(kR, 0)})
                                                       .End()});
  cases.push_back({"Ps14TexcrdReadsCoordinatesUnclamped",
                   TokenStream(v14)
                       .Op(D3DSIO_TEXCOORD, {Dst(kR, 0, 0x7), Src(kT, 1)})
                       .Op(D3DSIO_TEXCOORD, {Dst(kR, 2, 0x7), Src(kT, 2)})
                       .Op(D3DSIO_MAD, {Dst(kR, 0, 0x7), Src(kR, 0), Src(kC, 1), Src(kR, 2)})
                       .Op(D3DSIO_MOV, {Dst(kR, 0, 0x8), Src(kC, 1)})
                       .End(),
                   -0.4f});
  return cases;
}

}  // namespace rastro::testing
