// Owns one OpenGL object name and deletes it when dropped. The context that made the name must
// be current when the owner is destroyed or reset; owners are members of objects that make it
// current first.
#pragma once

#include <epoxy/gl.h>

#include <utility>

namespace rastro {

enum class GlObjectKind { Texture, Buffer, Framebuffer, VertexArray, Sampler };

template <GlObjectKind kKind>
class GlObject {
 public:
  GlObject() = default;
  GlObject(const GlObject&) = delete;
  GlObject& operator=(const GlObject&) = delete;
  GlObject(GlObject&& other) noexcept : name_(std::exchange(other.name_, 0)) {}
  GlObject& operator=(GlObject&& other) noexcept {
    if (this != &other) {
      Reset();
      name_ = std::exchange(other.name_, 0);
    }
    return *this;
  }
  ~GlObject() { Reset(); }

  // Makes a fresh name, deleting any held before.
  GLuint Generate() {
    Reset();
    switch (kKind) {
      case GlObjectKind::Texture: glGenTextures(1, &name_); break;
      case GlObjectKind::Buffer: glGenBuffers(1, &name_); break;
      case GlObjectKind::Framebuffer: glGenFramebuffers(1, &name_); break;
      case GlObjectKind::VertexArray: glGenVertexArrays(1, &name_); break;
      case GlObjectKind::Sampler: glGenSamplers(1, &name_); break;
    }
    return name_;
  }
  void Reset() {
    if (!name_) return;
    switch (kKind) {
      case GlObjectKind::Texture: glDeleteTextures(1, &name_); break;
      case GlObjectKind::Buffer: glDeleteBuffers(1, &name_); break;
      case GlObjectKind::Framebuffer: glDeleteFramebuffers(1, &name_); break;
      case GlObjectKind::VertexArray: glDeleteVertexArrays(1, &name_); break;
      case GlObjectKind::Sampler: glDeleteSamplers(1, &name_); break;
    }
    name_ = 0;
  }
  GLuint Get() const { return name_; }
  explicit operator bool() const { return name_ != 0; }

 private:
  GLuint name_ = 0;
};

using GlTextureName = GlObject<GlObjectKind::Texture>;
using GlBufferName = GlObject<GlObjectKind::Buffer>;
using GlFramebufferName = GlObject<GlObjectKind::Framebuffer>;
using GlVertexArrayName = GlObject<GlObjectKind::VertexArray>;
using GlSamplerName = GlObject<GlObjectKind::Sampler>;

}  // namespace rastro
