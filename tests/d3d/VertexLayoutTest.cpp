// Vertex formats decoded once: FVF values and declarations into layouts, vertex data as shader
// inputs read it, and what the device makes of them.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "TestDevice.h"
#include "VertexLayout.h"

namespace rastro::testing {
namespace {

struct ExpectedElement {
  UINT offset;
  BYTE type;
  BYTE usage;
  BYTE usageIndex;
};

struct FvfCase {
  const char* name;
  DWORD fvf;
  UINT stride;
  bool pretransformed;
  std::vector<ExpectedElement> elements;
};

class FvfLayout : public ::testing::TestWithParam<FvfCase> {};

TEST_P(FvfLayout, ElementsFollowTheFormatBits) {
  const FvfCase& c = GetParam();
  VertexLayout layout;
  ASSERT_TRUE(VertexLayout::FromFvf(c.fvf, layout));
  EXPECT_EQ(layout.streamBytes[0], c.stride);
  EXPECT_EQ(layout.pretransformed, c.pretransformed);
  ASSERT_EQ(layout.elements.size(), c.elements.size());
  for (size_t i = 0; i < c.elements.size(); ++i) {
    EXPECT_EQ(layout.elements[i].offset, c.elements[i].offset) << i;
    EXPECT_EQ(layout.elements[i].type, c.elements[i].type) << i;
    EXPECT_EQ(layout.elements[i].usage, c.elements[i].usage) << i;
    EXPECT_EQ(layout.elements[i].usageIndex, c.elements[i].usageIndex) << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, FvfLayout,
                         ::testing::Values(FvfCase{"TwoColoursScreenSpace",
                                                   0xC4,
                                                   24,
                                                   true,
                                                   {{0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0},
                                                    {16, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0},
                                                    {20, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1}}},
                                           FvfCase{"OneTextureScreenSpace",
                                                   0x104,
                                                   24,
                                                   true,
                                                   {{0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0},
                                                    {16, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0}}},
                                           FvfCase{"NormalSizeAndMixedSets",
                                                   D3DFVF_XYZ | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_TEX3 |
                                                       (1u << 18) | (3u << 20),
                                                   52,
                                                   false,
                                                   {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
                                                    {12, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0},
                                                    {24, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0},
                                                    {28, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_TEXCOORD, 0},
                                                    {36, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_TEXCOORD, 1},
                                                    {48, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_TEXCOORD, 2}}},
                                           FvfCase{"BlendWeightsWithIndices",
                                                   D3DFVF_XYZB3 | D3DFVF_LASTBETA_UBYTE4,
                                                   24,
                                                   false,
                                                   {{0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0},
                                                    {12, D3DDECLTYPE_FLOAT2, D3DDECLUSAGE_BLENDWEIGHT, 0},
                                                    {20, D3DDECLTYPE_UBYTE4, D3DDECLUSAGE_BLENDINDICES, 0}}},
                                           FvfCase{"HomogeneousPosition",
                                                   D3DFVF_XYZW | D3DFVF_DIFFUSE,
                                                   20,
                                                   false,
                                                   {{0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0},
                                                    {16, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0}}}),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(VertexLayout, RefusesFormatsThatAreNotValid) {
  VertexLayout layout;
  EXPECT_FALSE(VertexLayout::FromFvf(0x1, layout));                       // reserved bit
  EXPECT_FALSE(VertexLayout::FromFvf(0x4006 | 0x8, layout));              // not a position kind
  EXPECT_FALSE(VertexLayout::FromFvf(0x900, layout));                     // nine coordinate sets
  EXPECT_FALSE(VertexLayout::FromFvf(D3DFVF_TEX1 | (1u << 18), layout));  // size bits of an absent set
  EXPECT_TRUE(VertexLayout::FromFvf(0, layout));
  EXPECT_TRUE(layout.Empty());
}

TEST(VertexLayout, ReadsEveryDeclarationTypeAsAnInputRegister) {
  struct Case {
    BYTE type;
    std::vector<BYTE> bytes;
    float expected[4];
  };
  auto bytesOf = [](std::initializer_list<std::uint32_t> words) {
    std::vector<BYTE> out(words.size() * 4);
    size_t i = 0;
    for (std::uint32_t word : words) std::memcpy(out.data() + 4 * i++, &word, 4);
    return out;
  };
  const Case cases[] = {
      {D3DDECLTYPE_FLOAT2, bytesOf({0x3F800000, 0xC0000000}), {1, -2, 0, 1}},
      // D3DCOLOR 0x80FF4000: alpha 0x80, red 0xFF, green 0x40, blue 0.
      {D3DDECLTYPE_D3DCOLOR, bytesOf({0x80FF4000}), {1, 64 / 255.0f, 0, 128 / 255.0f}},
      {D3DDECLTYPE_UBYTE4, {1, 2, 3, 255}, {1, 2, 3, 255}},
      {D3DDECLTYPE_UBYTE4N, {0, 51, 255, 102}, {0, 0.2f, 1, 0.4f}},
      {D3DDECLTYPE_SHORT2, bytesOf({0x8000FFFF}), {-1, -32768, 0, 1}},
      // -32768 and -32767 both read as -1.
      {D3DDECLTYPE_SHORT4N, bytesOf({0x80017FFF, 0x00008000}), {1, -1, -1, 0}},
      {D3DDECLTYPE_USHORT2N, bytesOf({0x0000FFFF}), {1, 0, 0, 1}},
      // UDEC3: x = 1023, y = 1, z = 512 in 10-bit fields.
      {D3DDECLTYPE_UDEC3, bytesOf({(512u << 20) | (1u << 10) | 1023u}), {1023, 1, 512, 1}},
      // DEC3N: 511 is 1, 0x200 (-512) clamps to -1, 0x3FF is -1/511.
      {D3DDECLTYPE_DEC3N, bytesOf({(0x3FFu << 20) | (0x200u << 10) | 511u}), {1, -1, -1 / 511.0f, 1}},
      // Halves: 0x3C00 = 1, 0xC000 = -2, 0x3800 = 0.5, 0x0001 = 2^-24.
      {D3DDECLTYPE_FLOAT16_4, bytesOf({0xC0003C00, 0x00013800}), {1, -2, 0.5f, 5.9604645e-8f}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.bytes.size(), DeclTypeSize(c.type)) << int(c.type);
    float out[4];
    ReadVertexElement(c.type, c.bytes.data(), out);
    for (int i = 0; i < 4; ++i) EXPECT_FLOAT_EQ(out[i], c.expected[i]) << "type " << int(c.type) << " component " << i;
  }
}

void ExpectVector(const ShaderVector& actual, const ShaderVector& expected) {
  for (int k = 0; k < 4; ++k) EXPECT_FLOAT_EQ(actual[k], expected[k]) << "component " << k;
}

TEST(VertexLayout, ShaderInputsComeFromTheLayoutByUsage) {
  // dcl_color v3 and dcl_texcoord1 v5 read from a 0xC4-like vertex with a second colour.
  VertexLayout layout;
  ASSERT_TRUE(VertexLayout::FromFvf(D3DFVF_XYZW | D3DFVF_DIFFUSE | D3DFVF_TEX2, layout));
  BYTE vertex[36] = {};
  const float position[4] = {1, 2, 3, 1};
  std::memcpy(vertex, position, 16);
  const DWORD colour = 0xFF804000;  // alpha 1, red 0x80, green 0x40, blue 0
  std::memcpy(vertex + 16, &colour, 4);
  const float second[2] = {0.5f, 0.75f};
  std::memcpy(vertex + 28, second, 8);
  const BYTE* streams[16] = {vertex};
  std::vector<ShaderInputDeclaration> declarations = {{0, D3DDECLUSAGE_POSITION, 0},
                                                      {3, D3DDECLUSAGE_COLOR, 0},
                                                      {5, D3DDECLUSAGE_TEXCOORD, 1},
                                                      {6, D3DDECLUSAGE_NORMAL, 0}};
  auto inputs = ReadVertexInputs(declarations, layout, streams);
  ExpectVector(inputs[0], {1, 2, 3, 1});
  ExpectVector(inputs[3], {128 / 255.0f, 64 / 255.0f, 0, 1});
  ExpectVector(inputs[5], {0.5f, 0.75f, 0, 1});
  ExpectVector(inputs[6], {0, 0, 0, 1});  // the vertex has no normal
}

TEST(VertexLayout, PrimitiveVertexCounts) {
  EXPECT_EQ(PrimitiveVertexCount(D3DPT_POINTLIST, 5), 5u);
  EXPECT_EQ(PrimitiveVertexCount(D3DPT_LINELIST, 5), 10u);
  EXPECT_EQ(PrimitiveVertexCount(D3DPT_LINESTRIP, 5), 6u);
  EXPECT_EQ(PrimitiveVertexCount(D3DPT_TRIANGLELIST, 5), 15u);
  EXPECT_EQ(PrimitiveVertexCount(D3DPT_TRIANGLESTRIP, 2), 4u);
  EXPECT_EQ(PrimitiveVertexCount(D3DPT_TRIANGLEFAN, 2), 4u);
  EXPECT_EQ(PrimitiveVertexCount(static_cast<D3DPRIMITIVETYPE>(0), 2), 0u);
  EXPECT_EQ(PrimitiveVertexCount(static_cast<D3DPRIMITIVETYPE>(7), 2), 0u);
}

TEST(VertexLayout, VertexFormatReadsBackAsItsDeclaration) {
  TestDevice device;
  ASSERT_EQ(device->SetFVF(0xC4), D3D_OK);
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  ASSERT_EQ(device->GetVertexDeclaration(declaration.ReleaseAndGetAddressOf()), D3D_OK);
  ASSERT_TRUE(declaration);
  D3DVERTEXELEMENT9 elements[4] = {};
  UINT count = 0;
  ASSERT_EQ(declaration->GetDeclaration(nullptr, &count), D3D_OK);
  ASSERT_EQ(count, 4u);
  ASSERT_EQ(declaration->GetDeclaration(elements, &count), D3D_OK);
  EXPECT_EQ(elements[0].Usage, D3DDECLUSAGE_POSITIONT);
  EXPECT_EQ(elements[2].Offset, 20);
  EXPECT_EQ(elements[2].UsageIndex, 1);
  EXPECT_EQ(elements[3].Stream, 0xFF);
  // Setting the declaration replaces the FVF.
  ASSERT_EQ(device->SetVertexDeclaration(declaration.Get()), D3D_OK);
  DWORD fvf = 1;
  ASSERT_EQ(device->GetFVF(&fvf), D3D_OK);
  EXPECT_EQ(fvf, 0u);
}

TEST(VertexLayout, DeclarationTypesFollowTheCaps) {
  DeviceProfile profile = CapableProfile();
  profile.caps.DeclTypes = D3DDTCAPS_UBYTE4;
  TestDevice device(profile);
  const D3DVERTEXELEMENT9 ubyte4[] = {{0, 0, D3DDECLTYPE_UBYTE4, 0, D3DDECLUSAGE_BLENDINDICES, 0}, D3DDECL_END()};
  const D3DVERTEXELEMENT9 udec3[] = {{0, 0, D3DDECLTYPE_UDEC3, 0, D3DDECLUSAGE_NORMAL, 0}, D3DDECL_END()};
  const D3DVERTEXELEMENT9 color[] = {{0, 0, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0}, D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  EXPECT_EQ(device->CreateVertexDeclaration(ubyte4, declaration.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(device->CreateVertexDeclaration(udec3, declaration.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreateVertexDeclaration(color, declaration.ReleaseAndGetAddressOf()), D3D_OK);
}

TEST(VertexLayout, DrawsCheckEveryStreamTheDeclarationReads) {
  TestDevice device;
  // Positions from stream 0 (16 bytes a vertex), colours from stream 1 at offset 4.
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                        {1, 4, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                        D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  ASSERT_EQ(device->CreateVertexDeclaration(elements, declaration.ReleaseAndGetAddressOf()), D3D_OK);
  ComPtr<IDirect3DVertexBuffer9> positions, colours;
  ASSERT_EQ(device->CreateVertexBuffer(64, 0, 0, D3DPOOL_MANAGED, positions.ReleaseAndGetAddressOf(), nullptr), D3D_OK);
  // Four vertices of stride 8 with the colour at offset 4: the last one ends at byte 32.
  ASSERT_EQ(device->CreateVertexBuffer(31, 0, 0, D3DPOOL_MANAGED, colours.ReleaseAndGetAddressOf(), nullptr), D3D_OK);
  device->SetVertexDeclaration(declaration.Get());
  device->SetStreamSource(0, positions.Get(), 0, 16);
  device->SetStreamSource(1, colours.Get(), 0, 8);
  ASSERT_EQ(device->BeginScene(), D3D_OK);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 1), D3D_OK);  // three vertices: 24 bytes
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3DERR_INVALIDCALL);
  device->SetStreamSource(1, nullptr, 0, 0);
  EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 1), D3DERR_INVALIDCALL);
  device->EndScene();
}

}  // namespace
}  // namespace rastro::testing
