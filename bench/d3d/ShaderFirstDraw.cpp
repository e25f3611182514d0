// How long the first draw with a new shader pair takes: the per-pixel lighting pair of tests 15
// and 16, made new each round (the light direction changes a little, so the token stream, the
// GLSL and the compiled code are all new), against the same computation written by hand in
// GLSL. Three paths run in turn each round, in a rotating order:
//
//   device      CreatePixelShader + CreateVertexShader + Set*Shader, then one draw into a small
//               target read back with GetRenderTargetData (what a test's first frame pays);
//   translated  the device's GLSL for the pair (translation included) compiled, linked and
//               drawn once with plain OpenGL in a context of its own, phase by phase;
//   native      hand-written GLSL of the same computation, compiled, linked and drawn the same
//               way.
//
// Each path is then drawn once more ("again"): a draw whose program exists already.
//
//   shader_first_draw [ROUNDS [PIXEL-SHADER-FILE VERTEX-SHADER-FILE]]
//
// Prints the median of every phase. For figures about new shaders run it with Mesa's shader
// cache off (MESA_SHADER_CACHE_DISABLE=true); with the cache on (in a fresh
// MESA_SHADER_CACHE_DIR) every round still compiles new code, as the shaders differ each round.
#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "ComPtr.h"
#include "GlslOrExit.h"
#include "ShaderTranslator.h"
#include "d3d9.h"
#include "d3dx9shader.h"
#include "gl/GlRenderer.h"
#include "gl/GlShaderProgram.h"

#ifndef RASTRO_SOURCE_DATA_DIR
#define RASTRO_SOURCE_DATA_DIR "data"
#endif

namespace {

constexpr int kSize = 64;

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

std::vector<DWORD> Assemble(const std::string& file) {
  std::string path = std::string(RASTRO_SOURCE_DATA_DIR) + "/" + file;
  ID3DXBuffer* tokens = nullptr;
  if (FAILED(D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &tokens, nullptr)) || !tokens) {
    std::fprintf(stderr, "%s does not assemble\n", path.c_str());
    std::exit(1);
  }
  const auto* words = static_cast<const DWORD*>(tokens->GetBufferPointer());
  std::vector<DWORD> out(words, words + tokens->GetBufferSize() / 4);
  tokens->Release();
  return out;
}

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  std::sort(values.begin(), values.end());
  size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The light direction's x of a round and path: distinct for every shader the run compiles.
float LightX(int round, int path) { return 0.57735027f * (1.0f + static_cast<float>(round * 3 + path + 1) / 4096.0f); }

// Times of one first draw, in seconds, by phase (0 where a path has no such phase).
struct Phases {
  double create = 0;     // device: creating and setting both shaders
  double translate = 0;  // translated: decoding and generating the GLSL of both
  double compileVertex = 0, compileFragment = 0, link = 0;
  double draw = 0;   // the first draw and the read-back that waits for it
  double again = 0;  // a second draw and read-back
  double First() const { return create + translate + compileVertex + compileFragment + link + draw; }
};

// Plain OpenGL in a context of its own: a 64×64 RGBA8 target, a quad of clip-space positions
// (attribute 0) and texture coordinates (attribute 1), two textures on units 0 and 1.
class GlHarness {
 public:
  bool Open() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    window_ = SDL_CreateWindow("first draw", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
    if (!window_) return false;
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) return false;
    MakeCurrent();
    GLuint framebuffer, colour, vertexArray, buffer, textures[2];
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glGenRenderbuffers(1, &colour);
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kSize, kSize);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glViewport(0, 0, kSize, kSize);
    const float quad[4][6] = {{-1, 1, 0, 1, 0, 0}, {1, 1, 0, 1, 1, 0}, {-1, -1, 0, 1, 0, 1}, {1, -1, 0, 1, 1, 1}};
    glGenVertexArrays(1, &vertexArray);
    glBindVertexArray(vertexArray);
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 4, GL_FLOAT, GL_FALSE, sizeof quad[0], nullptr);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, sizeof quad[0], reinterpret_cast<void*>(16));
    std::vector<unsigned> pixels(kSize * kSize, 0xFF8080FFu);
    glGenTextures(2, textures);
    for (int t = 0; t < 2; ++t) {
      glActiveTexture(GL_TEXTURE0 + t);
      glBindTexture(GL_TEXTURE_2D, textures[t]);
      glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, kSize, kSize, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
      glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    }
    glDisable(GL_DEPTH_TEST);
    Frame();  // the target and textures exist before anything is timed
    return true;
  }

  void MakeCurrent() { SDL_GL_MakeCurrent(window_, context_); }

  // Compiles, links and draws a pair, phase by phase; the program is deleted afterwards.
  void Run(const std::string& vertex, const std::string& fragment, const char* samplers[2], Phases& phases) {
    double start = Now();
    GLuint vertexShader = bench::CompileOrExit(GL_VERTEX_SHADER, vertex.c_str());
    double compiledVertex = Now();
    GLuint fragmentShader = bench::CompileOrExit(GL_FRAGMENT_SHADER, fragment.c_str());
    double compiledFragment = Now();
    GLuint program = bench::LinkOrExit(vertexShader, fragmentShader);
    glUseProgram(program);
    for (int t = 0; t < 2; ++t) glUniform1i(glGetUniformLocation(program, samplers[t]), t);
    // The translated vertex stage places pixel centres with the viewport; the native one needs none.
    glUniform4f(glGetUniformLocation(program, "uViewport"), 0, 0, kSize, kSize);
    double linked = Now();
    Frame();
    double drawn = Now();
    Frame();
    double end = Now();
    phases.compileVertex = compiledVertex - start;
    phases.compileFragment = compiledFragment - compiledVertex;
    phases.link = linked - compiledFragment;
    phases.draw = drawn - linked;
    phases.again = end - drawn;
    glUseProgram(0);
    glDeleteProgram(program);
  }

 private:
  void Frame() {
    glClear(GL_COLOR_BUFFER_BIT);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glReadPixels(0, 0, kSize, kSize, GL_RGBA, GL_UNSIGNED_BYTE, readBack_);
  }

  SDL_Window* window_ = nullptr;
  SDL_GLContext context_ = nullptr;
  unsigned readBack_[kSize * kSize];
};

// The per-pixel lighting pair written by hand: the normal map expanded and normalised, its dot
// product with the light direction saturated, modulating the colour texture.
const char* kNativeVertex =
    "#version 330 core\n"
    "layout(location = 0) in vec4 position;\n"
    "layout(location = 1) in vec2 texcoord;\n"
    "out vec2 uv;\n"
    "void main() { gl_Position = position; uv = texcoord; }\n";

std::string NativeFragment(float lightX) {
  char light[64];
  std::snprintf(light, sizeof light, "vec3(%.9g, 0.57735027, 0.57735027)", static_cast<double>(lightX));
  return std::string(
             "#version 330 core\nin vec2 uv; uniform sampler2D normalMap; uniform sampler2D colourMap; out vec4 o;\n"
             "void main() {\n"
             "  vec3 n = normalize(texture(normalMap, uv).xyz * 2.0 - 1.0);\n"
             "  float diffuse = clamp(dot(n, ") +
         light +
         "), 0.0, 1.0);\n"
         "  o = texture(colourMap, uv) * diffuse;\n"
         "}\n";
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  std::string pixelFile = argc > 3 ? argv[2] : "PerPixelLightingPS20.psh";
  std::string vertexFile = argc > 3 ? argv[3] : "PerPixelLightingVS11.vsh";
  bool lighting = argc <= 3;
  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  ComPtr<IDirect3D9> direct3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
  if (!direct3d) return 1;
  D3DPRESENT_PARAMETERS parameters{};
  parameters.BackBufferWidth = parameters.BackBufferHeight = kSize;
  parameters.BackBufferFormat = D3DFMT_X8R8G8B8;
  parameters.BackBufferCount = 1;
  parameters.SwapEffect = D3DSWAPEFFECT_DISCARD;
  parameters.Windowed = TRUE;
  parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
  ComPtr<IDirect3DDevice9> device;
  if (FAILED(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &parameters,
                                    device.ReleaseAndGetAddressOf()))) {
    return 1;
  }
  device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
  device->SetRenderState(D3DRS_ZENABLE, FALSE);
  struct Vertex {
    float x, y, z, w, u, v;
  };
  const Vertex quad[4] = {{-1, 1, 0, 1, 0, 0}, {1, 1, 0, 1, 1, 0}, {-1, -1, 0, 1, 0, 1}, {1, -1, 0, 1, 1, 1}};
  ComPtr<IDirect3DVertexBuffer9> buffer;
  device->CreateVertexBuffer(sizeof quad, D3DUSAGE_WRITEONLY, 0x104, D3DPOOL_MANAGED, buffer.ReleaseAndGetAddressOf(),
                             nullptr);
  void* target = nullptr;
  buffer->Lock(0, sizeof quad, &target, 0);
  std::memcpy(target, quad, sizeof quad);
  buffer->Unlock();
  const D3DVERTEXELEMENT9 elements[] = {{0, 0, D3DDECLTYPE_FLOAT4, 0, D3DDECLUSAGE_POSITION, 0},
                                        {0, 16, D3DDECLTYPE_FLOAT2, 0, D3DDECLUSAGE_TEXCOORD, 0},
                                        D3DDECL_END()};
  ComPtr<IDirect3DVertexDeclaration9> declaration;
  device->CreateVertexDeclaration(elements, declaration.ReleaseAndGetAddressOf());
  device->SetStreamSource(0, buffer.Get(), 0, sizeof(Vertex));
  device->SetVertexDeclaration(declaration.Get());
  ComPtr<IDirect3DTexture9> textures[2];
  for (int t = 0; t < 2; ++t) {
    device->CreateTexture(kSize, kSize, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, textures[t].ReleaseAndGetAddressOf(),
                          nullptr);
    device->SetTexture(t, textures[t].Get());
  }
  ComPtr<IDirect3DSurface9> backBuffer, copy;
  device->GetBackBuffer(0, 0, D3DBACKBUFFER_TYPE_MONO, backBuffer.ReleaseAndGetAddressOf());
  device->CreateOffscreenPlainSurface(kSize, kSize, D3DFMT_X8R8G8B8, D3DPOOL_SYSTEMMEM, copy.ReleaseAndGetAddressOf(),
                                      nullptr);
  auto frame = [&] {
    device->BeginScene();
    device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    device->EndScene();
    device->GetRenderTargetData(backBuffer.Get(), copy.Get());  // waits for the draw
  };
  frame();  // the target, textures and vertices exist before anything is timed

  GlHarness harness;
  if (!harness.Open()) {
    std::fprintf(stderr, "no OpenGL 3.3 context of its own: %s\n", SDL_GetError());
    return 1;
  }
  std::printf("renderer: %s | %s\n", glGetString(GL_RENDERER), glGetString(GL_VERSION));

  std::vector<DWORD> pixelTokens = Assemble(pixelFile), vertexTokens = Assemble(vertexFile);
  // The first def's x changes each round and path: a new stream, new GLSL, new code.
  auto def = std::find_if(pixelTokens.begin() + 1, pixelTokens.end(), [](DWORD t) { return (t & 0xFFFF) == 0x51; });
  if (def == pixelTokens.end()) return 1;
  auto setLight = [&](float x) { std::memcpy(&*(def + 2), &x, 4); };

  enum Path { kDevice, kTranslated, kNative, kPaths };
  std::vector<Phases> results[kPaths];
  for (int round = 0; round < rounds; ++round) {
    for (int turn = 0; turn < kPaths; ++turn) {
      int path = (round + turn) % kPaths;
      if (path == kNative && !lighting) continue;
      Phases phases;
      setLight(LightX(round, path));
      if (path == kDevice) {
        rastro::GlRenderer::ForgetCurrent();  // the harness's context was current
        ComPtr<IDirect3DPixelShader9> pixel;
        ComPtr<IDirect3DVertexShader9> vertex;
        double start = Now();
        device->CreatePixelShader(pixelTokens.data(), pixel.ReleaseAndGetAddressOf());
        device->CreateVertexShader(vertexTokens.data(), vertex.ReleaseAndGetAddressOf());
        device->SetPixelShader(pixel.Get());
        device->SetVertexShader(vertex.Get());
        double created = Now();
        frame();
        double drawn = Now();
        frame();
        double end = Now();
        phases.create = created - start;
        phases.draw = drawn - created;
        phases.again = end - drawn;
        device->SetPixelShader(nullptr);
        device->SetVertexShader(nullptr);
      } else if (path == kTranslated) {
        harness.MakeCurrent();
        // As the device keys the pair for this draw: byte colours, an 8-bit target.
        rastro::ShaderProgramKey key;
        key.vertexTokens = vertexTokens;
        key.pixelTokens = pixelTokens;
        key.colorsInRange = key.normalisedTarget = true;
        for (int t = 0; t < 2; ++t) key.stageTextures[t] = rastro::TextureKind::Flat;
        key.fixedFunction.input.position = rastro::PositionKind::Clip;
        std::string vertexSource, fragmentSource;
        rastro::GlslShader vertexShader, pixelShader;
        double start = Now();
        if (!rastro::GlShaderProgramCache::Sources(key, vertexSource, fragmentSource, vertexShader, pixelShader)) {
          std::fprintf(stderr, "the pair does not translate\n");
          return 1;
        }
        phases.translate = Now() - start;
        const char* samplers[2] = {"ps_s0", "ps_s1"};
        harness.Run(vertexSource, fragmentSource, samplers, phases);
      } else {
        harness.MakeCurrent();
        const char* samplers[2] = {"normalMap", "colourMap"};
        harness.Run(kNativeVertex, NativeFragment(LightX(round, path)), samplers, phases);
      }
      results[path].push_back(phases);
    }
  }

  auto median = [&](Path path, double Phases::*field) {
    std::vector<double> values;
    for (const Phases& p : results[path]) values.push_back(p.*field);
    return Median(values) * 1e3;
  };
  auto medianFirst = [&](Path path) {
    std::vector<double> values;
    for (const Phases& p : results[path]) values.push_back(p.First());
    return Median(values) * 1e3;
  };
  std::printf("%s + %s, %d rounds, medians in ms (paths alternate each round)\n", pixelFile.c_str(), vertexFile.c_str(),
              rounds);
  std::printf("%-34s %10s %10s %10s\n", "phase", "device", "translated", lighting ? "native" : "");
  struct Row {
    const char* name;
    double Phases::*field;
  };
  const Row rows[] = {{"create + set shaders", &Phases::create},
                      {"translate (decode + GLSL)", &Phases::translate},
                      {"compile vertex shader", &Phases::compileVertex},
                      {"compile fragment shader", &Phases::compileFragment},
                      {"link (+ uniforms)", &Phases::link},
                      {"first draw + read-back", &Phases::draw}};
  for (const Row& row : rows) {
    std::printf("%-34s %10.3f %10.3f", row.name, median(kDevice, row.field), median(kTranslated, row.field));
    if (lighting) std::printf(" %10.3f", median(kNative, row.field));
    std::printf("\n");
  }
  std::printf("%-34s %10.3f %10.3f", "first draw, all phases", medianFirst(kDevice), medianFirst(kTranslated));
  if (lighting) std::printf(" %10.3f", medianFirst(kNative));
  std::printf("\n%-34s %10.3f %10.3f", "again (program exists)", median(kDevice, &Phases::again),
              median(kTranslated, &Phases::again));
  if (lighting) std::printf(" %10.3f", median(kNative, &Phases::again));
  std::printf("\n");
  if (lighting) {
    // The cost the translation adds to a first draw: what the translated pair takes beyond the
    // hand-written one (the translation itself included), by round, then the median.
    std::vector<double> added[2];
    for (size_t k = 0; k < results[kNative].size(); ++k) {
      added[0].push_back(results[kDevice][k].First() - results[kNative][k].First());
      added[1].push_back(results[kTranslated][k].First() - results[kNative][k].First());
    }
    std::printf("added by translation (path - native, same round): device %.3f ms, translated %.3f ms\n",
                Median(added[0]) * 1e3, Median(added[1]) * 1e3);
  }
  return 0;
}
