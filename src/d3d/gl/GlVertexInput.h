// Where the generated programs' vertex attributes come from: the FVF or vertex declaration as
// attribute pointers into the bound streams' GL buffers.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <vector>

#include "GlProgramKey.h"
#include "core/DeviceState.h"

namespace rastro {

class GlResources;
struct GlBufferData;

class GlVertexInput {
 public:
  // Works out the attributes of the state's declaration or FVF.
  void Describe(const DeviceState& state);
  const VertexInputKey& Key() const { return key_; }
  // Points the vertex array's attributes at the streams the description reads.
  void BindStreams(const DeviceState& state, GlResources& resources, GLuint vertexArray);
  // Uploads the bound buffers whose contents changed since they were last uploaded.
  void UploadChangedBuffers(GlResources& resources);

 private:
  struct Attribute {
    GLuint location;
    UINT stream;
    GLint size;
    GLenum type;
    GLboolean normalized;
    UINT offset;
  };
  std::vector<Attribute> attributes_;
  VertexInputKey key_;
  std::array<bool, kMaxStreams> streamUsed_{};
  std::array<VertexBuffer*, kMaxStreams> streamBuffers_{};
  std::array<GlBufferData*, kMaxStreams> streamData_{};
};

}  // namespace rastro
