#include "GlShaderProgram.h"

#include <cstdio>

#include "DebugOutput.h"

namespace rastro {

namespace {

std::uint64_t Fnv(std::uint64_t hash, const void* data, size_t bytes) {
  const auto* p = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < bytes; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  return hash;
}

ShaderSamplerKind SamplerKindOf(TextureKind kind) {
  switch (kind) {
    case TextureKind::Cube: return ShaderSamplerKind::Cube;
    case TextureKind::Volume: return ShaderSamplerKind::Volume;
    default: return ShaderSamplerKind::Flat;
  }
}

TextureKind TextureKindOf(ShaderSamplerKind kind) {
  switch (kind) {
    case ShaderSamplerKind::Flat: return TextureKind::Flat;
    case ShaderSamplerKind::Cube: return TextureKind::Cube;
    case ShaderSamplerKind::Volume: return TextureKind::Volume;
    default: return TextureKind::None;
  }
}

bool Translate(const std::vector<DWORD>& tokens, const ShaderTranslationOptions& options, GlslShader& out) {
  DecodedShader decoded;
  std::string problem;
  if (FAILED(DecodeShader(tokens.data(), tokens.size(), decoded, &problem)) ||
      FAILED(TranslateShader(decoded, options, out, &problem))) {
    ReportFailure(E_FAIL, "shader translation", problem.c_str());
    return false;
  }
  return true;
}

}  // namespace

size_t ShaderProgramKeyHash::operator()(const ShaderProgramKey& key) const {
  std::uint64_t hash = 1469598103934665603ull;
  hash = Fnv(hash, key.vertexTokens.data(), key.vertexTokens.size() * sizeof(DWORD));
  hash = Fnv(hash, "|", 1);
  hash = Fnv(hash, key.pixelTokens.data(), key.pixelTokens.size() * sizeof(DWORD));
  hash ^= ProgramKeyHash()(key.fixedFunction);
  hash = Fnv(hash, key.stageTextures.data(), sizeof key.stageTextures);
  hash = hash * 31 + (key.colorsInRange ? 1 : 0) * 2 + (key.normalisedTarget ? 1 : 0);
  return static_cast<size_t>(hash);
}

bool GlShaderProgramCache::Sources(const ShaderProgramKey& key, std::string& vertex, std::string& fragment,
                                   GlslShader& vertexShader, GlslShader& pixelShader) {
  ShaderTranslationOptions options;
  options.flatColors = key.fixedFunction.flat != 0;
  options.alphaFunc = key.fixedFunction.alphaFunc;
  options.clampColorInputs = !key.colorsInRange;
  options.targetClampsColor = key.normalisedTarget;
  options.pointSprite = key.fixedFunction.pointSprite != 0;
  for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage)
    options.stageTextures[stage] = SamplerKindOf(key.stageTextures[stage]);
  // The fixed-function side reads and writes every varying the shader side may use.
  ProgramKey fixedFunction = key.fixedFunction;
  fixedFunction.input.texCoordSets = 8;
  // ... as four-component vectors, the shader side's type for every texture coordinate.
  for (auto& size : fixedFunction.input.texCoordSizes) size = 4;
  if (key.vertexTokens.empty()) {
    vertex = GlProgramCache::VertexSource(fixedFunction);
  } else {
    if (!Translate(key.vertexTokens, options, vertexShader)) return false;
    vertex = vertexShader.source;
    // A ps_3_0 reads what this vertex shader passes on, by usage.
    options.vertexOutputs = vertexShader.outputs;
  }
  if (key.pixelTokens.empty()) {
    fixedFunction.input.hasDiffuse = fixedFunction.input.hasSpecular = 1;
    fragment = GlProgramCache::FragmentSource(fixedFunction);
  } else {
    if (!Translate(key.pixelTokens, options, pixelShader)) return false;
    fragment = pixelShader.source;
  }
  return true;
}

GlShaderProgramCache::~GlShaderProgramCache() {
  for (auto& [key, program] : programs_) {
    if (program) glDeleteProgram(program->base.name);
  }
  for (const auto* stages : {&vertexStages_, &fragmentStages_}) {
    for (const auto& [source, shader] : *stages) {
      if (shader) glDeleteShader(shader);
    }
  }
}

GLuint GlShaderProgramCache::Stage(GLenum kind, const std::string& source) {
  auto& stages = kind == GL_VERTEX_SHADER ? vertexStages_ : fragmentStages_;
  if (auto found = stages.find(source); found != stages.end()) return found->second;
  GLuint shader = CompileGlsl(kind, source);
  stages.emplace(source, shader);
  return shader;
}

void GlShaderProgramCache::Prepare(const std::vector<DWORD>& tokens) {
  if (tokens.empty()) return;
  ShaderTranslationOptions options;
  options.clampColorInputs = false;
  options.targetClampsColor = true;
  DecodedShader decoded;
  GlslShader shader;
  // A stream that does not translate is reported by the draw that needs it.
  if (FAILED(DecodeShader(tokens.data(), tokens.size(), decoded)) ||
      FAILED(TranslateShader(decoded, options, shader))) {
    return;
  }
  Stage(shader.pixel ? GL_FRAGMENT_SHADER : GL_VERTEX_SHADER, shader.source);
}

const GlShaderProgram* GlShaderProgramCache::Find(const ShaderProgramKey& key) {
  if (auto found = programs_.find(key); found != programs_.end()) return found->second.get();
  std::unique_ptr<GlShaderProgram> program;
  std::string vertexSource, fragmentSource;
  GlslShader vertexShader, pixelShader;
  if (Sources(key, vertexSource, fragmentSource, vertexShader, pixelShader)) {
    GLuint vertex = Stage(GL_VERTEX_SHADER, vertexSource);
    GLuint fragment = vertex ? Stage(GL_FRAGMENT_SHADER, fragmentSource) : 0;
    GLuint name = vertex && fragment ? LinkGlsl(vertex, fragment) : 0;
    if (name) {
      program = std::make_unique<GlShaderProgram>();
      GlProgram& base = program->base;
      base.name = name;
      base.viewport = glGetUniformLocation(name, "uViewport");
      base.textureFactor = glGetUniformLocation(name, "uTextureFactor");
      base.alphaReference = glGetUniformLocation(name, "uAlphaReference");
      program->vertexFloats = glGetUniformLocation(name, "vc");
      program->vertexInts = glGetUniformLocation(name, "vi");
      program->vertexBools = glGetUniformLocation(name, "vb");
      program->pixelFloats = glGetUniformLocation(name, "pc");
      program->pixelInts = glGetUniformLocation(name, "pi");
      program->pixelBools = glGetUniformLocation(name, "pb");
      program->vertexFloatCount = vertexShader.floatConstants;
      program->pixelFloatCount = pixelShader.floatConstants;
      program->bumpEnvironment = glGetUniformLocation(name, "uBumpEnv");
      program->bumpLuminance = glGetUniformLocation(name, "uBumpLuminance");
      program->vertexInputs = vertexShader.inputs;
      program->pointSize = vertexShader.pointSize ? glGetUniformLocation(name, "uPointSize") : -1;
      program->colorOutputs = key.pixelTokens.empty() ? 1u : pixelShader.colorOutputs;
      glUseProgram(name);
      char uniform[32];
      for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
        std::snprintf(uniform, sizeof uniform, "uStageConstant[%u]", stage);
        base.stageConstants[stage] = glGetUniformLocation(name, uniform);
      }
      for (UINT stage = 0; stage < kPixelSamplerCount; ++stage) {
        std::snprintf(uniform, sizeof uniform, key.pixelTokens.empty() ? "sStage%u" : "ps_s%u", stage);
        if (GLint sampler = glGetUniformLocation(name, uniform); sampler >= 0) {
          glUniform1i(sampler, static_cast<GLint>(stage));
          // The stage's texture is read: by the kind the shader declared, or the fixed stage's.
          base.samplers[stage] = !key.pixelTokens.empty() ? TextureKindOf(pixelShader.samplers[stage])
                                 : stage < D3DMAXTEXTURESTAGES
                                     ? static_cast<TextureKind>(key.fixedFunction.stages[stage].texture)
                                     : TextureKind::None;
        }
      }
      for (UINT sampler = 0; sampler < kVertexSamplerCount; ++sampler) {
        std::snprintf(uniform, sizeof uniform, "vs_s%u", sampler);
        if (GLint location = glGetUniformLocation(name, uniform); location >= 0) {
          glUniform1i(location, static_cast<GLint>(kFirstVertexSamplerUnit + sampler));
          program->vertexSamplers[sampler] = TextureKindOf(vertexShader.samplers[sampler]);
        }
      }
    }
  }
  auto [slot, inserted] = programs_.emplace(key, std::move(program));
  return slot->second.get();
}

}  // namespace rastro
