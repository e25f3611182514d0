// Where the programs' vertex attributes come from: the vertex layout (of the FVF or the vertex
// declaration) as attribute pointers into the bound streams' GL buffers.
#pragma once

#include <epoxy/gl.h>

#include <array>
#include <vector>

#include "GlProgramKey.h"
#include "ShaderVaryings.h"
#include "core/DeviceState.h"

namespace rastro {

class GlResources;
struct GlBufferData;

class GlVertexInput {
 public:
  // Vertex attributes the programs may read: 16 generic attributes.
  static constexpr GLuint kMaxAttributes = 16;

  // Works out the fixed-function attributes of the state's vertex layout, and its key.
  void Describe(const DeviceState& state);
  // Replaces the attributes by a vertex shader's: each declared input register at the attribute
  // of its number, read from the layout's element of the same usage. The key stays.
  void UseShaderInputs(const DeviceState& state, const std::vector<ShaderInputDeclaration>& inputs);
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
