#include "VertexLayout.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace rastro {

namespace {

struct TypeInfo {
  UINT size;
  UINT components;
  DWORD capsBit;
};

constexpr TypeInfo kTypes[] = {
    {4, 1, 0},                    // FLOAT1
    {8, 2, 0},                    // FLOAT2
    {12, 3, 0},                   // FLOAT3
    {16, 4, 0},                   // FLOAT4
    {4, 4, 0},                    // D3DCOLOR
    {4, 4, D3DDTCAPS_UBYTE4},     // UBYTE4
    {4, 2, 0},                    // SHORT2
    {8, 4, 0},                    // SHORT4
    {4, 4, D3DDTCAPS_UBYTE4N},    // UBYTE4N
    {4, 2, D3DDTCAPS_SHORT2N},    // SHORT2N
    {8, 4, D3DDTCAPS_SHORT4N},    // SHORT4N
    {4, 2, D3DDTCAPS_USHORT2N},   // USHORT2N
    {8, 4, D3DDTCAPS_USHORT4N},   // USHORT4N
    {4, 3, D3DDTCAPS_UDEC3},      // UDEC3
    {4, 3, D3DDTCAPS_DEC3N},      // DEC3N
    {4, 2, D3DDTCAPS_FLOAT16_2},  // FLOAT16_2
    {8, 4, D3DDTCAPS_FLOAT16_4},  // FLOAT16_4
};

constexpr BYTE kFloatTypes[] = {D3DDECLTYPE_FLOAT1, D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4};

float HalfToFloat(WORD half) {
  int exponent = (half >> 10) & 0x1F;
  int mantissa = half & 0x3FF;
  float value;
  if (exponent == 0) {
    value = std::ldexp(static_cast<float>(mantissa), -24);
  } else if (exponent == 31) {
    value = mantissa ? NAN : INFINITY;
  } else {
    value = std::ldexp(static_cast<float>(mantissa | 0x400), exponent - 25);
  }
  return (half & 0x8000) ? -value : value;
}

template <typename T>
T Load(const BYTE* data, UINT index) {
  T value;
  std::memcpy(&value, data + index * sizeof(T), sizeof(T));
  return value;
}

void AddElement(VertexLayout& layout, UINT offset, BYTE type, BYTE usage, BYTE usageIndex) {
  layout.elements.push_back(VertexElement{0, offset, type, usage, usageIndex});
}

}  // namespace

UINT DeclTypeSize(BYTE type) { return type < std::size(kTypes) ? kTypes[type].size : 0; }
UINT DeclTypeComponents(BYTE type) { return type < std::size(kTypes) ? kTypes[type].components : 0; }
DWORD DeclTypeCapsBit(BYTE type) { return type < std::size(kTypes) ? kTypes[type].capsBit : 0; }

const VertexElement* VertexLayout::Find(BYTE usage, BYTE usageIndex) const {
  for (const VertexElement& element : elements) {
    if (element.usage == usage && element.usageIndex == usageIndex) return &element;
  }
  return nullptr;
}

bool VertexLayout::FromFvf(DWORD fvf, VertexLayout& layout) {
  constexpr DWORD kKnownBits = D3DFVF_POSITION_MASK | D3DFVF_NORMAL | D3DFVF_PSIZE | D3DFVF_DIFFUSE | D3DFVF_SPECULAR |
                               D3DFVF_TEXCOUNT_MASK | D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR | 0xFFFF0000u;
  if (fvf & ~kKnownBits) return false;
  VertexLayout built;
  built.fvf = fvf;
  UINT offset = 0;
  DWORD position = fvf & D3DFVF_POSITION_MASK;
  switch (position) {
    case 0: break;
    case D3DFVF_XYZ:
      AddElement(built, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
      offset = 12;
      break;
    case D3DFVF_XYZRHW:
      AddElement(built, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITIONT, 0);
      built.pretransformed = true;
      offset = 16;
      break;
    case D3DFVF_XYZW:
      AddElement(built, 0, D3DDECLTYPE_FLOAT4, D3DDECLUSAGE_POSITION, 0);
      offset = 16;
      break;
    case D3DFVF_XYZB1:
    case D3DFVF_XYZB2:
    case D3DFVF_XYZB3:
    case D3DFVF_XYZB4:
    case D3DFVF_XYZB5: {
      AddElement(built, 0, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_POSITION, 0);
      offset = 12;
      UINT betas = (position - D3DFVF_XYZRHW) / 2;  // B1 (0x6) .. B5 (0xE): 1..5
      bool lastIsIndices = fvf & (D3DFVF_LASTBETA_UBYTE4 | D3DFVF_LASTBETA_D3DCOLOR);
      UINT weights = lastIsIndices ? betas - 1 : betas;
      if (weights > 0) {
        AddElement(built, offset, kFloatTypes[std::min<UINT>(weights, 4) - 1], D3DDECLUSAGE_BLENDWEIGHT, 0);
      }
      offset += weights * 4;
      if (lastIsIndices) {
        BYTE type = (fvf & D3DFVF_LASTBETA_UBYTE4) ? D3DDECLTYPE_UBYTE4 : D3DDECLTYPE_D3DCOLOR;
        AddElement(built, offset, type, D3DDECLUSAGE_BLENDINDICES, 0);
        offset += 4;
      }
      break;
    }
    default: return false;
  }
  if (fvf & D3DFVF_NORMAL) {
    AddElement(built, offset, D3DDECLTYPE_FLOAT3, D3DDECLUSAGE_NORMAL, 0);
    offset += 12;
  }
  if (fvf & D3DFVF_PSIZE) {
    AddElement(built, offset, D3DDECLTYPE_FLOAT1, D3DDECLUSAGE_PSIZE, 0);
    offset += 4;
  }
  if (fvf & D3DFVF_DIFFUSE) {
    AddElement(built, offset, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 0);
    offset += 4;
  }
  if (fvf & D3DFVF_SPECULAR) {
    AddElement(built, offset, D3DDECLTYPE_D3DCOLOR, D3DDECLUSAGE_COLOR, 1);
    offset += 4;
  }
  UINT sets = (fvf & D3DFVF_TEXCOUNT_MASK) >> D3DFVF_TEXCOUNT_SHIFT;
  if (sets > 8) return false;
  // Size bits of sets beyond the count must be clear.
  if (sets < 8 && (fvf >> (16 + sets * 2))) return false;
  for (UINT set = 0; set < sets; ++set) {
    static constexpr BYTE kSetTypes[4] = {D3DDECLTYPE_FLOAT2, D3DDECLTYPE_FLOAT3, D3DDECLTYPE_FLOAT4,
                                          D3DDECLTYPE_FLOAT1};  // TEXTUREFORMAT2, 3, 4, 1
    BYTE type = kSetTypes[(fvf >> (16 + set * 2)) & 3];
    AddElement(built, offset, type, D3DDECLUSAGE_TEXCOORD, static_cast<BYTE>(set));
    offset += DeclTypeSize(type);
  }
  built.streamBytes[0] = offset;
  layout = std::move(built);
  return true;
}

VertexLayout VertexLayout::FromElements(const D3DVERTEXELEMENT9* elements, size_t count) {
  VertexLayout layout;
  for (size_t i = 0; i < count; ++i) {
    const D3DVERTEXELEMENT9& element = elements[i];
    layout.elements.push_back(
        VertexElement{element.Stream, element.Offset, element.Type, element.Usage, element.UsageIndex});
    if (element.Stream < kLayoutStreams) {
      layout.streamBytes[element.Stream] =
          std::max(layout.streamBytes[element.Stream], element.Offset + DeclTypeSize(element.Type));
    }
    if (element.Usage == D3DDECLUSAGE_POSITIONT) layout.pretransformed = true;
  }
  return layout;
}

std::vector<D3DVERTEXELEMENT9> VertexLayout::Elements() const {
  std::vector<D3DVERTEXELEMENT9> out;
  for (const VertexElement& element : elements) {
    out.push_back(D3DVERTEXELEMENT9{static_cast<WORD>(element.stream), static_cast<WORD>(element.offset), element.type,
                                    D3DDECLMETHOD_DEFAULT, element.usage, element.usageIndex});
  }
  return out;
}

void ReadVertexElement(BYTE type, const BYTE* data, float out[4]) {
  out[0] = out[1] = out[2] = 0.0f;
  out[3] = 1.0f;
  switch (type) {
    case D3DDECLTYPE_FLOAT1:
    case D3DDECLTYPE_FLOAT2:
    case D3DDECLTYPE_FLOAT3:
    case D3DDECLTYPE_FLOAT4:
      for (UINT i = 0; i <= type; ++i) out[i] = Load<float>(data, i);
      return;
    case D3DDECLTYPE_D3DCOLOR:  // bytes in memory: blue, green, red, alpha
      out[0] = data[2] / 255.0f;
      out[1] = data[1] / 255.0f;
      out[2] = data[0] / 255.0f;
      out[3] = data[3] / 255.0f;
      return;
    case D3DDECLTYPE_UBYTE4:
      for (UINT i = 0; i < 4; ++i) out[i] = data[i];
      return;
    case D3DDECLTYPE_UBYTE4N:
      for (UINT i = 0; i < 4; ++i) out[i] = data[i] / 255.0f;
      return;
    case D3DDECLTYPE_SHORT2:
    case D3DDECLTYPE_SHORT4:
      for (UINT i = 0; i < (type == D3DDECLTYPE_SHORT2 ? 2u : 4u); ++i) out[i] = Load<std::int16_t>(data, i);
      return;
    case D3DDECLTYPE_SHORT2N:
    case D3DDECLTYPE_SHORT4N:
      for (UINT i = 0; i < (type == D3DDECLTYPE_SHORT2N ? 2u : 4u); ++i) {
        out[i] = std::max(Load<std::int16_t>(data, i) / 32767.0f, -1.0f);
      }
      return;
    case D3DDECLTYPE_USHORT2N:
    case D3DDECLTYPE_USHORT4N:
      for (UINT i = 0; i < (type == D3DDECLTYPE_USHORT2N ? 2u : 4u); ++i) {
        out[i] = Load<std::uint16_t>(data, i) / 65535.0f;
      }
      return;
    case D3DDECLTYPE_UDEC3: {
      DWORD packed = Load<DWORD>(data, 0);
      for (UINT i = 0; i < 3; ++i) out[i] = static_cast<float>((packed >> (10 * i)) & 0x3FF);
      return;
    }
    case D3DDECLTYPE_DEC3N: {
      DWORD packed = Load<DWORD>(data, 0);
      for (UINT i = 0; i < 3; ++i) {
        int field = static_cast<int>((packed >> (10 * i)) & 0x3FF);
        if (field >= 512) field -= 1024;
        out[i] = std::max(field / 511.0f, -1.0f);
      }
      return;
    }
    case D3DDECLTYPE_FLOAT16_2:
    case D3DDECLTYPE_FLOAT16_4:
      for (UINT i = 0; i < (type == D3DDECLTYPE_FLOAT16_2 ? 2u : 4u); ++i) out[i] = HalfToFloat(Load<WORD>(data, i));
      return;
    default: return;
  }
}

UINT PrimitiveVertexCount(D3DPRIMITIVETYPE type, UINT primitives) {
  switch (type) {
    case D3DPT_POINTLIST: return primitives;
    case D3DPT_LINELIST: return primitives * 2;
    case D3DPT_LINESTRIP: return primitives + 1;
    case D3DPT_TRIANGLELIST: return primitives * 3;
    case D3DPT_TRIANGLESTRIP:
    case D3DPT_TRIANGLEFAN: return primitives + 2;
    default: return 0;
  }
}

}  // namespace rastro
