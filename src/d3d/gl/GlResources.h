// The OpenGL copies of a device's resources: textures and surfaces as GL textures, vertex
// buffers as GL buffers, uploaded from the device's memory when it changes and read back when
// the CPU needs what was drawn.
#pragma once

#include <epoxy/gl.h>

#include <cstdint>
#include <vector>

#include "GlFormats.h"
#include "GlObject.h"
#include "core/Resource.h"
#include "core/TextureCommon.h"

namespace rastro {

class GlPresenter;
class Surface;
class VertexBuffer;

// GL side of a surface the renderer draws into (or reads, or writes from the CPU).
struct GlSurfaceData final : RendererObject {
  GlPresenter* owner = nullptr;
  GlTextureName ownTexture;  // stand-alone surfaces only; levels use their texture's
  GLuint texture = 0;
  GLenum target = GL_TEXTURE_2D;  // or a cube face
  GLint level = 0;
  GlFormat format;
  UINT width = 0, height = 0;
  bool gpuNewer = false;  // drawn into since memory was last brought up to date
  ~GlSurfaceData() override;
};

// GL side of a texture: one GL texture holding every level.
struct GlTextureData final : RendererObject {
  GlPresenter* owner = nullptr;
  GlTextureName texture;
  GLenum target = GL_TEXTURE_2D;
  GlFormat format;
  std::uint64_t uploadedVersion = 0;         // the texture's content version last uploaded
  std::vector<std::uint64_t> uploadedParts;  // each face and level's, face-major
  bool allocated = false;
  GLint baseLevel = 0;  // the most detailed level sampling may use
  ~GlTextureData() override;
};

struct GlBufferData final : RendererObject {
  GlPresenter* owner = nullptr;
  GlBufferName buffer;
  std::uint64_t uploadedVersion = 0;
  ~GlBufferData() override;
};

class GlResources {
 public:
  // Uploads bind their texture on this unit, past every stage's, so stage bindings stay.
  static constexpr GLuint kUploadUnit = D3DMAXSAMPLERS;  // after every pixel sampler's
  // Bound to a texture target while a stage samples no texture: samples (0, 0, 0, 1).
  GLuint EmptyTexture(GLenum target);

  // Needs `presenter`'s context current.
  explicit GlResources(GlPresenter& presenter);

  // The GL copy of each object, made on first use; null for formats GL cannot hold.
  GlSurfaceData* SurfaceData(Surface& surface);
  GlTextureData* TextureData(TextureCommon& texture);
  GlBufferData* BufferData(VertexBuffer& buffer);
  // Brings a texture's GL copy up to date with its memory when it changed: the faces and
  // levels written since the last upload go up.
  void UpdateTexture(TextureCommon& texture, GlTextureData& data) {
    if (!data.allocated || data.uploadedVersion != texture.ContentVersion()) UploadTexture(texture, data);
  }
  void UploadTexture(TextureCommon& texture, GlTextureData& data);
  void UploadBuffer(VertexBuffer& buffer, GlBufferData& data);

  // Copies what was drawn into a surface to its memory.
  void ReadSurface(Surface& surface);
  // The CPU changed a surface's memory: copies it to the GL side.
  void SurfaceWritten(Surface& surface);
  void GenerateMipSubLevels(TextureCommon& texture);
  // Attaches a surface as colour attachment 0 of the read framebuffer, for blits.
  GLuint ReadFramebufferFor(const GlSurfaceData& surface);

 private:
  GlPresenter& presenter_;
  GlFramebufferName readFramebuffer_;
  GlTextureName empty2d_, emptyCube_, empty3d_;
};

}  // namespace rastro
