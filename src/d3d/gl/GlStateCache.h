// What the renderer last left in OpenGL's fixed state, so that setting a value it already has
// costs no GL call. Only the renderer's own context is ever described.
#pragma once

#include <epoxy/gl.h>

#include "d3d9types.h"

namespace rastro {

class GlStateCache {
 public:
  // GL_DEPTH_TEST, GL_BLEND, GL_CULL_FACE, GL_SCISSOR_TEST, GL_STENCIL_TEST or
  // GL_POLYGON_OFFSET_FILL.
  void SetEnabled(GLenum capability, bool enabled);
  bool Enabled(GLenum capability) const;

  void SetColorMask(DWORD mask);  // D3DCOLORWRITEENABLE bits
  void SetDepthMask(bool write);
  void SetStencilWriteMask(GLuint mask);
  void SetDepthFunc(GLenum func);
  void SetCullFace(GLenum face);
  void SetPolygonMode(GLenum mode);
  void SetViewport(const GLint box[4]);
  void SetDepthRange(float nearZ, float farZ);
  void SetScissorBox(const GLint box[4]);

 private:
  bool* Flag(GLenum capability);

  bool depthTest_ = false, blend_ = false, cull_ = false, scissor_ = false, stencil_ = false, polygonOffset_ = false;
  DWORD colorMask_ = 0xF;
  bool depthMask_ = true;
  GLuint stencilWriteMask_ = 0xFFFFFFFF;
  GLenum depthFunc_ = GL_LESS;
  GLenum cullFace_ = GL_BACK;
  GLenum polygonMode_ = GL_FILL;
  GLint viewport_[4] = {-1, -1, -1, -1};
  float depthRange_[2] = {0.0f, 1.0f};
  GLint scissorBox_[4] = {-1, -1, -1, -1};
};

}  // namespace rastro
