// The one decoded form of a vertex format. A flexible vertex format (FVF) and a vertex
// declaration both become a VertexLayout when they are set or created; draws, renderers, the
// shader translator and the CPU evaluator read vertices only through it.
#pragma once

#include <array>
#include <vector>

#include "ShaderVaryings.h"
#include "d3d9.h"

namespace rastro {

constexpr UINT kLayoutStreams = 16;

struct VertexElement {
  UINT stream = 0;
  UINT offset = 0;
  BYTE type = D3DDECLTYPE_FLOAT4;  // D3DDECLTYPE_*
  BYTE usage = D3DDECLUSAGE_POSITION;
  BYTE usageIndex = 0;
};

struct VertexLayout {
  std::vector<VertexElement> elements;  // in declaration order
  // Bytes a vertex reads from each stream (the end of its last element there); 0: stream unused.
  std::array<UINT, kLayoutStreams> streamBytes{};
  // Positions are already in screen space (XYZRHW, POSITIONT): no vertex shader runs.
  bool pretransformed = false;
  // The FVF it came from, or 0 for a declaration.
  DWORD fvf = 0;

  bool Empty() const { return elements.empty(); }
  // The element with this usage and index, or null.
  const VertexElement* Find(BYTE usage, BYTE usageIndex) const;

  // Decodes an FVF; false for a value that is no valid vertex format.
  static bool FromFvf(DWORD fvf, VertexLayout& layout);
  // Builds the layout of checked declaration elements (end marker not included).
  static VertexLayout FromElements(const D3DVERTEXELEMENT9* elements, size_t count);
  // The declaration elements that say the same as the layout, end marker not included.
  std::vector<D3DVERTEXELEMENT9> Elements() const;
};

// Bytes of one element of a declaration type; 0 for D3DDECLTYPE_UNUSED and unknown types.
UINT DeclTypeSize(BYTE type);
// Components a declaration type supplies (1-4); 0 for unknown types.
UINT DeclTypeComponents(BYTE type);
// The D3DDTCAPS_* bit that offers a type, or 0 for the types every device takes.
DWORD DeclTypeCapsBit(BYTE type);

// Reads one element of vertex data as a shader input register sees it: components the type
// does not supply are 0, 0, 0, 1; D3DCOLOR arrives as red, green, blue, alpha in [0, 1].
// `data` must hold DeclTypeSize(type) bytes.
void ReadVertexElement(BYTE type, const BYTE* data, float out[4]);

// The inputs a vertex shader reads from one vertex: each declared input register filled from
// the layout element of its usage (0, 0, 0, 1 where the vertex has none). `streams` are the
// vertex's bytes in each stream the layout reads, already offset to the vertex.
std::array<ShaderVector, 16> ReadVertexInputs(const std::vector<ShaderInputDeclaration>& declarations,
                                              const VertexLayout& layout, const BYTE* const* streams);

// Vertices a draw of `primitives` primitives of `type` reads, or 0 for a type that is not a
// primitive type.
UINT PrimitiveVertexCount(D3DPRIMITIVETYPE type, UINT primitives);

}  // namespace rastro
