// Shader objects: which token streams a device accepts, and that it keeps an exact copy.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "DebugOutput.h"

#include "TestDevice.h"

namespace rastro::testing {
namespace {

constexpr DWORD kEnd = 0x0000FFFF;

struct ShaderCase {
  const char* name;
  std::vector<DWORD> tokens;
  bool pixel;
  HRESULT expected;
  UINT expectedTokens;  // the copy's length when accepted
};

class ShaderCreation : public ::testing::TestWithParam<ShaderCase> {};

TEST_P(ShaderCreation, AcceptsStreamsUpToTheirEndToken) {
  const ShaderCase& c = GetParam();
  TestDevice device;
  std::vector<DWORD> tokens = c.tokens;
  // Whatever lies beyond the stream must not be taken into the copy.
  tokens.insert(tokens.end(), {0x12345678, kEnd, 0xFFFFFFFF});
  std::vector<DWORD> function;
  IUnknown* shader = nullptr;
  UINT size = 0;
  if (c.pixel) {
    IDirect3DPixelShader9* pixel = nullptr;
    EXPECT_EQ(device->CreatePixelShader(tokens.data(), &pixel), c.expected);
    if (pixel) {
      ASSERT_EQ(pixel->GetFunction(nullptr, &size), D3D_OK);
      function.resize(size / 4);
      ASSERT_EQ(pixel->GetFunction(function.data(), &size), D3D_OK);
    }
    shader = pixel;
  } else {
    IDirect3DVertexShader9* vertex = nullptr;
    EXPECT_EQ(device->CreateVertexShader(tokens.data(), &vertex), c.expected);
    if (vertex) {
      ASSERT_EQ(vertex->GetFunction(nullptr, &size), D3D_OK);
      function.resize(size / 4);
      ASSERT_EQ(vertex->GetFunction(function.data(), &size), D3D_OK);
    }
    shader = vertex;
  }
  if (FAILED(c.expected)) {
    EXPECT_EQ(shader, nullptr);
    return;
  }
  ASSERT_NE(shader, nullptr);
  EXPECT_EQ(size, c.expectedTokens * 4);
  EXPECT_EQ(function, std::vector<DWORD>(c.tokens.begin(), c.tokens.begin() + c.expectedTokens));
  shader->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Streams, ShaderCreation,
    ::testing::Values(
        // ps_2_0: mov oC0, c0 (instruction length 2 in bits 24-27).
        ShaderCase{"Ps20", {D3DPS_VERSION(2, 0), 0x02000001, 0x800F0800, 0xA0E40000, kEnd}, true, D3D_OK, 5},
        // A comment whose payload holds the end token's value is skipped as a whole.
        ShaderCase{"CommentHidesEndValue",
                   {D3DPS_VERSION(2, 0), 0x0002FFFE, kEnd, 0x47554244, 0x02000001, 0x800F0800, 0xA0E40000, kEnd},
                   true,
                   D3D_OK,
                   8},
        // ps_1_1 def: its four constants are raw values, 0x0000FFFF among them.
        ShaderCase{"Ps11DefConstant",
                   {D3DPS_VERSION(1, 1), 0x00000051, 0xA00F0000, kEnd, 0x3F800000, 0, 0, 0x00000001, 0x800F0000,
                    0xA0E40000, kEnd},
                   true,
                   D3D_OK,
                   11},
        // ps_1_4: mov r0, c0.
        ShaderCase{"Ps14", {D3DPS_VERSION(1, 4), 0x00000001, 0x800F0000, 0xA0E40000, kEnd}, true, D3D_OK, 5},
        // vs_1_1: dcl_position v0; mov oPos, v0.
        ShaderCase{"Vs11",
                   {D3DVS_VERSION(1, 1), 0x0000001F, 0x80000000, 0x900F0000, 0x00000001, 0xC00F0000, 0x90E40000, kEnd},
                   false,
                   D3D_OK,
                   8},
        // Well-formed streams that the validator rejects: no colour written; an undeclared input.
        ShaderCase{"Ps20WithoutColour", {D3DPS_VERSION(2, 0), kEnd}, true, D3DERR_INVALIDCALL, 0},
        ShaderCase{"Vs11UndeclaredInput",
                   {D3DVS_VERSION(1, 1), 0x00000001, 0xC00F0000, 0x90E40000, kEnd},
                   false,
                   D3DERR_INVALIDCALL,
                   0},
        ShaderCase{"Ps30AboveDevice", {D3DPS_VERSION(3, 0), kEnd}, true, D3DERR_INVALIDCALL, 0},
        ShaderCase{"Vs30AboveDevice", {D3DVS_VERSION(3, 0), kEnd}, false, D3DERR_INVALIDCALL, 0},
        ShaderCase{"UnknownVersion", {D3DPS_VERSION(1, 5), kEnd}, true, D3DERR_INVALIDCALL, 0},
        ShaderCase{"VertexTokenForPixelShader", {D3DVS_VERSION(1, 1), kEnd}, true, D3DERR_INVALIDCALL, 0},
        ShaderCase{"PixelTokenForVertexShader", {D3DPS_VERSION(1, 1), kEnd}, false, D3DERR_INVALIDCALL, 0},
        ShaderCase{"NotAVersion", {0x00000001, kEnd}, true, D3DERR_INVALIDCALL, 0}),
    [](const auto& test) { return test.param.name; });

TEST(ShaderCreation, RefusesAStreamWithoutEndWithinTheBound) {
  TestDevice device;
  // Only nops and comments: the walk reaches its bound without finding an end.
  std::vector<DWORD> tokens(70000, 0);
  tokens[0] = D3DPS_VERSION(2, 0);
  tokens[100] = 0x0010FFFE;  // a comment of 16 words
  IDirect3DPixelShader9* shader = reinterpret_cast<IDirect3DPixelShader9*>(1);
  EXPECT_EQ(device->CreatePixelShader(tokens.data(), &shader), D3DERR_INVALIDCALL);
  EXPECT_EQ(shader, nullptr);
  // Two long comments, mov oC0, c0 and the end as the last token inside the bound.
  tokens[1] = 0x7FFFFFFE;      // 32767 words
  tokens[32769] = 0x7FFAFFFE;  // 32762 words, up to 65531
  tokens[65532] = 0x02000001;
  tokens[65533] = 0x800F0800;
  tokens[65534] = 0xA0E40000;
  tokens[65535] = kEnd;
  EXPECT_EQ(device->CreatePixelShader(tokens.data(), &shader), D3D_OK);
  UINT size = 0;
  shader->GetFunction(nullptr, &size);
  EXPECT_EQ(size, 65536u * 4);
  shader->Release();
  EXPECT_EQ(device->CreatePixelShader(nullptr, &shader), D3DERR_INVALIDCALL);
}

TEST(ShaderCreation, VersionsFollowTheDeviceAndItsVertexProcessing) {
  DeviceProfile profile = CapableProfile();
  profile.caps.PixelShaderVersion = D3DPS_VERSION(1, 4);
  profile.caps.VertexShaderVersion = D3DVS_VERSION(0, 0);  // no vertex shaders in hardware
  TestDevice device(profile, FullScreenParameters(), D3DCREATE_MIXED_VERTEXPROCESSING);
  const DWORD ps20[] = {D3DPS_VERSION(2, 0), kEnd};
  const DWORD ps14[] = {D3DPS_VERSION(1, 4), 0x00000001, 0x800F0000, 0xA0E40000, kEnd};
  const DWORD vs11[] = {D3DVS_VERSION(1, 1), 0x00000001, 0xC00F0000, 0xA0E40000, kEnd};  // mov oPos, c0
  ComPtr<IDirect3DPixelShader9> pixel;
  ComPtr<IDirect3DVertexShader9> vertex;
  EXPECT_EQ(device->CreatePixelShader(ps20, pixel.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL);
  EXPECT_EQ(device->CreatePixelShader(ps14, pixel.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(device->CreateVertexShader(vs11, vertex.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL);
  // Software vertex processing runs vertex shaders the hardware lacks.
  ASSERT_EQ(device->SetSoftwareVertexProcessing(TRUE), D3D_OK);
  EXPECT_EQ(device->CreateVertexShader(vs11, vertex.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(device->SetVertexShader(vertex.Get()), D3D_OK);
  ComPtr<IDirect3DVertexShader9> bound;
  ASSERT_EQ(device->GetVertexShader(bound.ReleaseAndGetAddressOf()), D3D_OK);
  EXPECT_EQ(bound.Get(), vertex.Get());
}

std::vector<std::string> debugLines;
void CaptureLine(const char* line) { debugLines.emplace_back(line); }

TEST(ShaderCreation, ARejectedShaderPrintsTheRuleItBreaks) {
  TestDevice device;
  ::setenv("RASTROMETER_D3D_DEBUG", "1", 1);
  SetDebugOutputSink(&CaptureLine);
  debugLines.clear();
  // ps_2_0: texld r0, t0, s0 with neither t0 nor s0 declared, then mov oC0, r0.
  const DWORD undeclared[] = {D3DPS_VERSION(2, 0), 0x03000042, 0x800F0000, 0xB0E40000, 0xA0E40800,
                              0x02000001,          0x800F0800, 0x80E40000, kEnd};
  ComPtr<IDirect3DPixelShader9> shader;
  EXPECT_EQ(device->CreatePixelShader(undeclared, shader.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL);
  EXPECT_FALSE(shader);
  SetDebugOutputSink(nullptr);
  ::unsetenv("RASTROMETER_D3D_DEBUG");
  ASSERT_EQ(debugLines.size(), 1u);
  EXPECT_NE(debugLines[0].find("CreatePixelShader"), std::string::npos);
  EXPECT_NE(debugLines[0].find("2 rules"), std::string::npos) << debugLines[0];
  EXPECT_NE(debugLines[0].find("t0 is used but not declared"), std::string::npos) << debugLines[0];
}

TEST(ShaderCreation, GetFunctionChecksTheBufferSize) {
  TestDevice device;
  const DWORD ps11[] = {D3DPS_VERSION(1, 1), 0x00000001, 0x800F0000, 0xA0E40000, kEnd};
  ComPtr<IDirect3DPixelShader9> shader;
  ASSERT_EQ(device->CreatePixelShader(ps11, shader.ReleaseAndGetAddressOf()), D3D_OK);
  DWORD small[2] = {};
  UINT size = sizeof small;
  EXPECT_EQ(shader->GetFunction(small, &size), D3DERR_INVALIDCALL);
  EXPECT_EQ(size, sizeof ps11);
  EXPECT_EQ(shader->GetFunction(small, nullptr), D3DERR_INVALIDCALL);
}

TEST(VertexDeclaration, ElementsAreCheckedAndReturnedWithTheEndMarker) {
  TestDevice device;
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_POSITION, 0},
                                        {0, 16, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 0},
                                        {0, 20, D3DDECLTYPE_D3DCOLOR, D3DDECLMETHOD_DEFAULT, D3DDECLUSAGE_COLOR, 1},
                                        D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  ASSERT_EQ(device->CreateVertexDeclaration(elements, declaration.ReleaseAndGetAddressOf()), D3D_OK);
  UINT count = 0;
  ASSERT_EQ(declaration->GetDeclaration(nullptr, &count), D3D_OK);
  EXPECT_EQ(count, 4u);
  D3DVERTEXELEMENT9 copy[4] = {};
  ASSERT_EQ(declaration->GetDeclaration(copy, &count), D3D_OK);
  EXPECT_EQ(copy[2].Offset, 20);
  EXPECT_EQ(copy[2].UsageIndex, 1);
  EXPECT_EQ(copy[3].Stream, 0xFF);

  const D3DVERTEXELEMENT9 twice[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                     {0, 16, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                     D3DDECL_END()};
  const D3DVERTEXELEMENT9 badType[] = {{0, 0, 40, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  const D3DVERTEXELEMENT9 badStream[] = {{16, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  const D3DVERTEXELEMENT9 oddOffset[] = {{0, 2, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0}, D3DDECL_END()};
  for (const D3DVERTEXELEMENT9* bad : {twice, badType, badStream, oddOffset}) {
    EXPECT_EQ(device->CreateVertexDeclaration(bad, declaration.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL);
    EXPECT_FALSE(declaration);
  }
  // Eighty distinct, valid elements and no end marker within the 64 a declaration may have.
  std::vector<D3DVERTEXELEMENT9> endless;
  for (int i = 0; i < 80; ++i) {
    endless.push_back(
        {0, static_cast<WORD>(i * 4), D3DDECLTYPE_FLOAT1, 0, static_cast<BYTE>(i / 16), static_cast<BYTE>(i % 16)});
  }
  EXPECT_EQ(device->CreateVertexDeclaration(endless.data(), declaration.ReleaseAndGetAddressOf()), D3DERR_INVALIDCALL);
  // MAXD3DDECLLENGTH elements and the end marker make the longest declaration.
  for (std::size_t elementCount : {65u, 64u}) {
    std::vector<D3DVERTEXELEMENT9> longest(endless.begin(), endless.begin() + elementCount);
    longest.push_back(D3DDECL_END());
    EXPECT_EQ(device->CreateVertexDeclaration(longest.data(), declaration.ReleaseAndGetAddressOf()),
              elementCount == 64 ? D3D_OK : D3DERR_INVALIDCALL)
        << elementCount;
  }
  ASSERT_TRUE(declaration);
  ASSERT_EQ(declaration->GetDeclaration(nullptr, &count), D3D_OK);
  EXPECT_EQ(count, 65u);
}

}  // namespace
}  // namespace rastro::testing
