// Vertex shader inputs read straight from vertex data, for evaluating shaders on the CPU. In a
// file of its own so that only programs that evaluate shaders link it.
#include "VertexLayout.h"

namespace rastro {

std::array<ShaderVector, 16> ReadVertexInputs(const std::vector<ShaderInputDeclaration>& declarations,
                                              const VertexLayout& layout, const BYTE* const* streams) {
  std::array<ShaderVector, 16> inputs{};
  for (ShaderVector& input : inputs) input = {0, 0, 0, 1};
  for (const ShaderInputDeclaration& declaration : declarations) {
    if (declaration.registerNumber >= 16) continue;
    const VertexElement* element = layout.Find(declaration.usage, declaration.usageIndex);
    // A pre-transformed position serves a shader that asks for a position.
    if (!element && declaration.usage == D3DDECLUSAGE_POSITION) {
      element = layout.Find(D3DDECLUSAGE_POSITIONT, declaration.usageIndex);
    }
    if (!element || element->stream >= kLayoutStreams || !streams[element->stream]) continue;
    ReadVertexElement(element->type, streams[element->stream] + element->offset,
                      inputs[declaration.registerNumber].data());
  }
  return inputs;
}

}  // namespace rastro
