#include "GlProgramKey.h"

#include <cstring>

#include "core/TextureCommon.h"

namespace rastro {

bool ProgramKey::operator==(const ProgramKey& other) const { return std::memcmp(this, &other, sizeof *this) == 0; }

size_t ProgramKeyHash::operator()(const ProgramKey& key) const {
  // FNV-1a over the key's bytes; keys are plain bytes with zeroed padding.
  const auto* bytes = reinterpret_cast<const unsigned char*>(&key);
  std::uint64_t hash = 1469598103934665603ull;
  for (size_t i = 0; i < sizeof key; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return static_cast<size_t>(hash);
}

ProgramKey FixedFunctionKey(const DeviceState& state, const VertexInputKey& input) {
  ProgramKey key;
  key.input = input;
  const auto& rs = state.renderStates;
  key.lighting = rs[D3DRS_LIGHTING] && input.position == PositionKind::Clip && !state.declaration;
  key.specularAdd = rs[D3DRS_SPECULARENABLE] != 0;
  key.flat = rs[D3DRS_SHADEMODE] == D3DSHADE_FLAT;
  key.alphaFunc = rs[D3DRS_ALPHATESTENABLE] ? static_cast<std::uint8_t>(rs[D3DRS_ALPHAFUNC]) : 0;
  key.stageCount = 0;
  key.stages.fill(StageKey{});
  for (UINT stage = 0; stage < D3DMAXTEXTURESTAGES; ++stage) {
    const auto& ts = state.stageStates[stage];
    if (ts[D3DTSS_COLOROP] == D3DTOP_DISABLE || ts[D3DTSS_COLOROP] > D3DTOP_LERP) break;
    StageKey& s = key.stages[stage];
    s.colorOp = static_cast<std::uint8_t>(ts[D3DTSS_COLOROP]);
    s.colorArg0 = static_cast<std::uint8_t>(ts[D3DTSS_COLORARG0]);
    s.colorArg1 = static_cast<std::uint8_t>(ts[D3DTSS_COLORARG1]);
    s.colorArg2 = static_cast<std::uint8_t>(ts[D3DTSS_COLORARG2]);
    s.alphaOp = static_cast<std::uint8_t>(ts[D3DTSS_ALPHAOP] > D3DTOP_LERP ? D3DTOP_DISABLE : ts[D3DTSS_ALPHAOP]);
    s.alphaArg0 = static_cast<std::uint8_t>(ts[D3DTSS_ALPHAARG0]);
    s.alphaArg1 = static_cast<std::uint8_t>(ts[D3DTSS_ALPHAARG1]);
    s.alphaArg2 = static_cast<std::uint8_t>(ts[D3DTSS_ALPHAARG2]);
    s.texCoordSet = static_cast<std::uint8_t>(ts[D3DTSS_TEXCOORDINDEX] & 0x7);
    s.resultTemp = (ts[D3DTSS_RESULTARG] & D3DTA_SELECTMASK) == D3DTA_TEMP;
    TextureCommon* texture = state.textures[stage];
    TextureKind kind = TextureKind::None;
    if (texture) {
      kind = texture->Type() == D3DRTYPE_CUBETEXTURE     ? TextureKind::Cube
             : texture->Type() == D3DRTYPE_VOLUMETEXTURE ? TextureKind::Volume
                                                         : TextureKind::Flat;
    }
    s.texture = static_cast<std::uint8_t>(kind);
    key.stageCount = static_cast<std::uint8_t>(stage + 1);
  }
  return key;
}

}  // namespace rastro
