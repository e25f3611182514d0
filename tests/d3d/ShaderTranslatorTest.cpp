// The GLSL translation run on the machine's OpenGL (llvmpipe here) into a float target with a
// float depth buffer, pixel by pixel equal to the CPU evaluator. Every sampler reads the cases'
// 2x2 texture (ShaderCases.h) from texture unit 0.
//
// Tolerance: both sides compute in IEEE single precision, but not in the same order (the GPU
// compiler may fuse a multiply and an add, reassociate a dot product), so results may differ in
// the last bits: 4e-6 relative (about 32 units in the last place) for arithmetic. llvmpipe's
// exp2, log2, pow, sin, cos and inverse square root are polynomial or Newton approximations
// good to about 2^-20 relative; those shaders get 1e-5 relative. Partial precision changes
// nothing here: desktop GLSL computes _pp instructions at full precision, as the evaluator does.
#include <SDL2/SDL.h>
#include <epoxy/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ShaderCases.h"
#include "ShaderTranslator.h"

namespace rastro::testing {
namespace {

constexpr int kSize = 4;
constexpr float kKilledMarker = -12345.0f;

class GlHarness {
 public:
  GlHarness() {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) return;
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    window_ = SDL_CreateWindow("shaders", 0, 0, 8, 8, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window_) return;
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return;
    SDL_GL_MakeCurrent(window_, context_);
    glGenTextures(1, &target_);
    glBindTexture(GL_TEXTURE_2D, target_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, kSize, kSize, 0, GL_RGBA, GL_FLOAT, nullptr);
    glGenTextures(1, &depth_);
    glBindTexture(GL_TEXTURE_2D, depth_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT32F, kSize, kSize, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, target_, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth_, 0);
    // Every depth a shader writes reaches the buffer.
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_ALWAYS);
    // The cases' texture, point sampled with wrapping, on unit 0 where every sampler uniform
    // points by default.
    glGenTextures(1, &texture_);
    glBindTexture(GL_TEXTURE_2D, texture_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA32F, 2, 2, 0, GL_RGBA, GL_FLOAT, CaseTexture::kTexels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glGenVertexArrays(1, &vertexArray_);
    glBindVertexArray(vertexArray_);
    glGenBuffers(1, &buffer_);
    glViewport(0, 0, kSize, kSize);
    ready_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  }
  ~GlHarness() {
    if (context_) {
      glDeleteBuffers(1, &buffer_);
      glDeleteVertexArrays(1, &vertexArray_);
      glDeleteFramebuffers(1, &framebuffer_);
      glDeleteTextures(1, &texture_);
      glDeleteTextures(1, &depth_);
      glDeleteTextures(1, &target_);
      SDL_GL_MakeCurrent(window_, nullptr);
      SDL_GL_DeleteContext(context_);
    }
    if (window_) SDL_DestroyWindow(window_);
  }
  bool Ready() const { return ready_; }

  // Compiles and links; empty on success, else the compiler's log.
  std::string Link(const std::string& vertex, const std::string& fragment) {
    if (program_) glDeleteProgram(program_);
    program_ = glCreateProgram();
    std::string log;
    for (auto [kind, text] : {std::pair{GL_VERTEX_SHADER, &vertex}, std::pair{GL_FRAGMENT_SHADER, &fragment}}) {
      GLuint shader = glCreateShader(kind);
      const char* source = text->c_str();
      glShaderSource(shader, 1, &source, nullptr);
      glCompileShader(shader);
      GLint ok = 0;
      glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
      if (!ok) {
        char buffer[2048] = {};
        glGetShaderInfoLog(shader, sizeof buffer, nullptr, buffer);
        log += buffer;
      }
      glAttachShader(program_, shader);
      glDeleteShader(shader);
    }
    glLinkProgram(program_);
    GLint linked = 0;
    glGetProgramiv(program_, GL_LINK_STATUS, &linked);
    if (!linked) {
      char buffer[2048] = {};
      glGetProgramInfoLog(program_, sizeof buffer, nullptr, buffer);
      log += buffer;
    }
    glUseProgram(program_);
    Uniform4("uViewport", {0, 0, kSize, kSize});
    return log;
  }

  void Uniform4(const char* name, const ShaderVector& value) {
    GLint location = glGetUniformLocation(program_, name);
    if (location >= 0) glUniform4fv(location, 1, value.data());
  }
  void Constants(const char* prefix, const ShaderConstants& constants) {
    GLint floats = glGetUniformLocation(program_, (std::string(prefix) + "c[0]").c_str());
    if (floats >= 0) glUniform4fv(floats, static_cast<GLsizei>(constants.floats.size()), constants.floats[0].data());
    GLint ints = glGetUniformLocation(program_, (std::string(prefix) + "i[0]").c_str());
    if (ints >= 0) glUniform4iv(ints, 16, constants.ints[0].data());
  }

  // Draws the screen-covering quad; `attributes` holds 11 vec4 attributes per vertex. Returns
  // the colour of one pixel; `depth` receives its depth.
  ShaderVector Draw(const std::vector<std::array<ShaderVector, 11>>& vertices, float* depth = nullptr) {
    glBindBuffer(GL_ARRAY_BUFFER, buffer_);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertices.size() * sizeof vertices[0]), vertices.data(),
                 GL_STREAM_DRAW);
    for (GLuint location = 0; location < 11; ++location) {
      glVertexAttribPointer(location, 4, GL_FLOAT, GL_FALSE, sizeof vertices[0],
                            reinterpret_cast<const void*>(static_cast<uintptr_t>(location * 16)));
      glEnableVertexAttribArray(location);
    }
    glClearColor(kKilledMarker, kKilledMarker, kKilledMarker, kKilledMarker);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    ShaderVector pixel{};
    glReadPixels(1, 1, 1, 1, GL_RGBA, GL_FLOAT, pixel.data());
    if (depth) glReadPixels(1, 1, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, depth);
    return pixel;
  }

 private:
  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
  GLuint target_ = 0, depth_ = 0, texture_ = 0, framebuffer_ = 0, vertexArray_ = 0, buffer_ = 0, program_ = 0;
  bool ready_ = false;
};

ShaderConstants ConstantsOf(const ShaderCase& c) {
  ShaderConstants constants;
  constants.floats.resize(256);
  constants.ints.resize(16);
  for (const auto& [index, value] : c.floats) constants.floats[index] = value;
  for (const auto& [index, value] : c.ints) constants.ints[index] = value;
  return constants;
}

void ExpectClose(const ShaderVector& gpu, const ShaderVector& cpu, bool transcendental) {
  float relative = transcendental ? 1e-5f : 4e-6f;
  for (int k = 0; k < 4; ++k) {
    EXPECT_NEAR(gpu[k], cpu[k], relative * std::max(1.0f, std::fabs(cpu[k]))) << "component " << k;
  }
}

class PixelTranslation : public ::testing::TestWithParam<ShaderCase> {};

TEST_P(PixelTranslation, DrawsWhatTheEvaluatorComputes) {
  const ShaderCase& c = GetParam();
  GlHarness gl;
  ASSERT_TRUE(gl.Ready()) << "no OpenGL 3.3 context";
  DecodedShader decoded;
  ASSERT_EQ(DecodeShader(c.tokens.data(), c.tokens.size(), decoded), D3D_OK);
  GlslShader glsl;
  std::string problem;
  ASSERT_EQ(TranslateShader(decoded, ShaderTranslationOptions{}, glsl, &problem), D3D_OK) << problem;
  std::string log = gl.Link(PretransformedVertexSource(false), glsl.source);
  ASSERT_TRUE(log.empty()) << log << "\n" << glsl.source;
  ShaderConstants constants = ConstantsOf(c);
  gl.Constants("p", constants);

  std::vector<std::array<ShaderVector, 11>> vertices(4);
  const float corners[4][2] = {{0, 0}, {kSize, 0}, {0, kSize}, {kSize, kSize}};
  for (int i = 0; i < 4; ++i) {
    vertices[i][0] = {corners[i][0], corners[i][1], 0, 1};
    vertices[i][1] = c.inputs.color[0];
    vertices[i][2] = c.inputs.color[1];
    for (int set = 0; set < 8; ++set) vertices[i][3 + set] = c.inputs.texcoord[set];
  }
  float gpuDepth = 0;
  ShaderVector gpu = gl.Draw(vertices, &gpuDepth);

  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(c.tokens.data(), c.tokens.size()), D3D_OK);
  CaseTexture texture;
  PixelResult cpu = evaluator.RunPixel(c.inputs, constants, &texture);
  if (cpu.killed) {
    EXPECT_EQ(gpu[0], kKilledMarker) << "the pixel should have been discarded";
    return;
  }
  ExpectClose(gpu, cpu.color[0], c.transcendental);
  // Without a depth of its own the pixel keeps the quad's, 0 (z = 0 of screen-space vertices).
  float cpuDepth = cpu.depthWritten ? std::clamp(cpu.depth, 0.0f, 1.0f) : 0.0f;
  EXPECT_NEAR(gpuDepth, cpuDepth, 4e-6f) << "depth";
}

INSTANTIATE_TEST_SUITE_P(Cases, PixelTranslation, ::testing::ValuesIn(PixelCases()),
                         [](const auto& test) { return std::string(test.param.name); });

class VertexTranslation : public ::testing::TestWithParam<ShaderCase> {};

TEST_P(VertexTranslation, PassesOnWhatTheEvaluatorComputes) {
  const ShaderCase& c = GetParam();
  GlHarness gl;
  ASSERT_TRUE(gl.Ready()) << "no OpenGL 3.3 context";
  DecodedShader decoded;
  ASSERT_EQ(DecodeShader(c.tokens.data(), c.tokens.size(), decoded), D3D_OK);
  GlslShader glsl;
  std::string problem;
  ASSERT_EQ(TranslateShader(decoded, ShaderTranslationOptions{}, glsl, &problem), D3D_OK) << problem;
  const std::string fragment =
      "#version 330 core\nin vec4 vTexCoord0;\nout vec4 fragColor;\nvoid main() { fragColor = vTexCoord0; }\n";
  std::string log = gl.Link(glsl.source, fragment);
  ASSERT_TRUE(log.empty()) << log << "\n" << glsl.source;
  ShaderConstants constants = ConstantsOf(c);
  gl.Constants("v", constants);

  std::vector<std::array<ShaderVector, 11>> vertices(4);
  const float corners[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
  for (int i = 0; i < 4; ++i) {
    for (int k = 0; k < 11; ++k) vertices[i][k] = c.vertexInputs[k];
    vertices[i][0] = {corners[i][0], corners[i][1], 0, 1};
  }
  ShaderVector gpu = gl.Draw(vertices);

  ShaderEvaluator evaluator;
  ASSERT_EQ(evaluator.Load(c.tokens.data(), c.tokens.size()), D3D_OK);
  CaseTexture texture;
  ShaderVaryings cpu = evaluator.RunVertex(c.vertexInputs, constants, &texture);
  ExpectClose(gpu, cpu.texcoord[0], c.transcendental);
}

INSTANTIATE_TEST_SUITE_P(Cases, VertexTranslation, ::testing::ValuesIn(VertexCases()),
                         [](const auto& test) { return std::string(test.param.name); });

TEST(ShaderTranslator, RefusesWhatItCannotExpress) {
  const std::vector<DWORD> streams[] = {
      TokenStream(kPs20).Op(D3DSIO_MOV, {Dst(kOC, 7), Src(kC, 0)}).End(),                         // no oC7
      TokenStream(kPs20).Op(D3DSIO_MOV, {Dst(kR, 40), Src(kC, 0)}).End(),                         // no r40
      TokenStream(kPs30).Op(D3DSIO_ENDIF, {}).End(),                                              // endif without if
      TokenStream(kPs30).Op(D3DSIO_ELSE, {}).End(),                                               // else without if
      TokenStream(kPs30).Op(D3DSIO_REP, {Src(D3DSPR_CONSTINT, 0)}).End(),                         // rep never closed
      TokenStream(kPs30).Op(D3DSIO_REP, {Src(D3DSPR_CONSTINT, 0)}).Op(D3DSIO_ENDLOOP, {}).End(),  // wrong end
      TokenStream(kVs20).Op(D3DSIO_MOV, {Dst(D3DSPR_COLOROUT, 0), Src(kC, 0)}).End(),  // no oC in a vertex shader
  };
  for (const std::vector<DWORD>& tokens : streams) {
    DecodedShader decoded;
    ASSERT_EQ(DecodeShader(tokens.data(), tokens.size(), decoded), D3D_OK);
    GlslShader glsl;
    std::string problem;
    EXPECT_EQ(TranslateShader(decoded, ShaderTranslationOptions{}, glsl, &problem), D3DERR_INVALIDCALL) << tokens[1];
    EXPECT_FALSE(problem.empty());
  }
}

}  // namespace
}  // namespace rastro::testing
