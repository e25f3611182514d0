#include "GlResources.h"

#include "GlPresenter.h"
#include "Surface.h"
#include "VertexBuffer.h"
#include "Volume.h"

namespace rastro {

GlSurfaceData::~GlSurfaceData() {
  if (ownTexture) owner->MakeCurrent();
}

GlTextureData::~GlTextureData() {
  if (texture) owner->MakeCurrent();
}

GlBufferData::~GlBufferData() {
  if (buffer) owner->MakeCurrent();
}

GlResources::GlResources(GlPresenter& presenter) : presenter_(presenter) { readFramebuffer_.Generate(); }

GlSurfaceData* GlResources::SurfaceData(Surface& surface) {
  if (auto* data = static_cast<GlSurfaceData*>(surface.RendererData())) return data;
  auto data = std::make_unique<GlSurfaceData>();
  data->owner = &presenter_;
  const D3DSURFACE_DESC& desc = surface.Desc();
  data->width = desc.Width;
  data->height = desc.Height;
  if (!LookupGlFormat(desc.Format, data->format)) return nullptr;
  presenter_.MakeCurrent();
  if (TextureCommon* container = surface.Texture()) {
    // A level of a texture: draw into the texture's own GL object.
    GlTextureData* texture = TextureData(*container);
    if (!texture) return nullptr;
    if (!texture->allocated) UploadTexture(*container, *texture);
    data->texture = texture->texture.Get();
    data->target = texture->target;
    data->level = static_cast<GLint>(surface.Level());
    if (texture->target == GL_TEXTURE_CUBE_MAP) data->target = GL_TEXTURE_CUBE_MAP_POSITIVE_X + surface.Face();
  } else {
    data->texture = data->ownTexture.Generate();
    glActiveTexture(GL_TEXTURE0 + kUploadUnit);
    glBindTexture(GL_TEXTURE_2D, data->texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    // Starts with what the memory holds, so both sides agree from the beginning.
    glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(data->format.internalFormat), static_cast<GLsizei>(desc.Width),
                 static_cast<GLsizei>(desc.Height), 0, data->format.format, data->format.type,
                 surface.Storage().Bytes());
  }
  GlSurfaceData* raw = data.get();
  surface.SetRendererData(std::move(data));
  return raw;
}

GlTextureData* GlResources::TextureData(TextureCommon& texture) {
  Resource& resource = texture.AsResource();
  if (auto* data = static_cast<GlTextureData*>(resource.RendererData())) return data;
  auto data = std::make_unique<GlTextureData>();
  data->owner = &presenter_;
  if (!LookupGlFormat(texture.Format(), data->format)) return nullptr;
  data->target = texture.Type() == D3DRTYPE_CUBETEXTURE     ? GL_TEXTURE_CUBE_MAP
                 : texture.Type() == D3DRTYPE_VOLUMETEXTURE ? GL_TEXTURE_3D
                                                            : GL_TEXTURE_2D;
  presenter_.MakeCurrent();
  data->texture.Generate();
  GlTextureData* raw = data.get();
  resource.SetRendererData(std::move(data));
  return raw;
}

void GlResources::UploadTexture(TextureCommon& texture, GlTextureData& data) {
  glActiveTexture(GL_TEXTURE0 + kUploadUnit);
  glBindTexture(data.target, data.texture.Get());
  const GlFormat& format = data.format;
  bool autoGen = texture.Usage() & D3DUSAGE_AUTOGENMIPMAP;
  if (!data.allocated) {
    glTexParameteri(data.target, GL_TEXTURE_BASE_LEVEL, 0);
    glTexParameteri(data.target, GL_TEXTURE_MAX_LEVEL, autoGen ? 1000 : static_cast<GLint>(texture.Levels()) - 1);
    glTexParameteriv(data.target, GL_TEXTURE_SWIZZLE_RGBA, format.swizzle.data());
  }
  bool allocated = data.allocated;
  data.uploadedParts.resize(static_cast<size_t>(texture.Faces()) * texture.Levels(), 0);
  texture.ForEachSubresource([&](const Subresource& part) {
    std::uint64_t& uploaded = data.uploadedParts[part.face * texture.Levels() + part.level];
    // Levels drawn into on the GPU are kept there; the CPU side reaches them through
    // SurfaceWritten.
    if (allocated && (uploaded == part.ContentVersion() || (part.surface && part.surface->RendererBacked()))) return;
    uploaded = part.ContentVersion();
    const BYTE* bytes = part.Storage().Bytes();
    if (!bytes) return;
    auto level = static_cast<GLint>(part.level);
    auto w = static_cast<GLsizei>(part.Width()), h = static_cast<GLsizei>(part.Height());
    auto size = static_cast<GLsizei>(part.Storage().Size());
    if (part.volume) {
      auto d = static_cast<GLsizei>(part.Depth());
      if (allocated) {
        glTexSubImage3D(GL_TEXTURE_3D, level, 0, 0, 0, w, h, d, format.format, format.type, bytes);
      } else {
        glTexImage3D(GL_TEXTURE_3D, level, static_cast<GLint>(format.internalFormat), w, h, d, 0, format.format,
                     format.type, bytes);
      }
      return;
    }
    GLenum target = data.target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_CUBE_MAP_POSITIVE_X + part.face : GL_TEXTURE_2D;
    if (format.compressed && allocated) {
      glCompressedTexSubImage2D(target, level, 0, 0, w, h, format.internalFormat, size, bytes);
    } else if (format.compressed) {
      glCompressedTexImage2D(target, level, format.internalFormat, w, h, 0, size, bytes);
    } else if (allocated) {
      glTexSubImage2D(target, level, 0, 0, w, h, format.format, format.type, bytes);
    } else {
      glTexImage2D(target, level, static_cast<GLint>(format.internalFormat), w, h, 0, format.format, format.type,
                   bytes);
    }
  });
  if (autoGen) glGenerateMipmap(data.target);
  data.allocated = true;
  data.uploadedVersion = texture.ContentVersion();
}

GlBufferData* GlResources::BufferData(VertexBuffer& buffer) {
  if (auto* data = static_cast<GlBufferData*>(buffer.RendererData())) return data;
  auto data = std::make_unique<GlBufferData>();
  data->owner = &presenter_;
  data->buffer.Generate();
  GlBufferData* raw = data.get();
  buffer.SetRendererData(std::move(data));
  UploadBuffer(buffer, *raw);
  return raw;
}

void GlResources::UploadBuffer(VertexBuffer& buffer, GlBufferData& data) {
  glBindBuffer(GL_ARRAY_BUFFER, data.buffer.Get());
  // A fresh store each time: a draw still reading the old contents keeps them.
  glBufferData(GL_ARRAY_BUFFER, buffer.Size(), buffer.Bytes(),
               (buffer.Desc().Usage & D3DUSAGE_DYNAMIC) ? GL_STREAM_DRAW : GL_STATIC_DRAW);
  data.uploadedVersion = buffer.ContentVersion();
}

void GlResources::ReadSurface(Surface& surface) {
  presenter_.MakeCurrent();
  GlSurfaceData* data = SurfaceData(surface);
  if (!data || !data->gpuNewer) return;
  BYTE* bytes = surface.Storage().Bytes();
  if (!bytes) return;
  glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_.Get());
  GLenum attachment = data->format.stencil ? GL_DEPTH_STENCIL_ATTACHMENT
                      : data->format.depth ? GL_DEPTH_ATTACHMENT
                                           : GL_COLOR_ATTACHMENT0;
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, 0, 0);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, attachment, data->target, data->texture, data->level);
  glReadBuffer(data->format.depth ? GL_NONE : GL_COLOR_ATTACHMENT0);
  glReadPixels(0, 0, static_cast<GLsizei>(data->width), static_cast<GLsizei>(data->height), data->format.format,
               data->format.type, bytes);
  data->gpuNewer = false;
}

void GlResources::SurfaceWritten(Surface& surface) {
  presenter_.MakeCurrent();
  GlSurfaceData* data = SurfaceData(surface);
  if (!data) return;
  glActiveTexture(GL_TEXTURE0 + kUploadUnit);
  glBindTexture(data->target >= GL_TEXTURE_CUBE_MAP_POSITIVE_X && data->target <= GL_TEXTURE_CUBE_MAP_NEGATIVE_Z
                    ? GL_TEXTURE_CUBE_MAP
                    : GL_TEXTURE_2D,
                data->texture);
  glTexSubImage2D(data->target, data->level, 0, 0, static_cast<GLsizei>(data->width),
                  static_cast<GLsizei>(data->height), data->format.format, data->format.type,
                  surface.Storage().Bytes());
  data->gpuNewer = false;
}

void GlResources::GenerateMipSubLevels(TextureCommon& texture) {
  presenter_.MakeCurrent();
  GlTextureData* data = TextureData(texture);
  if (!data) return;
  UpdateTexture(texture, *data);
  glActiveTexture(GL_TEXTURE0 + kUploadUnit);
  glBindTexture(data->target, data->texture.Get());
  glGenerateMipmap(data->target);
}

GLuint GlResources::EmptyTexture(GLenum target) {
  GlTextureName& name = target == GL_TEXTURE_CUBE_MAP ? emptyCube_ : target == GL_TEXTURE_3D ? empty3d_ : empty2d_;
  if (name) return name.Get();
  name.Generate();
  glActiveTexture(GL_TEXTURE0 + kUploadUnit);
  glBindTexture(target, name.Get());
  glTexParameteri(target, GL_TEXTURE_MAX_LEVEL, 0);
  static const GLubyte kBlack[4] = {0, 0, 0, 255};
  if (target == GL_TEXTURE_CUBE_MAP) {
    for (GLenum face = 0; face < 6; ++face) {
      glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, kBlack);
    }
  } else if (target == GL_TEXTURE_3D) {
    glTexImage3D(target, 0, GL_RGBA8, 1, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, kBlack);
  } else {
    glTexImage2D(target, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, kBlack);
  }
  return name.Get();
}

GLuint GlResources::ReadFramebufferFor(const GlSurfaceData& surface) {
  glBindFramebuffer(GL_READ_FRAMEBUFFER, readFramebuffer_.Get());
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D, 0, 0);
  glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, surface.target, surface.texture, surface.level);
  return readFramebuffer_.Get();
}

}  // namespace rastro
