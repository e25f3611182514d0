#include "GlRenderer.h"

#include <algorithm>
#include <cstring>

#include "DebugOutput.h"
#include "GlEnums.h"
#include "Surface.h"
#include "core/Shader.h"
#include "core/TextureCommon.h"

namespace rastro {

namespace {

static_assert(GlResources::kUploadUnit < kFirstVertexSamplerUnit, "uploads keep a unit of their own");

// The texture unit of a binding: pixel samplers first, then the vertex samplers.
GLuint BindingUnit(UINT binding) {
  return binding < kPixelSamplerCount ? binding : kFirstVertexSamplerUnit + (binding - kPixelSamplerCount);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Creation and the swap chain

std::unique_ptr<Renderer> GlRenderer::Create(const RendererCreation& creation, HRESULT& result) {
  std::unique_ptr<GlRenderer> renderer(new GlRenderer());
  result = renderer->Initialise(creation);
  if (FAILED(result)) return nullptr;
  return renderer;
}

HRESULT GlRenderer::Initialise(const RendererCreation& creation) {
  if (HRESULT hr = presenter_.Open(creation); FAILED(hr)) return hr;
  resources_ = std::make_unique<GlResources>(presenter_);
  drawFramebuffer_.Generate();
  vertexArray_.Generate();
  for (GlSamplerName& sampler : samplers_) sampler.Generate();
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_.Get());
  glBindVertexArray(vertexArray_.Get());
  for (UINT binding = 0; binding < kTextureBindings; ++binding)
    glBindSampler(BindingUnit(binding), samplers_[binding].Get());
  glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
  glPixelStorei(GL_PACK_ALIGNMENT, 4);
  // Direct3D's flat shading takes the first vertex of a primitive.
  glProvokingVertex(GL_FIRST_VERTEX_CONVENTION);
  // A vertex without a diffuse colour is white to the programs that read one anyway.
  glVertexAttrib4f(kDiffuseLocation, 1.0f, 1.0f, 1.0f, 1.0f);
  glFrontFace(GL_CCW);
  // Rows are stored top-down, so GL's lower left is the top left of a Direct3D point sprite.
  glPointParameteri(GL_POINT_SPRITE_COORD_ORIGIN, GL_LOWER_LEFT);
  mirrorOnce_ = MirrorOnceSupported();
  glGetFloatv(GL_MAX_TEXTURE_LOD_BIAS, &maxLodBias_);
  maxPointSize_ = std::max(1.0f, creation.profile->caps.MaxPointSize);
  return D3D_OK;
}

GlRenderer::~GlRenderer() {
  if (!presenter_.Opened()) return;  // no context: no GL object was made
  // The GL objects below go before the presenter's context, with it current.
  MakeCurrent();
  programs_.reset();
  shaderPrograms_.reset();
}

HRESULT GlRenderer::AttachSwapChain(const D3DPRESENT_PARAMETERS& presentation, const SwapChainSurfaces& surfaces) {
  MakeCurrent();
  presentation_ = presentation;
  backBuffer_ = surfaces.backBuffer;
  GlFormat format;
  if (!LookupGlFormat(presentation.BackBufferFormat, format) || !format.renderable) return D3DERR_NOTAVAILABLE;
  presenter_.SetSwapInterval(presentation.PresentationInterval);
  colorTarget_ = depthTarget_ = nullptr;
  colorTargets_.fill(nullptr);
  targetMask_ = 0;
  program_ = nullptr;
  shaderProgram_ = nullptr;
  return D3D_OK;
}

// ---------------------------------------------------------------------------------------------
// State

void GlRenderer::ApplyTargets(DeviceState& state) {
  depthTarget_ = state.depthStencil ? resources_->SurfaceData(*state.depthStencil) : nullptr;
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_.Get());
  targetMask_ = 0;
  for (UINT index = 0; index < kMaxRenderTargets; ++index) {
    GlSurfaceData* target = state.renderTargets[index] ? resources_->SurfaceData(*state.renderTargets[index]) : nullptr;
    colorTargets_[index] = target;
    GLenum attachment = GL_COLOR_ATTACHMENT0 + index;
    if (target) {
      glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, attachment, target->target, target->texture, target->level);
      targetMask_ |= 1u << index;
    } else {
      glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, attachment, GL_TEXTURE_2D, 0, 0);
    }
  }
  colorTarget_ = colorTargets_[0];
  SetDrawBuffers(targetMask_);
  glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  if (depthTarget_) {
    GLenum attachment = depthTarget_->format.stencil ? GL_DEPTH_STENCIL_ATTACHMENT : GL_DEPTH_ATTACHMENT;
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, attachment, depthTarget_->target, depthTarget_->texture,
                           depthTarget_->level);
  }
  framebufferComplete_ = colorTarget_ && glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  if (colorTarget_ && !framebufferComplete_) {
    ReportFailure(D3DERR_DRIVERINTERNALERROR, "OpenGL framebuffer",
                  "the render target and depth buffer do not combine");
  }
}

void GlRenderer::SetDrawBuffers(UINT mask) {
  if (mask == drawBuffers_) return;
  drawBuffers_ = mask;
  GLenum buffers[kMaxRenderTargets];
  for (UINT index = 0; index < kMaxRenderTargets; ++index) {
    buffers[index] = (mask & (1u << index)) ? GL_COLOR_ATTACHMENT0 + index : GL_NONE;
  }
  glDrawBuffers(kMaxRenderTargets, buffers);
}

void GlRenderer::MarkTargetsWritten(UINT mask) {
  for (UINT index = 0; index < kMaxRenderTargets; ++index) {
    if ((mask & (1u << index)) && colorTargets_[index]) colorTargets_[index]->gpuNewer = true;
  }
}

// A vertex shader that writes a point size has it clamped to the render states' range; other
// draws take D3DRS_POINTSIZE. Both stay within what the adapter offers.
void GlRenderer::ApplyPointSize(const DeviceState& state) {
  const auto& rs = state.renderStates;
  float largest = std::clamp(BitsFloat(rs[D3DRS_POINTSIZE_MAX]), 1.0f, maxPointSize_);
  float smallest = std::clamp(BitsFloat(rs[D3DRS_POINTSIZE_MIN]), 1.0f, largest);
  bool fromShader = shaderProgram_ && shaderProgram_->pointSize >= 0;
  cache_.SetEnabled(GL_PROGRAM_POINT_SIZE, fromShader);
  if (fromShader) {
    glUniform2f(shaderProgram_->pointSize, smallest, largest);
  } else {
    glPointSize(std::clamp(BitsFloat(rs[D3DRS_POINTSIZE]), smallest, largest));
  }
}

void GlRenderer::ApplyScissor(const DeviceState& state) {
  bool enabled = state.renderStates[D3DRS_SCISSORTESTENABLE] != 0;
  cache_.SetEnabled(GL_SCISSOR_TEST, enabled);
  if (!enabled) return;
  const RECT& r = state.scissor;
  GLint box[4] = {r.left, r.top, std::max<LONG>(r.right - r.left, 0), std::max<LONG>(r.bottom - r.top, 0)};
  cache_.SetScissorBox(box);
}

void GlRenderer::ApplyRenderStates(const DeviceState& state) {
  const auto& rs = state.renderStates;
  bool depthOn = rs[D3DRS_ZENABLE] != D3DZB_FALSE && depthTarget_;
  cache_.SetEnabled(GL_DEPTH_TEST, depthOn);
  cache_.SetDepthMask(rs[D3DRS_ZWRITEENABLE] != 0);
  GLenum depthFunc = CompareFunction(rs[D3DRS_ZFUNC]);
  cache_.SetDepthFunc(depthFunc);
  cache_.SetColorMask(rs[D3DRS_COLORWRITEENABLE] & 0xF);

  // Culling: rows are stored top-down, so a face Direct3D sees clockwise is counter-clockwise
  // to OpenGL. With GL_CCW as front, D3DCULL_CCW culls GL's back faces.
  DWORD cull = rs[D3DRS_CULLMODE];
  cache_.SetEnabled(GL_CULL_FACE, cull == D3DCULL_CW || cull == D3DCULL_CCW);
  GLenum face = cull == D3DCULL_CW ? GL_FRONT : GL_BACK;
  if (cache_.Enabled(GL_CULL_FACE)) cache_.SetCullFace(face);
  GLenum polygonMode = rs[D3DRS_FILLMODE] == D3DFILL_WIREFRAME ? GL_LINE
                       : rs[D3DRS_FILLMODE] == D3DFILL_POINT   ? GL_POINT
                                                               : GL_FILL;
  cache_.SetPolygonMode(polygonMode);

  bool blend = rs[D3DRS_ALPHABLENDENABLE] != 0;
  cache_.SetEnabled(GL_BLEND, blend);
  if (blend) {
    bool separate = rs[D3DRS_SEPARATEALPHABLENDENABLE] != 0;
    glBlendFuncSeparate(BlendFactor(rs[D3DRS_SRCBLEND]), BlendFactor(rs[D3DRS_DESTBLEND]),
                        BlendFactor(separate ? rs[D3DRS_SRCBLENDALPHA] : rs[D3DRS_SRCBLEND]),
                        BlendFactor(separate ? rs[D3DRS_DESTBLENDALPHA] : rs[D3DRS_DESTBLEND]));
    glBlendEquationSeparate(BlendEquation(rs[D3DRS_BLENDOP]),
                            BlendEquation(separate ? rs[D3DRS_BLENDOPALPHA] : rs[D3DRS_BLENDOP]));
    float factor[4];
    ColorFloats(rs[D3DRS_BLENDFACTOR], factor);
    glBlendColor(factor[0], factor[1], factor[2], factor[3]);
  }

  bool stencil = rs[D3DRS_STENCILENABLE] != 0 && depthTarget_ && depthTarget_->format.stencil;
  cache_.SetEnabled(GL_STENCIL_TEST, stencil);
  if (stencil) {
    auto ref = static_cast<GLint>(rs[D3DRS_STENCILREF]);
    glStencilFuncSeparate(GL_FRONT, CompareFunction(rs[D3DRS_STENCILFUNC]), ref, rs[D3DRS_STENCILMASK]);
    glStencilOpSeparate(GL_FRONT, StencilOperation(rs[D3DRS_STENCILFAIL]), StencilOperation(rs[D3DRS_STENCILZFAIL]),
                        StencilOperation(rs[D3DRS_STENCILPASS]));
    bool twoSided = rs[D3DRS_TWOSIDEDSTENCILMODE] != 0;
    glStencilFuncSeparate(GL_BACK, CompareFunction(rs[twoSided ? D3DRS_CCW_STENCILFUNC : D3DRS_STENCILFUNC]), ref,
                          rs[D3DRS_STENCILMASK]);
    glStencilOpSeparate(GL_BACK, StencilOperation(rs[twoSided ? D3DRS_CCW_STENCILFAIL : D3DRS_STENCILFAIL]),
                        StencilOperation(rs[twoSided ? D3DRS_CCW_STENCILZFAIL : D3DRS_STENCILZFAIL]),
                        StencilOperation(rs[twoSided ? D3DRS_CCW_STENCILPASS : D3DRS_STENCILPASS]));
  }
  cache_.SetStencilWriteMask(rs[D3DRS_STENCILWRITEMASK]);

  float bias = BitsFloat(rs[D3DRS_DEPTHBIAS]);
  float slope = BitsFloat(rs[D3DRS_SLOPESCALEDEPTHBIAS]);
  cache_.SetEnabled(GL_POLYGON_OFFSET_FILL, bias != 0.0f || slope != 0.0f);
  if (cache_.Enabled(GL_POLYGON_OFFSET_FILL)) glPolygonOffset(slope, bias * 16777216.0f);
}

void GlRenderer::ApplyTexturesAndSamplers(const DeviceState& state, bool samplersChanged, bool bindingsChanged) {
  for (UINT binding = 0; binding < kTextureBindings; ++binding) {
    const bool vertex = binding >= kPixelSamplerCount;
    const UINT slot =
        vertex ? static_cast<UINT>(SamplerSlot(D3DVERTEXTEXTURESAMPLER0 + binding - kPixelSamplerCount)) : binding;
    const GLuint unit = BindingUnit(binding);
    TextureKind kind = TextureKind::None;
    if (vertex) {
      if (shaderProgram_) kind = shaderProgram_->vertexSamplers[binding - kPixelSamplerCount];
    } else if (program_) {
      kind = program_->samplers[binding];
    }
    TextureCommon* texture = kind != TextureKind::None ? state.textures[slot] : nullptr;
    GlTextureData* data = texture ? resources_->TextureData(*texture) : nullptr;
    // Uploads use their own texture unit, so the stages' bindings stay.
    if (data) resources_->UpdateTexture(*texture, *data);
    bool rebind = bindingsChanged || stageTextures_[binding] != texture || stageTextureData_[binding] != data;
    if (rebind && kind != TextureKind::None) {
      glActiveTexture(GL_TEXTURE0 + unit);
      if (data) {
        glBindTexture(data->target, data->texture.Get());
      } else {
        GLenum target = kind == TextureKind::Cube     ? GL_TEXTURE_CUBE_MAP
                        : kind == TextureKind::Volume ? GL_TEXTURE_3D
                                                      : GL_TEXTURE_2D;
        glBindTexture(target, resources_->EmptyTexture(target));
      }
    }
    stageTextures_[binding] = texture;
    stageTextureData_[binding] = data;
    if (!data) continue;
    const auto& ss = state.samplerStates[slot];
    // The most detailed level sampling may use: the sampler's and the texture's limits.
    DWORD top = std::max<DWORD>(ss[D3DSAMP_MAXMIPLEVEL], texture->LOD());
    auto baseLevel = static_cast<GLint>(std::min<DWORD>(top, texture->Levels() - 1));
    if (data->baseLevel != baseLevel) {
      glActiveTexture(GL_TEXTURE0 + unit);
      glTexParameteri(data->target, GL_TEXTURE_BASE_LEVEL, baseLevel);
      data->baseLevel = baseLevel;
    }
    if (samplersChanged || rebind) ApplySampler(samplers_[binding].Get(), ss, *texture);
  }
}

void GlRenderer::ApplySampler(GLuint sampler, const std::array<DWORD, kSamplerStateCount>& ss,
                              const TextureCommon& texture) {
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_S, static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSU], mirrorOnce_)));
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_T, static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSV], mirrorOnce_)));
  glSamplerParameteri(sampler, GL_TEXTURE_WRAP_R, static_cast<GLint>(AddressMode(ss[D3DSAMP_ADDRESSW], mirrorOnce_)));
  float border[4];
  ColorFloats(ss[D3DSAMP_BORDERCOLOR], border);
  glSamplerParameterfv(sampler, GL_TEXTURE_BORDER_COLOR, border);
  // Anisotropic and the quad filters are offered by no cap; they filter linearly.
  bool magLinear = ss[D3DSAMP_MAGFILTER] >= D3DTEXF_LINEAR;
  bool minLinear = ss[D3DSAMP_MINFILTER] >= D3DTEXF_LINEAR;
  DWORD mip = ss[D3DSAMP_MIPFILTER];
  bool chain = texture.Levels() > 1 || (texture.Usage() & D3DUSAGE_AUTOGENMIPMAP);
  GLenum minFilter;
  if (mip == D3DTEXF_NONE || !chain) {
    minFilter = minLinear ? GL_LINEAR : GL_NEAREST;
  } else if (mip == D3DTEXF_POINT) {
    minFilter = minLinear ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST;
  } else {
    minFilter = minLinear ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR;
  }
  glSamplerParameteri(sampler, GL_TEXTURE_MAG_FILTER, magLinear ? GL_LINEAR : GL_NEAREST);
  glSamplerParameteri(sampler, GL_TEXTURE_MIN_FILTER, static_cast<GLint>(minFilter));
  glSamplerParameterf(sampler, GL_TEXTURE_LOD_BIAS,
                      std::clamp(BitsFloat(ss[D3DSAMP_MIPMAPLODBIAS]), -maxLodBias_, maxLodBias_));
}

bool GlRenderer::ApplyProgram(const DeviceState& state) {
  key_ = FixedFunctionKey(state, vertexInput_.Key());
  key_.pointSprite = pointSprites_ ? 1 : 0;
  // Screen-space vertices pass no vertex shader, even when one is set.
  bool vertexShaderRuns = state.vertexShader && !state.vertexLayout.pretransformed;
  shaderProgram_ = nullptr;
  bool shaderInputs = false;
  if (vertexShaderRuns || state.pixelShader) {
    shaderKey_.vertexTokens.clear();
    shaderKey_.pixelTokens.clear();
    if (vertexShaderRuns) shaderKey_.vertexTokens = state.vertexShader->Tokens();
    if (state.pixelShader) shaderKey_.pixelTokens = state.pixelShader->Tokens();
    shaderKey_.fixedFunction = key_;
    // Colours arrive in [0, 1] from a vertex shader (which clamps them) or from unsigned
    // normalised vertex data; float colours may not.
    shaderKey_.colorsInRange = vertexShaderRuns;
    if (!vertexShaderRuns) {
      shaderKey_.colorsInRange = true;
      for (const VertexElement& element : state.vertexLayout.elements) {
        bool normalised = element.type == D3DDECLTYPE_D3DCOLOR || element.type == D3DDECLTYPE_UBYTE4N ||
                          element.type == D3DDECLTYPE_USHORT2N || element.type == D3DDECLTYPE_USHORT4N;
        if (element.usage == D3DDECLUSAGE_COLOR && !normalised) shaderKey_.colorsInRange = false;
      }
    }
    shaderKey_.normalisedTarget =
        colorTarget_ && colorTarget_->format.type != GL_FLOAT && colorTarget_->format.type != GL_HALF_FLOAT;
    for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
      const TextureCommon* texture = state.textures[stage];
      shaderKey_.stageTextures[stage] = !texture                                    ? TextureKind::None
                                        : texture->Type() == D3DRTYPE_CUBETEXTURE   ? TextureKind::Cube
                                        : texture->Type() == D3DRTYPE_VOLUMETEXTURE ? TextureKind::Volume
                                                                                    : TextureKind::Flat;
    }
    shaderProgram_ = shaderPrograms_->Find(shaderKey_);
    program_ = shaderProgram_ ? &shaderProgram_->base : nullptr;
    if (shaderProgram_ && vertexShaderRuns) {
      vertexInput_.UseShaderInputs(state, shaderProgram_->vertexInputs);
      shaderInputs = true;
    }
  } else {
    program_ = programs_->Find(key_);
  }
  if (!program_) return shaderInputs;
  const auto& rs = state.renderStates;
  glUseProgram(program_->name);
  glUniform4f(program_->viewport, static_cast<float>(state.viewport.X), static_cast<float>(state.viewport.Y),
              static_cast<float>(state.viewport.Width), static_cast<float>(state.viewport.Height));
  float factor[4];
  ColorFloats(rs[D3DRS_TEXTUREFACTOR], factor);
  glUniform4fv(program_->textureFactor, 1, factor);
  glUniform1f(program_->alphaReference, static_cast<float>(rs[D3DRS_ALPHAREF] & 0xFF));
  for (UINT stage = 0; stage < key_.stageCount; ++stage) {
    if (program_->stageConstants[stage] < 0) continue;
    float constant[4];
    ColorFloats(state.stageStates[stage][D3DTSS_CONSTANT], constant);
    glUniform4fv(program_->stageConstants[stage], 1, constant);
  }
  if (shaderProgram_) ApplyShaderConstants(state);
  ApplyPointSize(state);
  return shaderInputs;
}

void GlRenderer::ApplyShaderConstants(const DeviceState& state) {
  const GlShaderProgram& p = *shaderProgram_;
  if (p.vertexFloats >= 0) {
    GLsizei count = static_cast<GLsizei>(std::min<UINT>(p.vertexFloatCount, kVertexFloatConstants));
    glUniform4fv(p.vertexFloats, count, state.vertexFloatConstants[0].data());
  }
  if (p.pixelFloats >= 0) {
    GLsizei count = static_cast<GLsizei>(std::min<UINT>(p.pixelFloatCount, kPixelFloatConstants));
    glUniform4fv(p.pixelFloats, count, state.pixelFloatConstants[0].data());
  }
  if (p.vertexInts >= 0) glUniform4iv(p.vertexInts, kIntConstants, state.vertexIntConstants[0].data());
  if (p.pixelInts >= 0) glUniform4iv(p.pixelInts, kIntConstants, state.pixelIntConstants[0].data());
  if (p.vertexBools >= 0)
    glUniform1iv(p.vertexBools, kBoolConstants, reinterpret_cast<const GLint*>(state.vertexBoolConstants.data()));
  if (p.pixelBools >= 0)
    glUniform1iv(p.pixelBools, kBoolConstants, reinterpret_cast<const GLint*>(state.pixelBoolConstants.data()));
  if (p.bumpEnvironment >= 0 || p.bumpLuminance >= 0) {
    float matrices[D3DMAXTEXTURESTAGES][4];
    float luminance[D3DMAXTEXTURESTAGES][2];
    for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
      const auto& ts = state.stageStates[stage];
      matrices[stage][0] = BitsFloat(ts[D3DTSS_BUMPENVMAT00]);
      matrices[stage][1] = BitsFloat(ts[D3DTSS_BUMPENVMAT01]);
      matrices[stage][2] = BitsFloat(ts[D3DTSS_BUMPENVMAT10]);
      matrices[stage][3] = BitsFloat(ts[D3DTSS_BUMPENVMAT11]);
      luminance[stage][0] = BitsFloat(ts[D3DTSS_BUMPENVLSCALE]);
      luminance[stage][1] = BitsFloat(ts[D3DTSS_BUMPENVLOFFSET]);
    }
    glUniform4fv(p.bumpEnvironment, D3DMAXTEXTURESTAGES, matrices[0]);
    glUniform2fv(p.bumpLuminance, D3DMAXTEXTURESTAGES, luminance[0]);
  }
}

void GlRenderer::ApplyState(DeviceState& state) {
  std::uint32_t dirty = state.dirty;
  state.dirty = 0;
  if (dirty & kDirtyTargets) ApplyTargets(state);
  if (dirty & (kDirtyViewport | kDirtyTargets)) {
    const D3DVIEWPORT9& v = state.viewport;
    GLint box[4] = {static_cast<GLint>(v.X), static_cast<GLint>(v.Y), static_cast<GLint>(v.Width),
                    static_cast<GLint>(v.Height)};
    cache_.SetViewport(box);
    cache_.SetDepthRange(v.MinZ, v.MaxZ);
  }
  if (dirty & (kDirtyRenderStates | kDirtyTargets)) ApplyRenderStates(state);
  if (dirty & (kDirtyRenderStates | kDirtyScissor | kDirtyTargets)) ApplyScissor(state);
  if (dirty & (kDirtyVertexFormat | kDirtyShaders)) vertexInput_.Describe(state);
  bool programChanged = false;
  if (dirty & (kDirtyRenderStates | kDirtyStageStates | kDirtyTextures | kDirtyVertexFormat | kDirtyViewport |
               kDirtyTargets | kDirtyShaders)) {
    ApplyProgram(state);
    programChanged = true;
  } else if ((dirty & kDirtyConstants) && shaderProgram_) {
    ApplyShaderConstants(state);
  }
  if (programChanged || (dirty & kDirtyStreams)) vertexInput_.BindStreams(state, *resources_, vertexArray_.Get());
  ApplyTexturesAndSamplers(state, (dirty & (kDirtySamplerStates | kDirtyTextures)) != 0, (dirty & kDirtyTextures) != 0);
}

// ---------------------------------------------------------------------------------------------
// Drawing

void GlRenderer::Clear(DeviceState& state, const std::vector<D3DRECT>& rects, bool whole, DWORD flags, D3DCOLOR color,
                       float z, DWORD stencil) {
  MakeCurrent();
  if (state.dirty & kDirtyTargets) {
    ApplyTargets(state);
    state.dirty &= ~kDirtyTargets;
    state.dirty |= kDirtyRenderStates;  // depth and stencil enables follow the new targets
  }
  if (!framebufferComplete_) return;
  GLbitfield mask = 0;
  if (flags & D3DCLEAR_TARGET) {
    float rgba[4];
    ColorFloats(color, rgba);
    glClearColor(rgba[0], rgba[1], rgba[2], rgba[3]);
    cache_.SetColorMask(0xF);
    mask |= GL_COLOR_BUFFER_BIT;
    // Every render target set is cleared.
    SetDrawBuffers(targetMask_);
    MarkTargetsWritten(targetMask_);
  }
  if ((flags & D3DCLEAR_ZBUFFER) && depthTarget_) {
    glClearDepth(z);
    cache_.SetDepthMask(true);
    mask |= GL_DEPTH_BUFFER_BIT;
    depthTarget_->gpuNewer = true;
  }
  if ((flags & D3DCLEAR_STENCIL) && depthTarget_ && depthTarget_->format.stencil) {
    glClearStencil(static_cast<GLint>(stencil & 0xFF));
    cache_.SetStencilWriteMask(0xFF);
    mask |= GL_STENCIL_BUFFER_BIT;
    depthTarget_->gpuNewer = true;
  }
  // Clears ignore the write masks; the masks of the state come back at the next draw.
  masksOverridden_ = true;
  if (whole) {
    cache_.SetEnabled(GL_SCISSOR_TEST, false);
    glClear(mask);
  } else {
    cache_.SetEnabled(GL_SCISSOR_TEST, true);
    for (const D3DRECT& r : rects) {
      GLint box[4] = {r.x1, r.y1, r.x2 - r.x1, r.y2 - r.y1};
      cache_.SetScissorBox(box);
      glClear(mask);
    }
  }
}

void GlRenderer::Draw(DeviceState& state, D3DPRIMITIVETYPE type, UINT startVertex, UINT primitiveCount) {
  MakeCurrent();
  bool sprites = type == D3DPT_POINTLIST && state.renderStates[D3DRS_POINTSPRITEENABLE] != 0;
  if (sprites != pointSprites_) {
    pointSprites_ = sprites;
    state.dirty |= kDirtyRenderStates;  // the programs read texture coordinates differently
  }
  if (state.dirty) {
    ApplyState(state);
  } else {
    // Contents that changed under an unchanged binding still need uploading.
    ApplyTexturesAndSamplers(state, false, false);
  }
  if (masksOverridden_) {
    masksOverridden_ = false;
    cache_.SetColorMask(state.renderStates[D3DRS_COLORWRITEENABLE] & 0xF);
    cache_.SetDepthMask(state.renderStates[D3DRS_ZWRITEENABLE] != 0);
    cache_.SetStencilWriteMask(state.renderStates[D3DRS_STENCILWRITEMASK]);
    ApplyScissor(state);
  }
  if (!program_ || !framebufferComplete_ || key_.input.position == PositionKind::None) return;
  vertexInput_.UploadChangedBuffers(*resources_);
  // Render targets the pixel shader writes no colour for keep what they held.
  UINT written = targetMask_ & (shaderProgram_ ? shaderProgram_->colorOutputs : 1u);
  SetDrawBuffers(written);
  glDrawArrays(PrimitiveMode(type), static_cast<GLint>(startVertex),
               static_cast<GLsizei>(PrimitiveVertexCount(type, primitiveCount)));
  MarkTargetsWritten(written);
  if (depthTarget_) depthTarget_->gpuNewer = true;
}

HRESULT GlRenderer::Present() {
  MakeCurrent();
  if (presenter_.Visible() && backBuffer_) {
    if (GlSurfaceData* data = resources_->SurfaceData(*backBuffer_)) {
      bool scissor = cache_.Enabled(GL_SCISSOR_TEST);
      cache_.SetEnabled(GL_SCISSOR_TEST, false);
      presenter_.Show(resources_->ReadFramebufferFor(*data), data->width, data->height);
      glBindFramebuffer(GL_DRAW_FRAMEBUFFER, drawFramebuffer_.Get());
      cache_.SetEnabled(GL_SCISSOR_TEST, scissor);
    }
  }
  presenter_.EndFrame();
  return D3D_OK;
}

}  // namespace rastro
