// Tests 7 to 16: the calls each makes on a recording device, every failure path, and the
// shader files themselves, assembled by the assembler and run on the CPU evaluator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "AssembledShader.h"
#include "Fakes.h"
#include "ScratchDirectory.h"
#include "ShaderEvaluator.h"
#include "ShaderTests.h"
#include "d3dx9shader.h"

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

// Shader files by name with their version; a file not listed is not in the folder. Textures
// load unless listed as missing. Every file asked for is logged.
TestFiles RecordingFiles(CallLog& log, std::map<std::string, DWORD> shaders,
                         std::set<std::string> missingTextures = {}) {
  TestFiles files;
  files.folder = "/data";
  files.holds = [shaders, missingTextures](const char* name) {
    return shaders.count(name) != 0 || (std::string_view(name).ends_with(".jpg") && !missingTextures.count(name));
  };
  files.assemble = [&log, shaders](const char* name, ID3DXBuffer** out, ID3DXBuffer** errors) {
    log.push_back(std::string("Assemble(") + name + ")");
    EXPECT_NE(errors, nullptr);  // the assembler's first message goes into the failure
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
  EXPECT_EQ(missing.FailureReason(), "SimplePS20.psh not found in /data");
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
  EXPECT_EQ(refused.FailureReason(), "CreatePixelShader refused SimplePS20.psh: D3DERR_INVALIDCALL (0x8876086C)");
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
  EXPECT_EQ(test.FailureReason(), "CreateVertexBuffer returned E_OUTOFMEMORY (0x8007000E)");
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
  EXPECT_EQ(test.FailureReason(), "SimplePS14.vsh not found in /data");
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
  EXPECT_EQ(test.FailureReason(), "CreateVertexDeclaration returned E_OUTOFMEMORY (0x8007000E)");
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
  EXPECT_EQ(test.FailureReason(), "normal.jpg not found in /data");
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
  EXPECT_EQ(test.FailureReason(),
            "CreatePixelShader refused PerPixelLightingPS20PP.psh: D3DERR_INVALIDCALL (0x8876086C)");
  EXPECT_TRUE(test.Destroy());
}

// The real files of a folder: a source that does not assemble fails its test with the file,
// its folder and the assembler's first message; a file the folder lacks is said to be missing.
TEST(ShaderTestFailure, NamesTheFileItsFolderAndTheAssemblersFirstMessage) {
  CallLog log;
  FakeDevice device(log);
  ScratchDirectory scratch;
  scratch.Write("SimplePS14.psh", "ps_1_4\nmov r0, v9\nadd r0, r0, c99\n");
  Ps14Test broken({640, 480}, FolderFiles(scratch.Path()));
  EXPECT_FALSE(broken.Init(&device));
  const std::string reason = broken.FailureReason();
  const std::string start = "SimplePS14.psh in " + scratch.Path().string() + " does not assemble: ";
  ASSERT_TRUE(reason.starts_with(start)) << reason;
  // The first message only: line 2's, on one line.
  const std::string message = reason.substr(start.size());
  EXPECT_NE(message.find("(2)"), std::string::npos) << message;
  EXPECT_NE(message.find("error X"), std::string::npos) << message;
  EXPECT_EQ(message.find("(3)"), std::string::npos) << message;
  EXPECT_EQ(message.find('\n'), std::string::npos) << message;

  PixelShaderTest missing("PS 1.1 - Simple", "SimplePS11.psh", {640, 480}, FolderFiles(scratch.Path()));
  EXPECT_FALSE(missing.Init(&device));
  EXPECT_EQ(missing.FailureReason(), "SimplePS11.psh not found in " + scratch.Path().string());
  // No folder at all: nothing is read, not even from the working directory.
  PixelShaderTest nowhere("PS 1.1 - Simple", "SimplePS11.psh", {640, 480}, FolderFiles({}));
  EXPECT_FALSE(nowhere.Init(&device));
  EXPECT_EQ(nowhere.FailureReason(), "SimplePS11.psh not found: no data folder");
}

// ---------------------------------------------------------------------------------------------
// The shader files, through the assembler's published entry point.

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

}  // namespace
}  // namespace rastro::testing
