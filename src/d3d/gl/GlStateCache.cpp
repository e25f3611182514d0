#include "GlStateCache.h"

#include <cstring>

namespace rastro {

bool* GlStateCache::Flag(GLenum capability) {
  switch (capability) {
    case GL_DEPTH_TEST: return &depthTest_;
    case GL_BLEND: return &blend_;
    case GL_CULL_FACE: return &cull_;
    case GL_SCISSOR_TEST: return &scissor_;
    case GL_STENCIL_TEST: return &stencil_;
    case GL_POLYGON_OFFSET_FILL: return &polygonOffset_;
    default: return nullptr;
  }
}

void GlStateCache::SetEnabled(GLenum capability, bool enabled) {
  bool* flag = Flag(capability);
  if (flag && *flag == enabled) return;
  if (flag) *flag = enabled;
  if (enabled) {
    glEnable(capability);
  } else {
    glDisable(capability);
  }
}

bool GlStateCache::Enabled(GLenum capability) const {
  const bool* flag = const_cast<GlStateCache*>(this)->Flag(capability);
  return flag && *flag;
}

void GlStateCache::SetColorMask(DWORD mask) {
  if (colorMask_ == mask) return;
  colorMask_ = mask;
  glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
}

void GlStateCache::SetDepthMask(bool write) {
  if (depthMask_ == write) return;
  depthMask_ = write;
  glDepthMask(write ? GL_TRUE : GL_FALSE);
}

void GlStateCache::SetStencilWriteMask(GLuint mask) {
  if (stencilWriteMask_ == mask) return;
  stencilWriteMask_ = mask;
  glStencilMask(mask);
}

void GlStateCache::SetDepthFunc(GLenum func) {
  if (depthFunc_ == func) return;
  depthFunc_ = func;
  glDepthFunc(func);
}

void GlStateCache::SetCullFace(GLenum face) {
  if (cullFace_ == face) return;
  cullFace_ = face;
  glCullFace(face);
}

void GlStateCache::SetPolygonMode(GLenum mode) {
  if (polygonMode_ == mode) return;
  polygonMode_ = mode;
  glPolygonMode(GL_FRONT_AND_BACK, mode);
}

void GlStateCache::SetViewport(const GLint box[4]) {
  if (std::memcmp(box, viewport_, sizeof viewport_) == 0) return;
  std::memcpy(viewport_, box, sizeof viewport_);
  glViewport(box[0], box[1], box[2], box[3]);
}

void GlStateCache::SetDepthRange(float nearZ, float farZ) {
  if (depthRange_[0] == nearZ && depthRange_[1] == farZ) return;
  depthRange_[0] = nearZ;
  depthRange_[1] = farZ;
  glDepthRange(nearZ, farZ);
}

void GlStateCache::SetScissorBox(const GLint box[4]) {
  if (std::memcmp(box, scissorBox_, sizeof scissorBox_) == 0) return;
  std::memcpy(scissorBox_, box, sizeof scissorBox_);
  glScissor(box[0], box[1], box[2], box[3]);
}

}  // namespace rastro
