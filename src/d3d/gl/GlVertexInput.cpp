#include "GlVertexInput.h"

#include <algorithm>
#include <cstdint>

#include "GlProgram.h"
#include "GlResources.h"
#include "VertexBuffer.h"
#include "VertexDeclaration.h"

namespace rastro {

namespace {

struct DeclarationType {
  GLint size;
  GLenum type;
  GLboolean normalized;
};

bool DeclarationAttribute(BYTE type, DeclarationType& out) {
  switch (type) {
    case D3DDECLTYPE_FLOAT1: out = {1, GL_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_FLOAT2: out = {2, GL_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_FLOAT3: out = {3, GL_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_FLOAT4: out = {4, GL_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_D3DCOLOR: out = {GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE}; return true;
    case D3DDECLTYPE_UBYTE4: out = {4, GL_UNSIGNED_BYTE, GL_FALSE}; return true;
    case D3DDECLTYPE_SHORT2: out = {2, GL_SHORT, GL_FALSE}; return true;
    case D3DDECLTYPE_SHORT4: out = {4, GL_SHORT, GL_FALSE}; return true;
    case D3DDECLTYPE_UBYTE4N: out = {4, GL_UNSIGNED_BYTE, GL_TRUE}; return true;
    case D3DDECLTYPE_SHORT2N: out = {2, GL_SHORT, GL_TRUE}; return true;
    case D3DDECLTYPE_SHORT4N: out = {4, GL_SHORT, GL_TRUE}; return true;
    case D3DDECLTYPE_USHORT2N: out = {2, GL_UNSIGNED_SHORT, GL_TRUE}; return true;
    case D3DDECLTYPE_USHORT4N: out = {4, GL_UNSIGNED_SHORT, GL_TRUE}; return true;
    case D3DDECLTYPE_FLOAT16_2: out = {2, GL_HALF_FLOAT, GL_FALSE}; return true;
    case D3DDECLTYPE_FLOAT16_4: out = {4, GL_HALF_FLOAT, GL_FALSE}; return true;
    default: return false;
  }
}

}  // namespace

void GlVertexInput::Describe(const DeviceState& state) {
  attributes_.clear();
  streamUsed_.fill(false);
  VertexInputKey& key = key_;
  key = VertexInputKey{};
  for (const VertexElement& element : state.vertexLayout.elements) {
    DeclarationType type;
    if (!DeclarationAttribute(element.type, type) || element.stream >= kMaxStreams) continue;
    GLuint location;
    if (element.usage == D3DDECLUSAGE_POSITIONT && element.usageIndex == 0) {
      location = kPositionLocation;
      key.position = PositionKind::Transformed;
    } else if (element.usage == D3DDECLUSAGE_POSITION && element.usageIndex == 0) {
      location = kPositionLocation;
      key.position = PositionKind::Clip;
    } else if (element.usage == D3DDECLUSAGE_COLOR && element.usageIndex < 2) {
      location = element.usageIndex == 0 ? kDiffuseLocation : kSpecularLocation;
      (element.usageIndex == 0 ? key.hasDiffuse : key.hasSpecular) = 1;
    } else if (element.usage == D3DDECLUSAGE_TEXCOORD && element.usageIndex < 8) {
      location = kTexCoordLocation + element.usageIndex;
      // Sets below the highest one given read as absent.
      key.texCoordSets = std::max<std::uint8_t>(key.texCoordSets, element.usageIndex + 1);
      key.texCoordSizes[element.usageIndex] = static_cast<std::uint8_t>(type.size == GL_BGRA ? 4 : type.size);
    } else {
      continue;  // normals, sizes, blend weights: the fixed pipeline here has no use for them
    }
    attributes_.push_back({location, element.stream, type.size, type.type, type.normalized, element.offset});
    streamUsed_[element.stream] = true;
  }
}

void GlVertexInput::UseShaderInputs(const DeviceState& state, const std::vector<ShaderInputDeclaration>& inputs) {
  attributes_.clear();
  streamUsed_.fill(false);
  for (const ShaderInputDeclaration& input : inputs) {
    const VertexElement* element = state.vertexLayout.Find(input.usage, input.usageIndex);
    DeclarationType type;
    if (!element || input.registerNumber >= kMaxAttributes || element->stream >= kMaxStreams ||
        !DeclarationAttribute(element->type, type)) {
      continue;  // the register reads the attribute's current value
    }
    attributes_.push_back(
        {input.registerNumber, element->stream, type.size, type.type, type.normalized, element->offset});
    streamUsed_[element->stream] = true;
  }
}

void GlVertexInput::BindStreams(const DeviceState& state, GlResources& resources, GLuint vertexArray) {
  for (UINT stream = 0; stream < kMaxStreams; ++stream) {
    VertexBuffer* buffer = streamUsed_[stream] ? state.streams[stream].buffer : nullptr;
    streamBuffers_[stream] = buffer;
    streamData_[stream] = buffer ? resources.BufferData(*buffer) : nullptr;
  }
  glBindVertexArray(vertexArray);
  std::array<bool, kMaxAttributes> enabled{};
  for (const Attribute& attribute : attributes_) {
    GlBufferData* data = streamData_[attribute.stream];
    if (!data) continue;
    const StreamBinding& binding = state.streams[attribute.stream];
    glBindBuffer(GL_ARRAY_BUFFER, data->buffer.Get());
    glVertexAttribPointer(attribute.location, attribute.size, attribute.type, attribute.normalized,
                          static_cast<GLsizei>(binding.stride),
                          reinterpret_cast<const void*>(static_cast<uintptr_t>(binding.offset + attribute.offset)));
    enabled[attribute.location] = true;
  }
  for (GLuint location = 0; location < enabled.size(); ++location) {
    if (enabled[location]) {
      glEnableVertexAttribArray(location);
    } else {
      glDisableVertexAttribArray(location);
    }
  }
}

void GlVertexInput::UploadChangedBuffers(GlResources& resources) {
  for (UINT stream = 0; stream < kMaxStreams; ++stream) {
    VertexBuffer* buffer = streamBuffers_[stream];
    if (buffer && streamData_[stream]->uploadedVersion != buffer->ContentVersion()) {
      resources.UploadBuffer(*buffer, *streamData_[stream]);
    }
  }
}

}  // namespace rastro
