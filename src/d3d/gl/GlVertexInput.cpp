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
  if (state.declaration) {
    for (const D3DVERTEXELEMENT9& element : state.declaration->Elements()) {
      DeclarationType type;
      if (!DeclarationAttribute(element.Type, type)) continue;
      GLuint location;
      if (element.Usage == D3DDECLUSAGE_POSITIONT && element.UsageIndex == 0) {
        location = kPositionLocation;
        key.position = PositionKind::Transformed;
      } else if (element.Usage == D3DDECLUSAGE_POSITION && element.UsageIndex == 0) {
        location = kPositionLocation;
        key.position = PositionKind::Clip;
      } else if (element.Usage == D3DDECLUSAGE_COLOR && element.UsageIndex < 2) {
        location = element.UsageIndex == 0 ? kDiffuseLocation : kSpecularLocation;
        (element.UsageIndex == 0 ? key.hasDiffuse : key.hasSpecular) = 1;
      } else if (element.Usage == D3DDECLUSAGE_TEXCOORD && element.UsageIndex < 8) {
        location = kTexCoordLocation + element.UsageIndex;
        key.texCoordSets = std::max<std::uint8_t>(key.texCoordSets, element.UsageIndex + 1);
        key.texCoordSizes[element.UsageIndex] = static_cast<std::uint8_t>(type.size == GL_BGRA ? 4 : type.size);
      } else {
        continue;
      }
      attributes_.push_back({location, element.Stream, type.size, type.type, type.normalized, element.Offset});
      streamUsed_[element.Stream] = true;
    }
    // Sets below the highest one given read as absent.
    return;
  }
  DWORD fvf = state.fvf;
  if (!fvf) return;
  UINT offset = 0;
  switch (fvf & D3DFVF_POSITION_MASK) {
    case D3DFVF_XYZRHW:
      attributes_.push_back({kPositionLocation, 0, 4, GL_FLOAT, GL_FALSE, 0});
      key.position = PositionKind::Transformed;
      offset = 16;
      break;
    case D3DFVF_XYZW:
      attributes_.push_back({kPositionLocation, 0, 4, GL_FLOAT, GL_FALSE, 0});
      key.position = PositionKind::Clip;
      offset = 16;
      break;
    case 0:
      break;
    default: {
      attributes_.push_back({kPositionLocation, 0, 3, GL_FLOAT, GL_FALSE, 0});
      key.position = PositionKind::Clip;
      // Blend weights follow the position; the fixed pipeline here has no use for them.
      static constexpr UINT kPositionBytes[] = {0, 0, 12, 0, 16, 0, 20, 0, 24, 0, 28, 0, 32, 0, 36};
      offset = kPositionBytes[fvf & 0xE];
      break;
    }
  }
  if (fvf & D3DFVF_NORMAL) offset += 12;
  if (fvf & D3DFVF_PSIZE) offset += 4;
  if (fvf & D3DFVF_DIFFUSE) {
    attributes_.push_back({kDiffuseLocation, 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset});
    key.hasDiffuse = 1;
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    attributes_.push_back({kSpecularLocation, 0, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, offset});
    key.hasSpecular = 1;
    offset += 4;
  }
  UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  for (UINT set = 0; set < sets; ++set) {
    static constexpr GLint kComponents[4] = {2, 3, 4, 1};
    GLint components = kComponents[(fvf >> (16 + set * 2)) & 3];
    attributes_.push_back({kTexCoordLocation + set, 0, components, GL_FLOAT, GL_FALSE, offset});
    key.texCoordSizes[set] = static_cast<std::uint8_t>(components);
    offset += static_cast<UINT>(components) * 4;
  }
  key.texCoordSets = static_cast<std::uint8_t>(sets);
  streamUsed_[0] = true;
}

void GlVertexInput::BindStreams(const DeviceState& state, GlResources& resources, GLuint vertexArray) {
  for (UINT stream = 0; stream < kMaxStreams; ++stream) {
    VertexBuffer* buffer = streamUsed_[stream] ? state.streams[stream].buffer : nullptr;
    streamBuffers_[stream] = buffer;
    streamData_[stream] = buffer ? resources.BufferData(*buffer) : nullptr;
  }
  glBindVertexArray(vertexArray);
  std::array<bool, kTexCoordLocation + 8> enabled{};
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
