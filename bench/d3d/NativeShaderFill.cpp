// Native OpenGL reference for the pixel-shader tests (7 to 16): each test's computation written
// by hand in GLSL 3.30, drawn as the benchmark draws it (a screen-covering quad, 32 or 16 times
// a frame, into an RGBA8 target with depth off) and timed the same way (20 warm-up frames, then
// frames until more than T seconds of frame time). Beside each native shader the program draws
// the test's own shader file, assembled and translated as the device does, in the same
// harness, alternating the two ROUNDS times, so that the translation is compared with
// hand-written GLSL and nothing else.
//
//   native_shader_fill [W H [T [ROUNDS [NAME-PART]]]]
//
// Prints "<test name> - native <rate>M - translated <rate>M pixels/sec" per test and round.
#include <SDL2/SDL.h>
#include <epoxy/gl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "d3dx9shader.h"
#include "shader/ShaderTranslator.h"

#ifndef RASTRO_SOURCE_DATA_DIR
#define RASTRO_SOURCE_DATA_DIR "data"
#endif

namespace {

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

GLuint Compile(GLenum kind, const char* source) {
  GLuint shader = glCreateShader(kind);
  glShaderSource(shader, 1, &source, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[2000];
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    std::fprintf(stderr, "%s\n%s\n", source, log);
    std::exit(1);
  }
  return shader;
}

GLuint Link(const char* vertex, const char* fragment) {
  GLuint program = glCreateProgram();
  glAttachShader(program, Compile(GL_VERTEX_SHADER, vertex));
  glAttachShader(program, Compile(GL_FRAGMENT_SHADER, fragment));
  glLinkProgram(program);
  return program;
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
const char* kSimple =
    "#version 330 core\nin vec4 d; in vec4 s; out vec4 o;\nvoid main() { o = d + s; }\n";

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

}  // namespace

int main(int argc, char** argv) {
  int width = argc > 1 ? std::atoi(argv[1]) : 1024;
  int height = argc > 2 ? std::atoi(argv[2]) : 768;
  double seconds = argc > 3 ? std::atof(argv[3]) : 5.0;
  int rounds = argc > 4 ? std::atoi(argv[4]) : 5;
  const char* only = argc > 5 ? argv[5] : nullptr;
  SDL_Init(SDL_INIT_VIDEO);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
  SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
  SDL_Window* window = SDL_CreateWindow("native", 0, 0, width, height, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
  if (!window || !SDL_GL_CreateContext(window)) {
    std::fprintf(stderr, "no OpenGL 3.3 context: %s\n", SDL_GetError());
    return 1;
  }
  SDL_GL_SetSwapInterval(0);
  std::printf("renderer: %s | %s, %dx%d, T=%.2fs\n", glGetString(GL_RENDERER), glGetString(GL_VERSION), width, height,
              seconds);
  GLuint framebuffer, colour;
  glGenFramebuffers(1, &framebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
  glGenRenderbuffers(1, &colour);
  glBindRenderbuffer(GL_RENDERBUFFER, colour);
  glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
  glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
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
    glUseProgram(program);
    for (const char* name : {"normalMap", "ps_s0"}) glUniform1i(glGetUniformLocation(program, name), 0);
    for (const char* name : {"colourMap", "ps_s1"}) glUniform1i(glGetUniformLocation(program, name), 1);
    long frames = 0, counted = 0;
    double sum = 0;
    for (;;) {
      glClearColor(0, 0, 0, 0);
      glClear(GL_COLOR_BUFFER_BIT);
      double start = Now();
      for (int q = 0; q < factor; ++q) glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
      glFinish();
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
    return factor * (width * static_cast<double>(height) * 1e-6) * counted / sum;
  };
  for (const Test& test : kTests) {
    if (only && !std::strstr(test.name, only)) continue;
    std::string translatedSource = Translated(test.shaderFile);
    GLuint native = Link(kVertex, test.fragment);
    GLuint translated = Link(kTranslatedVertex, translatedSource.c_str());
    for (int round = 0; round < rounds; ++round) {
      double nativeRate = measure(native, test.factor);
      double translatedRate = measure(translated, test.factor);
      std::printf("%s - native %fM - translated %fM pixels/sec (%.3f)\n", test.name, nativeRate, translatedRate,
                  translatedRate / nativeRate);
      std::fflush(stdout);
    }
    glDeleteProgram(native);
    glDeleteProgram(translated);
  }
  return 0;
}
