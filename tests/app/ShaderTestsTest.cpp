// Tests 7 to 16: the calls each makes on a recording device, every failure path, and the
// shader files themselves, assembled by the assembler and run on the CPU evaluator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "DataFiles.h"
#include "Fakes.h"
#include "GlDriverMapping.h"
#include "PresentParameters.h"
#include "ShaderEvaluator.h"
#include "ShaderTests.h"
#include "d3dx9shader.h"
#include "d3dx9tex.h"

namespace rastro::testing {
namespace {

// A buffer holding a version token and the end token: enough for the recording device.
class FakeTokens final : public ID3DXBuffer {
 public:
  explicit FakeTokens(DWORD version) : tokens_{version, 0x0000FFFF} {}
  HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
  ULONG AddRef() override { return static_cast<ULONG>(++references_); }
  ULONG Release() override {
    const int left = --references_;
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }
  LPVOID GetBufferPointer() override { return tokens_; }
  DWORD GetBufferSize() override { return sizeof tokens_; }

 private:
  DWORD tokens_[2];
  int references_ = 1;
};

class FakeTexture final : public IUnknown {};

// Shader files by name with their version; a file not listed does not assemble. Textures
// load unless listed as missing. Every file asked for is logged.
ShaderTestFiles RecordingFiles(CallLog& log, std::map<std::string, DWORD> shaders,
                               std::set<std::string> missingTextures = {}) {
  ShaderTestFiles files;
  files.assemble = [&log, shaders](const char* name, ID3DXBuffer** out) {
    log.push_back(std::string("Assemble(") + name + ")");
    auto found = shaders.find(name);
    *out = found == shaders.end() ? nullptr : new FakeTokens(found->second);
    return *out ? D3D_OK : D3DXERR_INVALIDDATA;
  };
  files.loadTexture = [&log, missingTextures](IDirect3DDevice9*, const char* name, IDirect3DTexture9** out) {
    log.push_back(std::string("LoadTexture(") + name + ")");
    // The tests only hand the texture on; a shader object stands in for it.
    *out = missingTextures.count(name) ? nullptr
                                       : reinterpret_cast<IDirect3DTexture9*>(static_cast<IDirect3DPixelShader9*>(
                                             new FakeDeviceChild<IDirect3DPixelShader9>("Texture", log)));
    return *out ? D3D_OK : D3DXERR_INVALIDDATA;
  };
  return files;
}

constexpr DWORD kPs11 = D3DPS_VERSION(1, 1), kPs14 = D3DPS_VERSION(1, 4), kPs20 = D3DPS_VERSION(2, 0);
constexpr DWORD kVs11 = D3DVS_VERSION(1, 1);

const CallLog kTwoColourBuffer{"CreateVertexBuffer(96,8,196,1)", "Lock(0,96,0)", "Unlock"};

CallLog Then(CallLog calls, std::initializer_list<std::string> more) {
  calls.insert(calls.end(), more);
  return calls;
}

struct Vertex24 {
  float x, y, z, w;
  DWORD a, b;
};

std::vector<Vertex24> VerticesOf(const FakeVertexBuffer& buffer) {
  std::vector<Vertex24> vertices(buffer.Bytes().size() / 24);
  std::memcpy(vertices.data(), buffer.Bytes().data(), vertices.size() * 24);
  return vertices;
}

TEST(PixelShaderTests, SetTheTwoColourQuadColourWritesDepthOffAndTheirShader) {
  for (const PixelShaderTestRow& row : kPixelShaderTests) {
    CallLog log;
    FakeDevice device(log);
    PixelShaderTest test(row.name, row.shaderFile, {800, 600}, RecordingFiles(log, {{row.shaderFile, kPs11}}));
    ASSERT_TRUE(test.Init(&device)) << row.name;
    EXPECT_EQ(log, Then(kTwoColourBuffer,
                        {"SetStreamSource(0,buffer,0,24)", "SetFVF(196)", "SetRenderState(168,15)",
                         "SetRenderState(14,0)", "SetRenderState(7,0)", std::string("Assemble(") + row.shaderFile + ")",
                         "CreatePixelShader(ps_1_1)", "SetPixelShader(shader)"}))
        << row.name;
    const std::vector<Vertex24> vertices = VerticesOf(*device.lastVertexBuffer);
    ASSERT_EQ(vertices.size(), 4u);
    const float corners[4][2] = {{0, 0}, {800, 0}, {0, 600}, {800, 600}};
    const DWORD diffuse[4] = {0x00000000, 0x00FF0000, 0x0000FF00, 0x000000FF};
    const DWORD specular[4] = {0x000000A0, 0x0000A000, 0x00A00000, 0x00A0A0A0};
    for (int i = 0; i < 4; ++i) {
      EXPECT_EQ(vertices[i].x, corners[i][0]);
      EXPECT_EQ(vertices[i].y, corners[i][1]);
      EXPECT_EQ(vertices[i].z, 0.0f);
      EXPECT_EQ(vertices[i].w, 1.0f);
      EXPECT_EQ(vertices[i].a, diffuse[i]);
      EXPECT_EQ(vertices[i].b, specular[i]);
    }
    log.clear();
    EXPECT_TRUE(test.Destroy());
    EXPECT_EQ(log, (CallLog{"VertexBuffer.Release", "PixelShader.Release"}));
    EXPECT_EQ(test.PixelFactor(), 32u);
    EXPECT_STREQ(test.Name(), row.name);
  }
}

TEST(PixelShaderTests, ShaderThatDoesNotAssembleOrIsRefusedFailsInit) {
  CallLog log;
  FakeDevice device(log);
  PixelShaderTest missing("PS 2.0 - Simple", "SimplePS20.psh", {640, 480}, RecordingFiles(log, {}));
  EXPECT_FALSE(missing.Init(&device));
  EXPECT_EQ(log.back(), "Assemble(SimplePS20.psh)");
  log.clear();
  EXPECT_TRUE(missing.Destroy());
  EXPECT_EQ(log, (CallLog{"VertexBuffer.Release"}));

  // A device without pixel shader 2.0 refuses the shader: nothing is set.
  log.clear();
  device.pixelShaderVersion = D3DPS_VERSION(1, 4);
  PixelShaderTest refused("PS 2.0 - Simple", "SimplePS20.psh", {640, 480},
                          RecordingFiles(log, {{"SimplePS20.psh", kPs20}}));
  EXPECT_FALSE(refused.Init(&device));
  EXPECT_EQ(log.back(), "CreatePixelShader(ps_2_0)");
  EXPECT_TRUE(refused.Destroy());
}

TEST(PixelShaderTests, NoVertexBufferFailsBeforeAnyShaderWork) {
  CallLog log;
  FakeDevice device(log);
  device.createVertexBufferFails = true;
  PixelShaderTest test("PS 1.1 - Simple", "SimplePS11.psh", {640, 480},
                       RecordingFiles(log, {{"SimplePS11.psh", kPs11}}));
  EXPECT_FALSE(test.Init(&device));
  EXPECT_EQ(log, (CallLog{"CreateVertexBuffer(96,8,196,1)"}));
  EXPECT_TRUE(test.Destroy());
}

const std::map<std::string, DWORD> kPs14Files{{"SimplePS14.psh", kPs14}, {"SimplePS14.vsh", kVs11}};

TEST(Ps14Test, ClipSpaceQuadThroughADeclarationAndBothShaders) {
  CallLog log;
  FakeDevice device(log);
  Ps14Test test({640, 480}, RecordingFiles(log, kPs14Files));
  ASSERT_TRUE(test.Init(&device));
  EXPECT_EQ(log,
            Then(kTwoColourBuffer,
                 {"SetRenderState(168,15)", "SetRenderState(14,0)", "SetRenderState(7,0)", "CreateVertexDeclaration(3)",
                  "Assemble(SimplePS14.psh)", "CreatePixelShader(ps_1_4)", "SetPixelShader(shader)",
                  "Assemble(SimplePS14.vsh)", "CreateVertexShader(vs_1_1)", "SetVertexShader(shader)",
                  "SetStreamSource(0,buffer,0,24)", "SetVertexDeclaration(declaration)"}));
  ASSERT_EQ(device.lastDeclaration.size(), 3u);
  const D3DVERTEXELEMENT9 expected[3] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                         {0, 16, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 0},
                                         {0, 20, D3DDECLTYPE_D3DCOLOR, 0, D3DDECLUSAGE_COLOR, 1}};
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(std::memcmp(&device.lastDeclaration[i], &expected[i], sizeof expected[i]), 0) << i;
  const std::vector<Vertex24> vertices = VerticesOf(*device.lastVertexBuffer);
  EXPECT_EQ(vertices[0].x, -1.0f);
  EXPECT_EQ(vertices[0].y, 1.0f);
  EXPECT_EQ(vertices[3].x, 1.0f);
  EXPECT_EQ(vertices[3].y, -1.0f);
  EXPECT_EQ(vertices[3].w, 1.0f);
  EXPECT_EQ(vertices[3].b, 0x00A0A0A0u);
  log.clear();
  EXPECT_TRUE(test.Destroy());
  EXPECT_EQ(log,
            (CallLog{"VertexBuffer.Release", "PixelShader.Release", "VertexShader.Release", "Declaration.Release"}));
}

TEST(Ps14Test, MissingVertexShaderFailsAfterThePixelShaderWasSet) {
  CallLog log;
  FakeDevice device(log);
  Ps14Test test({640, 480}, RecordingFiles(log, {{"SimplePS14.psh", kPs14}}));
  EXPECT_FALSE(test.Init(&device));
  EXPECT_EQ(CallLog(log.end() - 4, log.end()), (CallLog{"Assemble(SimplePS14.psh)", "CreatePixelShader(ps_1_4)",
                                                        "SetPixelShader(shader)", "Assemble(SimplePS14.vsh)"}));
  log.clear();
  EXPECT_TRUE(test.Destroy());
  EXPECT_EQ(log, (CallLog{"VertexBuffer.Release", "PixelShader.Release", "Declaration.Release"}));
}

TEST(Ps14Test, DeclarationThatCannotBeCreatedFailsBeforeTheShaders) {
  CallLog log;
  FakeDevice device(log);
  device.createDeclarationFails = true;
  Ps14Test test({640, 480}, RecordingFiles(log, kPs14Files));
  EXPECT_FALSE(test.Init(&device));
  EXPECT_EQ(log.back(), "CreateVertexDeclaration(3)");
  log.clear();
  EXPECT_TRUE(test.Destroy());
  EXPECT_EQ(log, (CallLog{"VertexBuffer.Release"}));
}

const std::map<std::string, DWORD> kLightingFiles{
    {"PerPixelLightingPS20.psh", kPs20}, {"PerPixelLightingPS20PP.psh", kPs20}, {"PerPixelLightingVS11.vsh", kVs11}};

TEST(LightingTest, LoadsBothTexturesOntoStagesZeroAndOneAndSetsBothShaders) {
  for (bool partial : {false, true}) {
    CallLog log;
    FakeDevice device(log);
    LightingTest test(partial, {640, 480}, RecordingFiles(log, kLightingFiles));
    ASSERT_TRUE(test.Init(&device));
    const std::string pixelFile = partial ? "PerPixelLightingPS20PP.psh" : "PerPixelLightingPS20.psh";
    EXPECT_EQ(log,
              (CallLog{"CreateVertexBuffer(96,8,260,1)", "Lock(0,96,0)", "Unlock", "CreateVertexDeclaration(2)",
                       "SetStreamSource(0,buffer,0,24)", "SetVertexDeclaration(declaration)", "SetRenderState(168,15)",
                       "SetRenderState(14,0)", "SetRenderState(7,0)", "LoadTexture(normal.jpg)",
                       "LoadTexture(texture3.jpg)", "SetTexture(0)", "SetTexture(1)", "Assemble(" + pixelFile + ")",
                       "CreatePixelShader(ps_2_0)", "SetPixelShader(shader)", "Assemble(PerPixelLightingVS11.vsh)",
                       "CreateVertexShader(vs_1_1)", "SetVertexShader(shader)"}));
    ASSERT_EQ(device.lastDeclaration.size(), 2u);
    EXPECT_EQ(device.lastDeclaration[1].Type, D3DDECLTYPE_FLOAT2);
    EXPECT_EQ(device.lastDeclaration[1].Usage, D3DDECLUSAGE_TEXCOORD);
    EXPECT_EQ(device.lastDeclaration[1].Offset, 16);
    EXPECT_NE(device.boundTextures[0], device.boundTextures[1]);
    std::vector<float> floats(24);
    std::memcpy(floats.data(), device.lastVertexBuffer->Bytes().data(), 96);
    // Vertex 3: clip position (1, -1, 0, 1), coordinates (1, 1).
    EXPECT_EQ(std::vector<float>(floats.begin() + 18, floats.end()), (std::vector<float>{1, -1, 0, 1, 1, 1}));
    EXPECT_EQ(test.PixelFactor(), 16u);
    EXPECT_STREQ(test.Name(), partial ? "PS 2.0 PP - Per Pixel Lighting" : "PS 2.0 - Per Pixel Lighting");
    log.clear();
    EXPECT_TRUE(test.Destroy());
    EXPECT_EQ(log, (CallLog{"VertexBuffer.Release", "PixelShader.Release", "Declaration.Release",
                            "VertexShader.Release", "Texture.Release", "Texture.Release"}));
  }
}

TEST(LightingTest, MissingTextureFailsAfterBothWereTriedAndBeforeAnyShader) {
  CallLog log;
  FakeDevice device(log);
  LightingTest test(false, {640, 480}, RecordingFiles(log, kLightingFiles, {"normal.jpg"}));
  EXPECT_FALSE(test.Init(&device));
  EXPECT_EQ(CallLog(log.end() - 2, log.end()), (CallLog{"LoadTexture(normal.jpg)", "LoadTexture(texture3.jpg)"}));
  log.clear();
  EXPECT_TRUE(test.Destroy());
  EXPECT_EQ(log, (CallLog{"VertexBuffer.Release", "Declaration.Release", "Texture.Release"}));
}

TEST(LightingTest, DeviceWithoutPixelShader20FailsAtShaderCreation) {
  CallLog log;
  FakeDevice device(log);
  device.pixelShaderVersion = D3DPS_VERSION(1, 4);
  LightingTest test(true, {640, 480}, RecordingFiles(log, kLightingFiles));
  EXPECT_FALSE(test.Init(&device));
  EXPECT_EQ(log.back(), "CreatePixelShader(ps_2_0)");
  EXPECT_TRUE(test.Destroy());
}

// ---------------------------------------------------------------------------------------------
// The shader files, through the assembler's published entry point.

struct Assembled {
  DecodedShader shader;
  std::vector<DWORD> tokens;
};

Assembled Assemble(const char* file) {
  Assembled out;
  ID3DXBuffer* buffer = nullptr;
  ID3DXBuffer* errors = nullptr;
  HRESULT hr = D3DXAssembleShaderFromFileA(DataFilePath(file).c_str(), nullptr, nullptr, 0, &buffer, &errors);
  std::string messages =
      errors ? std::string(static_cast<const char*>(errors->GetBufferPointer()), errors->GetBufferSize()) : "";
  if (errors) errors->Release();
  EXPECT_EQ(hr, D3D_OK) << file << ": " << messages;
  if (!buffer) return out;
  const auto* tokens = static_cast<const DWORD*>(buffer->GetBufferPointer());
  out.tokens.assign(tokens, tokens + buffer->GetBufferSize() / 4);
  buffer->Release();
  std::string problem;
  EXPECT_EQ(DecodeShader(out.tokens.data(), out.tokens.size(), out.shader, &problem), D3D_OK)
      << file << ": " << problem;
  return out;
}

TEST(ShaderFiles, AssembleToTheVersionTheirTestNames) {
  const std::pair<const char*, DWORD> files[] = {{"SimplePS11.psh", kPs11},
                                                 {"SimplePS14.psh", kPs14},
                                                 {"SimplePS14.vsh", kVs11},
                                                 {"SimplePS20.psh", kPs20},
                                                 {"SimplePS20PP.psh", kPs20},
                                                 {"LongerPS20.psh", kPs20},
                                                 {"LongerPS20PP.psh", kPs20},
                                                 {"Longer4RegPS20.psh", kPs20},
                                                 {"Longer4RegPS20PP.psh", kPs20},
                                                 {"PerPixelLightingPS20.psh", kPs20},
                                                 {"PerPixelLightingPS20PP.psh", kPs20},
                                                 {"PerPixelLightingVS11.vsh", kVs11}};
  for (const auto& [file, version] : files) {
    Assembled assembled = Assemble(file);
    ASSERT_FALSE(assembled.tokens.empty()) << file;
    EXPECT_EQ(assembled.tokens[0], version) << file;
  }
}

bool Arithmetic(DWORD opcode) { return opcode != D3DSIO_DCL && opcode != D3DSIO_DEF && opcode != D3DSIO_TEX; }

TEST(ShaderFiles, PartialPrecisionVariantsDifferOnlyByPpOnEveryInstructionThatTakesIt) {
  const std::pair<const char*, const char*> pairs[] = {{"SimplePS20.psh", "SimplePS20PP.psh"},
                                                       {"LongerPS20.psh", "LongerPS20PP.psh"},
                                                       {"Longer4RegPS20.psh", "Longer4RegPS20PP.psh"},
                                                       {"PerPixelLightingPS20.psh", "PerPixelLightingPS20PP.psh"}};
  for (const auto& [fullFile, partialFile] : pairs) {
    Assembled full = Assemble(fullFile), partial = Assemble(partialFile);
    ASSERT_EQ(full.shader.instructions.size(), partial.shader.instructions.size()) << partialFile;
    for (size_t i = 0; i < full.shader.instructions.size(); ++i) {
      const ShaderInstruction& a = full.shader.instructions[i];
      const ShaderInstruction& b = partial.shader.instructions[i];
      EXPECT_FALSE(a.destination.partialPrecision) << fullFile << " #" << i;
      // Constants and samplers carry no precision; everything else does in the PP file.
      bool takesIt = a.opcode != D3DSIO_DEF && a.destination.type != D3DSPR_SAMPLER;
      EXPECT_EQ(b.destination.partialPrecision, takesIt) << partialFile << " #" << i;
      EXPECT_EQ(a.destination.token, b.destination.token & ~D3DSPDM_PARTIALPRECISION) << partialFile << " #" << i;
      EXPECT_EQ(a.opcode, b.opcode);
      for (UINT k = 0; k < a.sourceCount; ++k) EXPECT_EQ(a.sources[k].token, b.sources[k].token) << partialFile;
    }
  }
}

TEST(ShaderFiles, LongerShadersChainSixteenDependentInstructionsOverTwoAndFourTemporaries) {
  for (const auto& [file, temporaries] : {std::pair{"LongerPS20.psh", 2u}, std::pair{"Longer4RegPS20.psh", 4u}}) {
    Assembled assembled = Assemble(file);
    std::vector<const ShaderInstruction*> chain;
    for (const ShaderInstruction& in : assembled.shader.instructions) {
      if (Arithmetic(in.opcode) && in.destination.type == D3DSPR_TEMP) chain.push_back(&in);
    }
    ASSERT_GE(chain.size(), 16u) << file;
    std::set<UINT> written;
    for (size_t i = 1; i < chain.size(); ++i) {
      written.insert(chain[i]->destination.number);
      bool readsPrevious = false;
      for (UINT k = 0; k < chain[i]->sourceCount; ++k) {
        const ShaderSource& s = chain[i]->sources[k];
        readsPrevious |= s.type == D3DSPR_TEMP && s.number == chain[i - 1]->destination.number;
      }
      EXPECT_TRUE(readsPrevious) << file << " instruction " << i;
    }
    written.insert(chain[0]->destination.number);
    EXPECT_EQ(written.size(), temporaries) << file;
  }
}

ShaderVector Unpack(DWORD colour) {
  return {((colour >> 16) & 0xFF) / 255.0f, ((colour >> 8) & 0xFF) / 255.0f, (colour & 0xFF) / 255.0f,
          (colour >> 24) / 255.0f};
}

TEST(ShaderFiles, SimpleShadersAddTheTwoInterpolatedColours) {
  ShaderVaryings inputs;
  inputs.color = {Unpack(0x00FF0000), Unpack(0x0000A000)};
  for (const char* file : {"SimplePS11.psh", "SimplePS14.psh", "SimplePS20.psh", "SimplePS20PP.psh"}) {
    Assembled assembled = Assemble(file);
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(assembled.tokens.data(), assembled.tokens.size()), D3D_OK) << file;
    ShaderVector out = evaluator.RunPixel(inputs, ShaderConstants{}, nullptr).color[0];
    EXPECT_FLOAT_EQ(out[0], 1.0f) << file;
    EXPECT_FLOAT_EQ(out[1], 0xA0 / 255.0f) << file;
    EXPECT_FLOAT_EQ(out[2], 0.0f) << file;
    EXPECT_FLOAT_EQ(out[3], 0.0f) << file;
  }
  // The vertex shader of test 8 passes position and both colours on.
  Assembled vertex = Assemble("SimplePS14.vsh");
  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(vertex.tokens.data(), vertex.tokens.size()), D3D_OK);
  std::array<ShaderVector, 16> registers{};
  registers[0] = {-1, 1, 0, 1};
  registers[1] = Unpack(0x0000FF00);
  registers[2] = Unpack(0x00A00000);
  ShaderVaryings out = evaluator.RunVertex(registers, ShaderConstants{}, nullptr);
  EXPECT_EQ(out.position, registers[0]);
  EXPECT_EQ(out.color[0], registers[1]);
  EXPECT_EQ(out.color[1], registers[2]);
}

TEST(ShaderFiles, LongerShadersComputeTheSameOverTwoAndFourTemporaries) {
  ShaderVaryings inputs;
  inputs.color = {Unpack(0x0040C0FF), Unpack(0x00A0A0A0)};
  std::vector<ShaderVector> results;
  for (const char* file : {"LongerPS20.psh", "LongerPS20PP.psh", "Longer4RegPS20.psh", "Longer4RegPS20PP.psh"}) {
    Assembled assembled = Assemble(file);
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(assembled.tokens.data(), assembled.tokens.size()), D3D_OK) << file;
    results.push_back(evaluator.RunPixel(inputs, ShaderConstants{}, nullptr).color[0]);
  }
  for (const ShaderVector& result : results) EXPECT_EQ(result, results[0]);
  // The colour stays in range: the chain does not run off to 0 or saturate everywhere.
  for (int k = 0; k < 3; ++k) {
    EXPECT_GT(results[0][k], 0.05f);
    EXPECT_LT(results[0][k], 1.0f);
  }
}

// Stage 0 the normal map, stage 1 the colour texture: one texel each.
class TwoTexels : public ShaderTextureSampler {
 public:
  ShaderVector Sample(UINT sampler, const ShaderVector&, float) const override {
    return sampler == 0 ? ShaderVector{0.5f, 1.0f, 1.0f, 1.0f} : ShaderVector{0.8f, 0.4f, 0.2f, 1.0f};
  }
};

TEST(ShaderFiles, PerPixelLightingModulatesTheColourByTheDiffuseTerm) {
  // Normal texel (0.5, 1, 1) expands to (0, 1, 1), normalised (0, 0.7071, 0.7071); the light
  // (1, 1, 1)/sqrt(3) gives 2 x 0.7071 x 0.57735 = 0.8165.
  const float diffuse = 2.0f * std::sqrt(0.5f) / std::sqrt(3.0f);
  TwoTexels textures;
  for (const char* file : {"PerPixelLightingPS20.psh", "PerPixelLightingPS20PP.psh"}) {
    Assembled assembled = Assemble(file);
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(assembled.tokens.data(), assembled.tokens.size()), D3D_OK) << file;
    ShaderVaryings inputs;
    inputs.texcoord[0] = {0.25f, 0.75f, 0, 1};
    ShaderVector out = evaluator.RunPixel(inputs, ShaderConstants{}, &textures).color[0];
    EXPECT_NEAR(out[0], 0.8f * diffuse, 1e-5f) << file;
    EXPECT_NEAR(out[1], 0.4f * diffuse, 1e-5f) << file;
    EXPECT_NEAR(out[2], 0.2f * diffuse, 1e-5f) << file;
  }
}

// ---------------------------------------------------------------------------------------------
// Tests 7 to 14 on the OpenGL device (llvmpipe here): the frame each draws, at its corners and
// centre, is what the evaluator computes from its shader file and the colours the rasteriser
// interpolates there. One unit of the 8-bit target is allowed: both sides round to nearest,
// and the GPU's interpolated inputs may sit a few float steps off a rounding midpoint.

constexpr UINT kFrameSize = 63;  // odd, so that the centre pixel is no vertex or edge midpoint

ComPtr<IDirect3DDevice9> GlDevice(ComPtr<IDirect3D9>& direct3d) {
  ::setenv("SDL_VIDEODRIVER", "offscreen", 0);
  direct3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  ComPtr<IDirect3DDevice9> device;
  if (!direct3d) return device;
  D3DPRESENT_PARAMETERS parameters = WindowedParameters(kFrameSize, kFrameSize);
  direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                         device.ReleaseAndGetAddressOf());
  KeepGlDriverMapped();
  if (device) {
    // As the shell sets them for the whole run.
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
  return device;
}

std::vector<DWORD> DrawOneFrame(IDirect3DDevice9* device, FillTest& test) {
  std::vector<DWORD> pixels;
  if (FAILED(device->BeginScene())) return pixels;
  device->Clear(0, nullptr, D3DCLEAR_TARGET, 0xFF123456, 1.0f, 0);
  test.Render();
  device->EndScene();
  ComPtr<IDirect3DSurface9> backBuffer, copy;
  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf());
  device->CreateOffscreenPlainSurface(kFrameSize, kFrameSize, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM,
                                      copy.ReleaseAndGetAddressOf(), nullptr);
  if (FAILED(device->GetRenderTargetData(backBuffer.Get(), copy.Get()))) return pixels;
  D3DLOCKED_RECT locked{};
  copy->LockRect(&locked, nullptr, D3DLOCK_READONLY);
  for (UINT y = 0; y < kFrameSize; ++y) {
    const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
    pixels.insert(pixels.end(), row, row + kFrameSize);
  }
  copy->UnlockRect();
  return pixels;
}

// A corner value of the quad interpolated at pixel (x, y) over the strip's two triangles.
ShaderVector Interpolated(const std::array<D3DCOLOR, 4>& corners, int x, int y) {
  float s = static_cast<float>(x) / kFrameSize, t = static_cast<float>(y) / kFrameSize;
  ShaderVector c[4];
  for (int i = 0; i < 4; ++i) c[i] = Unpack(corners[i]);
  ShaderVector out;
  for (int k = 0; k < 4; ++k) {
    out[k] = s + t <= 1.0f ? c[0][k] + s * (c[1][k] - c[0][k]) + t * (c[2][k] - c[0][k])
                           : c[3][k] + (1.0f - t) * (c[1][k] - c[3][k]) + (1.0f - s) * (c[2][k] - c[3][k]);
  }
  return out;
}

ShaderTestFiles AssemblerFiles() {
  ShaderTestFiles files;
  files.assemble = [](const char* name, ID3DXBuffer** out) {
    return D3DXAssembleShaderFromFileA(DataFilePath(name).c_str(), nullptr, nullptr, 0, out, nullptr);
  };
  return files;
}

TEST(ShaderTestsOnOpenGl, FramesOfTests7To14AreWhatTheirShadersCompute) {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device = GlDevice(direct3d);
  ASSERT_TRUE(device) << "no OpenGL 3.3 device";
  std::vector<std::unique_ptr<FillTest>> tests;
  std::vector<const char*> files;
  for (size_t i = 0; i < kPixelShaderTests.size(); ++i) {
    tests.push_back(std::make_unique<PixelShaderTest>(kPixelShaderTests[i].name, kPixelShaderTests[i].shaderFile,
                                                      ScreenSize{kFrameSize, kFrameSize}, AssemblerFiles()));
    files.push_back(kPixelShaderTests[i].shaderFile);
    if (i == 0) {  // test 8 runs after test 7, and its vertex shader stays set for tests 9 to 14
      tests.push_back(std::make_unique<Ps14Test>(ScreenSize{kFrameSize, kFrameSize}, AssemblerFiles()));
      files.push_back("SimplePS14.psh");
    }
  }
  const int points[5][2] = {{0, 0},
                            {kFrameSize - 1, 0},
                            {0, kFrameSize - 1},
                            {kFrameSize - 1, kFrameSize - 1},
                            {kFrameSize / 2, kFrameSize / 2}};
  for (size_t i = 0; i < tests.size(); ++i) {
    FillTest& test = *tests[i];
    ASSERT_TRUE(test.Init(device.Get())) << test.Name();
    std::vector<DWORD> pixels = DrawOneFrame(device.Get(), test);
    ASSERT_EQ(pixels.size(), kFrameSize * kFrameSize) << test.Name();
    Assembled assembled = Assemble(files[i]);
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(assembled.tokens.data(), assembled.tokens.size()), D3D_OK) << files[i];
    for (const auto& point : points) {
      ShaderVaryings inputs;
      inputs.color = {Interpolated(kShaderDiffuseRamp, point[0], point[1]),
                      Interpolated(kShaderSpecularRamp, point[0], point[1])};
      ShaderVector expected = evaluator.RunPixel(inputs, ShaderConstants{}, nullptr).color[0];
      DWORD pixel = pixels[point[1] * kFrameSize + point[0]];
      const int channels[3] = {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
                               static_cast<int>(pixel & 0xFF)};
      for (int k = 0; k < 3; ++k) {
        int want = static_cast<int>(std::lround(std::clamp(expected[k], 0.0f, 1.0f) * 255.0f));
        EXPECT_NEAR(channels[k], want, 1)
            << test.Name() << " at (" << point[0] << ", " << point[1] << ") channel " << k;
      }
    }
    test.Destroy();
  }
}

// Point sampling (the device's default) of level 0 of the textures on stages 0 and 1.
class StageTexels : public ShaderTextureSampler {
 public:
  struct Level {
    UINT width = 0, height = 0;
    std::vector<DWORD> texels;
  };
  std::array<Level, 2> stages;
  ShaderVector Sample(UINT sampler, const ShaderVector& c, float) const override {
    const Level& level = stages[sampler & 1];
    int u = static_cast<int>(std::floor(c[0] * static_cast<float>(level.width)));
    int v = static_cast<int>(std::floor(c[1] * static_cast<float>(level.height)));
    u = std::clamp(u, 0, static_cast<int>(level.width) - 1);
    v = std::clamp(v, 0, static_cast<int>(level.height) - 1);
    return Unpack(level.texels[static_cast<size_t>(v) * level.width + u] | 0xFF000000u);
  }
};

TEST(ShaderTestsOnOpenGl, FramesOfTheLightingTestsAreWhatTheirShadersCompute) {
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device = GlDevice(direct3d);
  ASSERT_TRUE(device) << "no OpenGL 3.3 device";
  ShaderTestFiles files = AssemblerFiles();
  files.loadTexture = [](IDirect3DDevice9* on, const char* name, IDirect3DTexture9** out) {
    return D3DXCreateTextureFromFileA(on, DataFilePath(name).c_str(), out);
  };
  for (bool partial : {false, true}) {
    LightingTest test(partial, {kFrameSize, kFrameSize}, files);
    ASSERT_TRUE(test.Init(device.Get())) << test.Name();
    std::vector<DWORD> pixels = DrawOneFrame(device.Get(), test);
    ASSERT_EQ(pixels.size(), kFrameSize * kFrameSize);
    // What the loader put in the textures, read back for the evaluator's sampler.
    StageTexels sampler;
    for (DWORD stage = 0; stage < 2; ++stage) {
      ComPtr<IDirect3DBaseTexture9> bound;
      ASSERT_EQ(device->GetTexture(stage, bound.ReleaseAndGetAddressOf()), D3D_OK);
      auto* texture = static_cast<IDirect3DTexture9*>(bound.Get());
      D3DSURFACE_DESC desc{};
      texture->GetLevelDesc(0, &desc);
      if (desc.Format != D3DFMT_X8R8G8B8 && desc.Format != D3DFMT_A8R8G8B8)
        GTEST_SKIP() << "texture format " << desc.Format;
      D3DLOCKED_RECT locked{};
      ASSERT_EQ(texture->LockRect(0, &locked, nullptr, D3DLOCK_READONLY), D3D_OK);
      sampler.stages[stage].width = desc.Width;
      sampler.stages[stage].height = desc.Height;
      for (UINT y = 0; y < desc.Height; ++y) {
        const auto* row = reinterpret_cast<const DWORD*>(static_cast<const BYTE*>(locked.pBits) + y * locked.Pitch);
        sampler.stages[stage].texels.insert(sampler.stages[stage].texels.end(), row, row + desc.Width);
      }
      texture->UnlockRect(0);
    }
    Assembled assembled = Assemble(partial ? "PerPixelLightingPS20PP.psh" : "PerPixelLightingPS20.psh");
    ShaderEvaluator evaluator;
    ASSERT_EQ(evaluator.Load(assembled.tokens.data(), assembled.tokens.size()), D3D_OK);
    const int points[5][2] = {{0, 0},
                              {kFrameSize - 1, 0},
                              {0, kFrameSize - 1},
                              {kFrameSize - 1, kFrameSize - 1},
                              {kFrameSize / 2, kFrameSize / 2}};
    for (const auto& point : points) {
      // Clip-space quad with coordinates (0, 0) to (1, 1): pixel centres at x / W, y / H.
      ShaderVaryings inputs;
      inputs.texcoord[0] = {static_cast<float>(point[0]) / kFrameSize, static_cast<float>(point[1]) / kFrameSize, 0, 1};
      ShaderVector expected = evaluator.RunPixel(inputs, ShaderConstants{}, &sampler).color[0];
      DWORD pixel = pixels[point[1] * kFrameSize + point[0]];
      const int channels[3] = {static_cast<int>((pixel >> 16) & 0xFF), static_cast<int>((pixel >> 8) & 0xFF),
                               static_cast<int>(pixel & 0xFF)};
      for (int k = 0; k < 3; ++k) {
        int want = static_cast<int>(std::lround(std::clamp(expected[k], 0.0f, 1.0f) * 255.0f));
        EXPECT_NEAR(channels[k], want, 1)
            << test.Name() << " at (" << point[0] << ", " << point[1] << ") channel " << k;
      }
    }
    test.Destroy();
  }
}

}  // namespace
}  // namespace rastro::testing
