#include "ShaderVaryings.h"

namespace rastro {

bool IsGenericVarying(UINT usage, UINT index) {
  if (usage == D3DDECLUSAGE_FOG || usage == D3DDECLUSAGE_PSIZE) return false;
  if (usage == D3DDECLUSAGE_POSITION && index == 0) return false;
  if (usage == D3DDECLUSAGE_COLOR && index < 2) return false;
  if (usage == D3DDECLUSAGE_TEXCOORD && index < 8) return false;
  return index < 16;
}

}  // namespace rastro
