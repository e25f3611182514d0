#include "GlProgram.h"

#include <cstring>
#include <vector>

#include "DebugOutput.h"
#include "StringFormat.h"

namespace rastro {

DWORD SupportedTextureOps() {
  DWORD ops = 0;
  for (DWORD op = D3DTOP_DISABLE; op <= D3DTOP_LERP; ++op) {
    if (op == D3DTOP_PREMODULATE || op == D3DTOP_BUMPENVMAP || op == D3DTOP_BUMPENVMAPLUMINANCE) continue;
    ops |= 1u << (op - 1);
  }
  return ops;
}

namespace {

// A stage argument as a vec4 expression.
std::string Argument(DWORD argument, UINT stage) {
  std::string value;
  switch (argument & D3DTA_SELECTMASK) {
    case D3DTA_DIFFUSE: value = "diffuse"; break;
    case D3DTA_CURRENT: value = "current"; break;
    case D3DTA_TEXTURE: value = FormatString("texel%u", stage); break;
    case D3DTA_TFACTOR: value = "uTextureFactor"; break;
    case D3DTA_SPECULAR: value = "specular"; break;
    case D3DTA_TEMP: value = "temp"; break;
    case D3DTA_CONSTANT: value = FormatString("uStageConstant[%u]", stage); break;
    default: value = "vec4(0.0)"; break;
  }
  if (argument & D3DTA_ALPHAREPLICATE) value = "(" + value + ").aaaa";
  if (argument & D3DTA_COMPLEMENT) value = "(vec4(1.0) - " + value + ")";
  return value;
}

// A stage operation on arguments a0, a1, a2 (vec4 expressions); the result is vec4.
std::string Operation(DWORD op, const std::string& a0, const std::string& a1, const std::string& a2, UINT stage) {
  std::string texel = FormatString("texel%u", stage);
  switch (op) {
    case D3DTOP_SELECTARG1: return a1;
    case D3DTOP_SELECTARG2: return a2;
    case D3DTOP_MODULATE: return a1 + " * " + a2;
    case D3DTOP_MODULATE2X: return "(" + a1 + " * " + a2 + ") * 2.0";
    case D3DTOP_MODULATE4X: return "(" + a1 + " * " + a2 + ") * 4.0";
    case D3DTOP_ADD: return a1 + " + " + a2;
    case D3DTOP_ADDSIGNED: return a1 + " + " + a2 + " - vec4(0.5)";
    case D3DTOP_ADDSIGNED2X: return "(" + a1 + " + " + a2 + " - vec4(0.5)) * 2.0";
    case D3DTOP_SUBTRACT: return a1 + " - " + a2;
    case D3DTOP_ADDSMOOTH: return a1 + " + " + a2 + " - " + a1 + " * " + a2;
    case D3DTOP_BLENDDIFFUSEALPHA: return "mix(" + a2 + ", " + a1 + ", diffuse.a)";
    case D3DTOP_BLENDTEXTUREALPHA: return "mix(" + a2 + ", " + a1 + ", " + texel + ".a)";
    case D3DTOP_BLENDFACTORALPHA: return "mix(" + a2 + ", " + a1 + ", uTextureFactor.a)";
    case D3DTOP_BLENDTEXTUREALPHAPM: return a1 + " + " + a2 + " * (1.0 - " + texel + ".a)";
    case D3DTOP_BLENDCURRENTALPHA: return "mix(" + a2 + ", " + a1 + ", current.a)";
    case D3DTOP_MODULATEALPHA_ADDCOLOR: return a1 + " + (" + a1 + ").a * " + a2;
    case D3DTOP_MODULATECOLOR_ADDALPHA: return a1 + " * " + a2 + " + (" + a1 + ").aaaa";
    case D3DTOP_MODULATEINVALPHA_ADDCOLOR: return a1 + " + (1.0 - (" + a1 + ").a) * " + a2;
    case D3DTOP_MODULATEINVCOLOR_ADDALPHA: return "(vec4(1.0) - " + a1 + ") * " + a2 + " + (" + a1 + ").aaaa";
    case D3DTOP_DOTPRODUCT3:
      return "vec4(clamp(dot((" + a1 + ").rgb - vec3(0.5), (" + a2 + ").rgb - vec3(0.5)) * 4.0, 0.0, 1.0))";
    case D3DTOP_MULTIPLYADD: return a0 + " + " + a1 + " * " + a2;
    case D3DTOP_LERP: return "mix(" + a2 + ", " + a1 + ", " + a0 + ")";
    default: return "current";
  }
}

bool UsesTexture(const StageKey& stage) {
  auto textureArgument = [](std::uint8_t a) { return (a & D3DTA_SELECTMASK) == D3DTA_TEXTURE; };
  auto opReadsTexture = [](std::uint8_t op) {
    return op == D3DTOP_BLENDTEXTUREALPHA || op == D3DTOP_BLENDTEXTUREALPHAPM;
  };
  bool colorUses =
      textureArgument(stage.colorArg1) || textureArgument(stage.colorArg2) ||
      ((stage.colorOp == D3DTOP_MULTIPLYADD || stage.colorOp == D3DTOP_LERP) && textureArgument(stage.colorArg0)) ||
      opReadsTexture(stage.colorOp);
  bool alphaUses =
      stage.alphaOp != D3DTOP_DISABLE &&
      (textureArgument(stage.alphaArg1) || textureArgument(stage.alphaArg2) ||
       ((stage.alphaOp == D3DTOP_MULTIPLYADD || stage.alphaOp == D3DTOP_LERP) && textureArgument(stage.alphaArg0)) ||
       opReadsTexture(stage.alphaOp));
  return colorUses || alphaUses;
}

// Components a texture-coordinate set is interpolated with: as many as the vertices give, at
// least two; four for a set the vertices leave out (it reads (0, 0, 0, 1)). Fewer
// interpolated components cost less per pixel.
UINT CoordinateComponents(const ProgramKey& key, UINT set) {
  UINT given = key.input.texCoordSizes[set];
  return given == 0 ? 4 : given < 2 ? 2 : given;
}

const char* VectorType(UINT components) { return components == 2 ? "vec2" : components == 3 ? "vec3" : "vec4"; }

}  // namespace

GLuint CompileGlsl(GLenum kind, const std::string& source) {
  GLuint shader = glCreateShader(kind);
  const char* text = source.c_str();
  glShaderSource(shader, 1, &text, nullptr);
  glCompileShader(shader);
  GLint ok = 0;
  glGetShaderiv(shader, GL_COMPILE_STATUS, &ok);
  if (!ok) {
    char log[1024] = {};
    glGetShaderInfoLog(shader, sizeof log, nullptr, log);
    ReportFailure(E_FAIL, "OpenGL shader compilation", log);
    glDeleteShader(shader);
    return 0;
  }
  return shader;
}

GLuint LinkGlsl(GLuint vertex, GLuint fragment) {
  GLuint program = glCreateProgram();
  glAttachShader(program, vertex);
  glAttachShader(program, fragment);
  glLinkProgram(program);
  GLint ok = 0;
  glGetProgramiv(program, GL_LINK_STATUS, &ok);
  if (ok) return program;
  char log[1024] = {};
  glGetProgramInfoLog(program, sizeof log, nullptr, log);
  ReportFailure(E_FAIL, "OpenGL program link", log);
  glDeleteProgram(program);
  return 0;
}

std::string GlProgramCache::VertexSource(const ProgramKey& key) {
  std::string source = "#version 330 core\n";
  source += "layout(location = 0) in vec4 inPosition;\n";
  if (key.input.hasDiffuse) source += "layout(location = 1) in vec4 inDiffuse;\n";
  if (key.input.hasSpecular) source += "layout(location = 2) in vec4 inSpecular;\n";
  for (UINT set = 0; set < key.input.texCoordSets; ++set) {
    source += FormatString("layout(location = %u) in vec4 inTexCoord%u;\n", kTexCoordLocation + set, set);
  }
  source += "uniform vec4 uViewport;\n";
  const char* interpolation = key.flat ? "flat " : "";
  source += FormatString("%sout vec4 vDiffuse;\n%sout vec4 vSpecular;\n", interpolation, interpolation);
  for (UINT set = 0; set < key.input.texCoordSets; ++set) {
    source += FormatString("out %s vTexCoord%u;\n", VectorType(CoordinateComponents(key, set)), set);
  }
  source += "void main() {\n";
  if (key.input.position == PositionKind::Transformed) {
    // Screen-space vertices: pixel centres lie on integer coordinates, rows run downwards (as
    // they are stored), and 1/rhw restores w for perspective-correct interpolation.
    source +=
        "  vec2 ndc = (inPosition.xy + vec2(0.5) - uViewport.xy) / uViewport.zw * 2.0 - vec2(1.0);\n"
        "  float w = inPosition.w == 0.0 ? 1.0 : 1.0 / inPosition.w;\n"
        "  gl_Position = vec4(ndc * w, (inPosition.z * 2.0 - 1.0) * w, w);\n";
  } else {
    // With every transform the identity, positions are clip coordinates; Direct3D's viewport
    // puts pixel centres half a pixel off OpenGL's and its y axis points up the screen.
    source +=
        "  vec4 p = inPosition;\n"
        "  gl_Position = vec4(p.x + p.w / uViewport.z, -p.y + p.w / uViewport.w, p.z * 2.0 - p.w, p.w);\n";
  }
  std::string diffuse = key.input.hasDiffuse ? "inDiffuse" : "vec4(1.0)";
  if (key.lighting) {
    // Lit without lights or material: only the diffuse alpha survives.
    source += "  vDiffuse = vec4(0.0, 0.0, 0.0, " + diffuse + ".a);\n  vSpecular = vec4(0.0);\n";
  } else {
    source += "  vDiffuse = " + diffuse + ";\n";
    source += std::string("  vSpecular = ") + (key.input.hasSpecular ? "inSpecular" : "vec4(0.0)") + ";\n";
  }
  static const char* kSwizzles[] = {"", "", ".xy", ".xyz", ""};
  for (UINT set = 0; set < key.input.texCoordSets; ++set) {
    source += FormatString("  vTexCoord%u = inTexCoord%u%s;\n", set, set, kSwizzles[CoordinateComponents(key, set)]);
  }
  source += "}\n";
  return source;
}

std::string GlProgramCache::FragmentSource(const ProgramKey& key) {
  // Only inputs the stages read are declared: every interpolated value costs per pixel.
  bool usesSpecular = key.specularAdd != 0;
  std::array<bool, 8> usesSet{};
  for (UINT stage = 0; stage < key.stageCount; ++stage) {
    const StageKey& s = key.stages[stage];
    for (std::uint8_t argument : {s.colorArg0, s.colorArg1, s.colorArg2, s.alphaArg0, s.alphaArg1, s.alphaArg2}) {
      usesSpecular |= (argument & D3DTA_SELECTMASK) == D3DTA_SPECULAR;
    }
    if (UsesTexture(s) && s.texCoordSet < key.input.texCoordSets) usesSet[s.texCoordSet] = true;
  }
  std::string source = "#version 330 core\n";
  const char* interpolation = key.flat ? "flat " : "";
  source += FormatString("%sin vec4 vDiffuse;\n", interpolation);
  if (usesSpecular) source += FormatString("%sin vec4 vSpecular;\n", interpolation);
  for (UINT set = 0; set < key.input.texCoordSets; ++set) {
    if (usesSet[set]) source += FormatString("in %s vTexCoord%u;\n", VectorType(CoordinateComponents(key, set)), set);
  }
  source += "uniform vec4 uTextureFactor;\nuniform float uAlphaReference;\nuniform vec4 uStageConstant[8];\n";
  for (UINT stage = 0; stage < key.stageCount; ++stage) {
    switch (static_cast<TextureKind>(key.stages[stage].texture)) {
      case TextureKind::Flat: source += FormatString("uniform sampler2D sStage%u;\n", stage); break;
      case TextureKind::Cube: source += FormatString("uniform samplerCube sStage%u;\n", stage); break;
      case TextureKind::Volume: source += FormatString("uniform sampler3D sStage%u;\n", stage); break;
      case TextureKind::None: break;
    }
  }
  source += "out vec4 fragColor;\nvoid main() {\n";
  source += "  vec4 diffuse = vDiffuse;\n  vec4 current = diffuse;\n";
  source += usesSpecular ? "  vec4 specular = vSpecular;\n" : "  vec4 specular = vec4(0.0);\n";
  source += "  vec4 temp = vec4(0.0);\n";
  for (UINT stage = 0; stage < key.stageCount; ++stage) {
    const StageKey& s = key.stages[stage];
    if (UsesTexture(s)) {
      // Components the vertices do not give read as 0 (w as 1).
      std::string coordinates = std::string("vec4(0.0, 0.0, 0.0, 1.0)");
      if (key.pointSprite) {
        coordinates = "vec4(gl_PointCoord, 0.0, 1.0)";
      } else if (s.texCoordSet < key.input.texCoordSets) {
        UINT components = CoordinateComponents(key, s.texCoordSet);
        coordinates = FormatString("vTexCoord%u", s.texCoordSet);
        if (components == 2) coordinates = "vec4(" + coordinates + ", 0.0, 1.0)";
        if (components == 3) coordinates = "vec4(" + coordinates + ", 1.0)";
      }
      switch (static_cast<TextureKind>(s.texture)) {
        case TextureKind::Flat:
          source += FormatString("  vec4 texel%u = texture(sStage%u, %s.xy);\n", stage, stage, coordinates.c_str());
          break;
        case TextureKind::Cube:
        case TextureKind::Volume:
          source += FormatString("  vec4 texel%u = texture(sStage%u, %s.xyz);\n", stage, stage, coordinates.c_str());
          break;
        case TextureKind::None:
          source += FormatString("  vec4 texel%u = vec4(0.0, 0.0, 0.0, 1.0);\n", stage);  // nothing bound
          break;
      }
    }
    std::string color = Operation(s.colorOp, Argument(s.colorArg0, stage), Argument(s.colorArg1, stage),
                                  Argument(s.colorArg2, stage), stage);
    // A dot product goes to every channel, alpha included, whatever the alpha operation.
    std::string alpha = s.colorOp == D3DTOP_DOTPRODUCT3 ? color
                        : s.alphaOp == D3DTOP_DISABLE
                            ? std::string("current")
                            : Operation(s.alphaOp, Argument(s.alphaArg0, stage), Argument(s.alphaArg1, stage),
                                        Argument(s.alphaArg2, stage), stage);
    const char* target = s.resultTemp ? "temp" : "current";
    source += FormatString("  %s = clamp(vec4((%s).rgb, (%s).a), 0.0, 1.0);\n", target, color.c_str(), alpha.c_str());
  }
  if (key.specularAdd) source += "  current.rgb = clamp(current.rgb + specular.rgb, 0.0, 1.0);\n";
  if (key.alphaFunc) {
    static const char* kCompare[] = {"", "false", "a < r", "a == r", "a <= r", "a > r", "a != r", "a >= r", "true"};
    const char* compare = key.alphaFunc <= D3DCMP_ALWAYS ? kCompare[key.alphaFunc] : "true";
    source += FormatString(
        "  { float a = floor(current.a * 255.0 + 0.5); float r = uAlphaReference;\n"
        "    if (!(%s)) discard; }\n",
        compare);
  }
  source += "  fragColor = current;\n}\n";
  return source;
}

GlProgramCache::~GlProgramCache() {
  for (auto& [key, program] : programs_) glDeleteProgram(program.name);
}

const GlProgram* GlProgramCache::Find(const ProgramKey& key) {
  if (auto found = programs_.find(key); found != programs_.end()) return found->second.name ? &found->second : nullptr;
  GlProgram program;
  GLuint vertex = CompileGlsl(GL_VERTEX_SHADER, VertexSource(key));
  GLuint fragment = vertex ? CompileGlsl(GL_FRAGMENT_SHADER, FragmentSource(key)) : 0;
  if (vertex && fragment) program.name = LinkGlsl(vertex, fragment);
  if (vertex) glDeleteShader(vertex);
  if (fragment) glDeleteShader(fragment);
  if (program.name) {
    program.viewport = glGetUniformLocation(program.name, "uViewport");
    program.textureFactor = glGetUniformLocation(program.name, "uTextureFactor");
    program.alphaReference = glGetUniformLocation(program.name, "uAlphaReference");
    glUseProgram(program.name);
    for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
      program.stageConstants[stage] =
          glGetUniformLocation(program.name, FormatString("uStageConstant[%u]", stage).c_str());
      program.samplers[stage] = stage < key.stageCount && UsesTexture(key.stages[stage])
                                    ? static_cast<TextureKind>(key.stages[stage].texture)
                                    : TextureKind::None;
      GLint sampler = glGetUniformLocation(program.name, FormatString("sStage%u", stage).c_str());
      if (sampler >= 0) glUniform1i(sampler, static_cast<GLint>(stage));
    }
  }
  auto [slot, inserted] = programs_.emplace(key, program);
  return slot->second.name ? &slot->second : nullptr;
}

}  // namespace rastro
