// Native OpenGL reference for the pixel-shader tests (7 to 16): each test's computation written
// by hand in GLSL 3.30, drawn as the benchmark draws it (a screen-covering quad, 32 or 16 times
// a frame, with depth off) into targets of the formats the benchmark ran with, cleared each
// frame as the benchmark clears them, and timed as the reference tool for tests 1 to 6 times
// its workloads: 20 warm-up frames, then frames until more than T seconds of frame time, each
// frame's draws ending in glFinish. With --translated the program also draws the test's own
// shader file, assembled and translated as the device does, in the same harness and
// alternating with the native shader, so that the translation is compared with hand-written
// GLSL and nothing else. With --device it also runs the benchmark's own test (its catalogue
// entry, through a Direct3D device made as the benchmark makes it, timed as the benchmark times
// it: Render, EndScene and Present of each frame) alternating with the native shader, test by
// test in one process, so that both see the same machine.
//
//   native_shader_fill [--mode WxH] [--backbuffer FORMAT] [--depth FORMAT|none] [--seconds T]
//                      [--rounds N] [--only NAME-PART] [--translated] [--device]
//
// Formats are named as the benchmark's --list names them (A8R8G8B8, X8R8G8B8, R5G6B5,
// A2R10G10B10; D16, D16_LOCKABLE, D24S8, D24X8, D32, D32F_LOCKABLE). Defaults: 640x480,
// A8R8G8B8, D16_LOCKABLE, 5 seconds, one round: the benchmark's headless defaults.
// Prints a line per test and round in the results file's format, "<test name> - <rate>M
// pixels/sec", and with --translated or --device "<test name> [translated] - ..." or
// "<test name> [device] - ..." and the ratio to the native rate of the same round beside it.
#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Catalogue.h"
#include "FillRate.h"
#include "GlslOrExit.h"
#include "RunSequence.h"
#include "ShaderTranslator.h"
#include "d3d9.h"
#include "d3dx9shader.h"
#include "gl/GlRenderer.h"

#ifndef RASTRO_SOURCE_DATA_DIR
#define RASTRO_SOURCE_DATA_DIR "data"
#endif

namespace {

double Now() { return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count(); }

GLuint Link(const char* vertex, const char* fragment) {
  return bench::LinkOrExit(bench::CompileOrExit(GL_VERTEX_SHADER, vertex),
                           bench::CompileOrExit(GL_FRAGMENT_SHADER, fragment));
}

// Vertex stage: clip-space position, two colours, one coordinate set.
const char* kVertex =
    "#version 330 core\n"
    "layout(location = 0) in vec2 position;\n"
    "layout(location = 1) in vec4 diffuse;\n"
    "layout(location = 2) in vec4 specular;\n"
    "layout(location = 3) in vec2 texcoord;\n"
    "out vec4 d; out vec4 s; out vec2 uv;\n"
    "void main() { gl_Position = vec4(position, 0.0, 1.0); d = diffuse; s = specular; uv = texcoord; }\n";

// SimplePS11/14/20(PP).psh: add r0, v0, v1.
const char* kSimple = "#version 330 core\nin vec4 d; in vec4 s; out vec4 o;\nvoid main() { o = d + s; }\n";

// LongerPS20(PP).psh and Longer4RegPS20(PP).psh: the same chain (registers are names only).
const char* kLonger =
    "#version 330 core\nin vec4 d; in vec4 s; out vec4 o;\n"
    "void main() {\n"
    "  const vec4 c0 = vec4(0.5), c1 = vec4(0.25);\n"
    "  vec4 a = d + s;\n"
    "  vec4 b = a * c0;\n"
    "  a = b * b + c1;\n"
    "  b = a - c1;\n"
    "  a = b * d;\n"
    "  b = a * c0 + s;\n"
    "  a = max(b, c1);\n"
    "  b = a * a;\n"
    "  a = b * c0 + c1;\n"
    "  b = min(a, s);\n"
    "  a = b + d;\n"
    "  b = a * c0;\n"
    "  a = b * s + b;\n"
    "  b = a + c1;\n"
    "  a = b * c0;\n"
    "  o = mix(d, a, c0);\n"
    "}\n";

// PerPixelLightingPS20(PP).psh: expand and normalise the normal map, light it, modulate.
const char* kLighting =
    "#version 330 core\nin vec2 uv; uniform sampler2D normalMap; uniform sampler2D colourMap; out vec4 o;\n"
    "void main() {\n"
    "  vec3 n = normalize(texture(normalMap, uv).xyz * 2.0 - 1.0);\n"
    "  float diffuse = clamp(dot(n, vec3(0.57735027)), 0.0, 1.0);\n"
    "  o = texture(colourMap, uv) * diffuse;\n"
    "}\n";

// The vertex stage the translated pixel shaders read from, under the translator's names.
const char* kTranslatedVertex =
    "#version 330 core\n"
    "layout(location = 0) in vec2 position;\n"
    "layout(location = 1) in vec4 diffuse;\n"
    "layout(location = 2) in vec4 specular;\n"
    "layout(location = 3) in vec2 texcoord;\n"
    "out vec4 vDiffuse; out vec4 vSpecular; out vec4 vTexCoord0;\n"
    "void main() { gl_Position = vec4(position, 0.0, 1.0); vDiffuse = diffuse; vSpecular = specular;\n"
    "  vTexCoord0 = vec4(texcoord, 0.0, 1.0); }\n";

struct Test {
  const char* name;
  const char* fragment;
  int factor;
  const char* shaderFile;
};

// The test's shader file as GLSL, through the assembler and the translator.
std::string Translated(const char* file) {
  std::string path = std::string(RASTRO_SOURCE_DATA_DIR) + "/" + file;
  ID3DXBuffer* tokens = nullptr;
  if (FAILED(D3DXAssembleShaderFromFileA(path.c_str(), nullptr, nullptr, 0, &tokens, nullptr)) || !tokens) {
    std::fprintf(stderr, "%s does not assemble\n", path.c_str());
    std::exit(1);
  }
  rastro::DecodedShader decoded;
  rastro::GlslShader glsl;
  // As the device translates for this harness: byte colours, an RGBA8 target.
  rastro::ShaderTranslationOptions options;
  options.clampColorInputs = false;
  options.targetClampsColor = true;
  std::string problem;
  const auto* words = static_cast<const DWORD*>(tokens->GetBufferPointer());
  if (FAILED(rastro::DecodeShader(words, tokens->GetBufferSize() / 4, decoded, &problem)) ||
      FAILED(rastro::TranslateShader(decoded, options, glsl, &problem))) {
    std::fprintf(stderr, "%s: %s\n", file, problem.c_str());
    std::exit(1);
  }
  tokens->Release();
  return glsl.source;
}

const Test kTests[] = {
    {"PS 1.1 - Simple", kSimple, 32, "SimplePS11.psh"},
    {"PS 1.4 - Simple", kSimple, 32, "SimplePS14.psh"},
    {"PS 2.0 - Simple", kSimple, 32, "SimplePS20.psh"},
    {"PS 2.0 PP - Simple", kSimple, 32, "SimplePS20PP.psh"},
    {"PS 2.0 - Longer", kLonger, 32, "LongerPS20.psh"},
    {"PS 2.0 PP - Longer", kLonger, 32, "LongerPS20PP.psh"},
    {"PS 2.0 - Longer 4 Registers", kLonger, 32, "Longer4RegPS20.psh"},
    {"PS 2.0 PP - Longer 4 Registers", kLonger, 32, "Longer4RegPS20PP.psh"},
    {"PS 2.0 - Per Pixel Lighting", kLighting, 16, "PerPixelLightingPS20.psh"},
    {"PS 2.0 PP - Per Pixel Lighting", kLighting, 16, "PerPixelLightingPS20PP.psh"},
};

// Target formats by the names the benchmark lists them under, as the device stores them.
struct TargetFormat {
  const char* name;
  GLenum internalFormat, format, type;
  GLbitfield clear;  // what the benchmark clears each frame with a depth buffer of this format
};

const TargetFormat kColourFormats[] = {
    {"A8R8G8B8", GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, GL_COLOR_BUFFER_BIT},
    {"X8R8G8B8", GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, GL_COLOR_BUFFER_BIT},
    {"R5G6B5", GL_RGB565, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, GL_COLOR_BUFFER_BIT},
    {"A2R10G10B10", GL_RGB10_A2, GL_BGRA, GL_UNSIGNED_INT_2_10_10_10_REV, GL_COLOR_BUFFER_BIT},
};

const TargetFormat kDepthFormats[] = {
    {"D16_LOCKABLE", GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, GL_DEPTH_BUFFER_BIT},
    {"D16", GL_DEPTH_COMPONENT16, GL_DEPTH_COMPONENT, GL_UNSIGNED_SHORT, GL_DEPTH_BUFFER_BIT},
    {"D24X8", GL_DEPTH_COMPONENT24, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, GL_DEPTH_BUFFER_BIT},
    {"D24S8", GL_DEPTH24_STENCIL8, GL_DEPTH_STENCIL, GL_UNSIGNED_INT_24_8, GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT},
    {"D32", GL_DEPTH_COMPONENT32, GL_DEPTH_COMPONENT, GL_UNSIGNED_INT, GL_DEPTH_BUFFER_BIT},
    {"D32F_LOCKABLE", GL_DEPTH_COMPONENT32F, GL_DEPTH_COMPONENT, GL_FLOAT, GL_DEPTH_BUFFER_BIT},
};

// The Direct3D format of a name the table knows.
D3DFORMAT D3DFormatNamed(const std::string& name) {
  static const std::pair<const char*, D3DFORMAT> kNames[] = {{"A8R8G8B8", D3DFMT_A8R8G8B8},
                                                             {"X8R8G8B8", D3DFMT_X8R8G8B8},
                                                             {"R5G6B5", D3DFMT_R5G6B5},
                                                             {"A2R10G10B10", D3DFMT_A2R10G10B10},
                                                             {"D16_LOCKABLE", D3DFMT_D16_LOCKABLE},
                                                             {"D16", D3DFMT_D16},
                                                             {"D24X8", D3DFMT_D24X8},
                                                             {"D24S8", D3DFMT_D24S8},
                                                             {"D32", D3DFMT_D32},
                                                             {"D32F_LOCKABLE", D3DFMT_D32F_LOCKABLE}};
  for (const auto& [text, format] : kNames) {
    if (name == text) return format;
  }
  return D3DFMT_UNKNOWN;
}

template <size_t N>
const TargetFormat* FindFormat(const TargetFormat (&formats)[N], const std::string& name) {
  for (const TargetFormat& format : formats) {
    if (name == format.name) return &format;
  }
  return nullptr;
}

int Usage(const char* problem) {
  std::fprintf(stderr,
               "%s\nusage: native_shader_fill [--mode WxH] [--backbuffer FORMAT] [--depth FORMAT|none] "
               "[--seconds T] [--rounds N] [--only NAME-PART] [--translated]\n",
               problem);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  int width = 640, height = 480, rounds = 1;
  double seconds = 5.0;
  std::string only, colourName = "A8R8G8B8", depthName = "D16_LOCKABLE";
  bool withTranslated = false, withDevice = false, pacedAsPresent = false;
  for (int k = 1; k < argc; ++k) {
    std::string option = argv[k];
    if (option == "--translated" || option == "--device" || option == "--paced") {
      (option == "--device" ? withDevice : option == "--paced" ? pacedAsPresent : withTranslated) = true;
      continue;
    }
    if (k + 1 >= argc) return Usage(("no value after " + option).c_str());
    std::string value = argv[++k];
    if (option == "--mode") {
      if (std::sscanf(value.c_str(), "%dx%d", &width, &height) != 2 || width <= 0 || height <= 0) {
        return Usage("--mode takes WxH");
      }
    } else if (option == "--backbuffer") {
      colourName = value;
    } else if (option == "--depth") {
      depthName = value;
    } else if (option == "--seconds") {
      seconds = std::atof(value.c_str());
      if (!(seconds > 0)) return Usage("--seconds takes a positive number");
    } else if (option == "--rounds") {
      rounds = std::atoi(value.c_str());
      if (rounds <= 0) return Usage("--rounds takes a positive count");
    } else if (option == "--only") {
      only = value;
    } else {
      return Usage(("unknown option " + option).c_str());
    }
  }
  const TargetFormat* colourFormat = FindFormat(kColourFormats, colourName);
  const TargetFormat* depthFormat = depthName == "none" ? nullptr : FindFormat(kDepthFormats, depthName);
  if (!colourFormat) return Usage(("unknown back buffer format " + colourName).c_str());
  if (!depthFormat && depthName != "none") return Usage(("unknown depth format " + depthName).c_str());

  setenv("SDL_VIDEODRIVER", "offscreen", 0);
  // The benchmark's device, made first (it sets up the video subsystem and its own context),
  // as the benchmark makes it headless: full screen on no window of the caller's.
  ComPtr<IDirect3D9> direct3d;
  ComPtr<IDirect3DDevice9> device;
  D3DFORMAT depthD3d = D3DFMT_UNKNOWN;
  if (withDevice) {
    direct3d = ComPtr<IDirect3D9>::Adopt(Direct3DCreate9(D3D_SDK_VERSION));
    D3DPRESENT_PARAMETERS parameters{};
    parameters.BackBufferWidth = static_cast<UINT>(width);
    parameters.BackBufferHeight = static_cast<UINT>(height);
    parameters.BackBufferFormat = D3DFormatNamed(colourName);
    parameters.BackBufferCount = 1;
    parameters.SwapEffect = D3DSWAPEFFECT_FLIP;
    parameters.PresentationInterval = D3DPRESENT_INTERVAL_IMMEDIATE;
    parameters.FullScreen_RefreshRateInHz = 60;
    if (depthFormat) {
      depthD3d = D3DFormatNamed(depthName);
      parameters.EnableAutoDepthStencil = TRUE;
      parameters.AutoDepthStencilFormat = depthD3d;
    }
    if (!direct3d || FAILED(direct3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_MIXED_VERTEXPROCESSING,
                                                   &parameters, device.ReleaseAndGetAddressOf()))) {
      std::fprintf(stderr, "no Direct3D device for %dx%d %s %s\n", width, height, colourName.c_str(),
                   depthName.c_str());
      return 1;
    }
    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
  }
  SDL_Init(SDL_INIT_VIDEO);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
  SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
  SDL_Window* window = SDL_CreateWindow("native", 0, 0, 16, 16, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  SDL_GLContext context = window ? SDL_GL_CreateContext(window) : nullptr;
  if (!context) {
    std::fprintf(stderr, "no OpenGL 3.3 context: %s\n", SDL_GetError());
    return 1;
  }
  SDL_GL_SetSwapInterval(0);
  std::printf("renderer: %s | %s, %dx%d %s %s, T=%.2fs\n", glGetString(GL_RENDERER), glGetString(GL_VERSION), width,
              height, colourName.c_str(), depthName.c_str(), seconds);
  // The targets are textures attached to a framebuffer object, as the device keeps them.
  GLuint framebuffer, targets[2];
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glGenTextures(2, targets);
  glBindTexture(GL_TEXTURE_2D, targets[0]);
  glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(colourFormat->internalFormat), width, height, 0,
               colourFormat->format, colourFormat->type, nullptr);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, targets[0], 0);
  GLbitfield clear = GL_COLOR_BUFFER_BIT;
  if (depthFormat) {
    glBindTexture(GL_TEXTURE_2D, targets[1]);
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(depthFormat->internalFormat), width, height, 0,
                 depthFormat->format, depthFormat->type, nullptr);
    glFramebufferTexture2D(
        GL_FRAMEBUFFER, depthFormat->clear & GL_STENCIL_BUFFER_BIT ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT,
        GL_TEXTURE_2D, targets[1], 0);
    clear |= depthFormat->clear;
  }
  if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
    std::fprintf(stderr, "%s with %s is no complete framebuffer here\n", colourName.c_str(), depthName.c_str());
    return 1;
  }
  glViewport(0, 0, width, height);
  // The shader ramp: diffuse black, red, green, blue; specular as the tests give it (RGBA bytes).
  struct Vertex {
    float x, y;
    unsigned char diffuse[4], specular[4];
    float u, v;
  };
  const Vertex quad[4] = {{-1, 1, {0, 0, 0, 0}, {0, 0, 0xA0, 0}, 0, 0},
                          {1, 1, {0xFF, 0, 0, 0}, {0, 0xA0, 0, 0}, 1, 0},
                          {-1, -1, {0, 0xFF, 0, 0}, {0xA0, 0, 0, 0}, 0, 1},
                          {1, -1, {0, 0, 0xFF, 0}, {0xA0, 0xA0, 0xA0, 0}, 1, 1}};
  GLuint vertexArray, buffer;
  glGenVertexArrays(1, &vertexArray);
  glBindVertexArray(vertexArray);
  glGenBuffers(1, &buffer);
  glBindBuffer(GL_ARRAY_BUFFER, buffer);
  glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), nullptr);
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(8));
  glEnableVertexAttribArray(2);
  glVertexAttribPointer(2, 4, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(Vertex), reinterpret_cast<void*>(12));
  glEnableVertexAttribArray(3);
  glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(16));

  // Two 512x512 RGBA8 textures of noise, point sampled without mip-maps (the device's defaults).
  GLuint textures[2];
  glGenTextures(2, textures);
  std::vector<unsigned> pixels(512 * 512);
  std::srand(1);
  for (int t = 0; t < 2; ++t) {
    for (unsigned& pixel : pixels) pixel = static_cast<unsigned>(std::rand()) | 0xFF000000u;
    glActiveTexture(GL_TEXTURE0 + t);
    glBindTexture(GL_TEXTURE_2D, textures[t]);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 512, 512, 0, GL_BGRA, GL_UNSIGNED_BYTE, pixels.data());
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
  }
  glDisable(GL_DEPTH_TEST);

  // Rate of one program: frames of `factor` quads until more than `seconds` were measured.
  auto measure = [&](GLuint program, int factor) {
    SDL_GL_MakeCurrent(window, context);
    while (glGetError() != GL_NO_ERROR) {
    }
    glUseProgram(program);
    if (glGetError() != GL_NO_ERROR) {
      std::fprintf(stderr, "program %u cannot be used in this context\n", program);
      std::exit(1);
    }
    for (const char* name : {"normalMap", "ps_s0"}) glUniform1i(glGetUniformLocation(program, name), 0);
    for (const char* name : {"colourMap", "ps_s1"}) glUniform1i(glGetUniformLocation(program, name), 1);
    long frames = 0, counted = 0;
    double sum = 0;
    std::deque<GLsync> inFlight;
    for (;;) {
      // As the benchmark clears: black, depth 1, stencil 0, with every buffer writable.
      glDepthMask(GL_TRUE);
      glClearColor(0, 0, 0, 0);
      glClearDepth(1.0);
      glClearStencil(0);
      glClear(clear);
      glDepthMask(GL_FALSE);
      double start = Now();
      for (int q = 0; q < factor; ++q) glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      if (pacedAsPresent) {
        // As the device presents: a fence after each frame, and a wait only for the frame
        // before last, so that two frames are in flight.
        inFlight.push_back(glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0));
        glFlush();
        while (inFlight.size() > 2) {
          glClientWaitSync(inFlight.front(), GL_SYNC_FLUSH_COMMANDS_BIT, 5'000'000'000ull);
          glDeleteSync(inFlight.front());
          inFlight.pop_front();
        }
      } else {
        glFinish();
      }
      sum += Now() - start;
      ++counted;
      ++frames;
      if (frames < 20) {
        counted = 0;
        sum = 0;
        continue;
      }
      if (sum > seconds) break;
    }
    glFinish();
    for (GLsync fence : inFlight) glDeleteSync(fence);
    return factor * (width * static_cast<double>(height) * 1e-6) * counted / sum;
  };
  // Rate of the benchmark's own test of that name on the device, timed as the benchmark times
  // it; 0 when the test does not initialise.
  auto measureDevice = [&](const char* name) {
    rastro::GlRenderer::ForgetCurrent();  // the native context was current
    const rastro::ScreenSize screen{static_cast<UINT>(width), static_cast<UINT>(height)};
    std::unique_ptr<rastro::FillTest> test;
    for (const rastro::CatalogueRow& row : rastro::Catalogue()) {
      if (std::strcmp(row.name, name) == 0) test = row.create(row, screen, rastro::FolderFiles(RASTRO_SOURCE_DATA_DIR));
    }
    if (!test || !test->Init(device.Get())) {
      if (test) test->Destroy();
      return 0.0;
    }
    const DWORD clearFlags = rastro::ClearFlagsFor(depthD3d);
    UINT frames = 0, counted = 0;
    double sum = 0;
    for (;;) {
      device->BeginScene();
      device->Clear(0, nullptr, clearFlags, 0x00000000, 1.0f, 0);
      double start = Now();
      test->Render();
      device->EndScene();
      device->Present(nullptr, nullptr, nullptr, nullptr);
      sum += Now() - start;
      ++counted;
      if (++frames <= rastro::kWarmUpFrames) {
        counted = 0;
        sum = 0;
        continue;
      }
      if (sum > seconds) break;
    }
    test->Destroy();
    return rastro::FillRate(test->PixelFactor(), screen.width, screen.height, counted, static_cast<float>(sum));
  };
  for (const Test& test : kTests) {
    if (!only.empty() && !std::strstr(test.name, only.c_str())) continue;
    SDL_GL_MakeCurrent(window, context);  // the device's context may be current
    GLuint native = Link(kVertex, test.fragment);
    GLuint translated = withTranslated ? Link(kTranslatedVertex, Translated(test.shaderFile).c_str()) : 0;
    for (int round = 0; round < rounds; ++round) {
      // The device goes first in every other round, so neither always follows the other.
      double deviceRate = withDevice && round % 2 == 1 ? measureDevice(test.name) : 0.0;
      double nativeRate = measure(native, test.factor);
      if (withDevice && round % 2 == 0) deviceRate = measureDevice(test.name);
      std::printf("%s - %fM pixels/sec\n", test.name, nativeRate);
      if (withDevice) {
        std::printf("%s [device] - %fM pixels/sec (%.3f of native)\n", test.name, deviceRate, deviceRate / nativeRate);
      }
      if (translated) {
        double translatedRate = measure(translated, test.factor);
        std::printf("%s [translated] - %fM pixels/sec (%.3f of native)\n", test.name, translatedRate,
                    translatedRate / nativeRate);
      }
      std::fflush(stdout);
    }
    SDL_GL_MakeCurrent(window, context);
    glDeleteProgram(native);
    if (translated) glDeleteProgram(translated);
  }
  return 0;
}
