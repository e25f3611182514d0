// What every texture kind keeps besides its levels: level count, pool and usage, level of
// detail, priority, the auto-generation filter and whether it changed since the last update.
#pragma once

#include <cstdint>

#include "d3d9.h"

namespace rastro {

class PixelStorage;
class Resource;
class Surface;
class Volume;

// One face and level of a texture: a surface of a 2D or cube texture, or a level of a volume
// texture. Whatever the kind, it is locked, holds memory and has an extent the same way.
struct Subresource {
  UINT face = 0;  // 0 unless the texture is a cube
  UINT level = 0;
  Surface* surface = nullptr;  // exactly one of the two is set
  Volume* volume = nullptr;

  bool IsLocked() const;
  PixelStorage& Storage() const;
  // The memory with what was last drawn into it; null when it cannot be had.
  BYTE* ReadableBytes() const;
  UINT Width() const;
  UINT Height() const;
  UINT Depth() const;  // 1 for surfaces
  // The CPU changed the memory: the texture counts a new version (and is dirty).
  void ContentWritten() const;
  // Counts the changes of this face and level's memory.
  std::uint64_t ContentVersion() const;
};

class TextureCommon {
 public:
  TextureCommon(D3DRESOURCETYPE type, D3DFORMAT format, DWORD usage, D3DPOOL pool, UINT levels)
      : type_(type), format_(format), usage_(usage), pool_(pool), levels_(levels) {}
  virtual ~TextureCommon() = default;

  D3DRESOURCETYPE Type() const { return type_; }
  D3DFORMAT Format() const { return format_; }
  DWORD Usage() const { return usage_; }
  D3DPOOL Pool() const { return pool_; }
  UINT Levels() const { return levels_; }
  UINT Faces() const { return type_ == D3DRTYPE_CUBETEXTURE ? 6 : 1; }

  // Face `face` (< Faces()) of level `level` (< Levels()).
  virtual Subresource At(UINT face, UINT level) = 0;
  // Calls visit(Subresource) for every face and level, faces outermost.
  template <typename Visit>
  void ForEachSubresource(Visit&& visit) {
    for (UINT face = 0; face < Faces(); ++face) {
      for (UINT level = 0; level < levels_; ++level) visit(At(face, level));
    }
  }
  // The texture as the resource that holds its references and renderer data.
  virtual Resource& AsResource() = 0;

  // Changes since the last UpdateTexture from this texture: any write lock or AddDirty*.
  bool IsDirty() const { return dirty_; }
  void MarkDirty() { dirty_ = true; }
  void MarkClean() { dirty_ = false; }
  // Bumped whenever any level's memory changes; renderers compare it to what they uploaded.
  std::uint64_t ContentVersion() const { return contentVersion_; }
  void ContentChanged() { ++contentVersion_; }

  DWORD SetLODValue(DWORD lod);
  DWORD LOD() const { return lod_; }
  DWORD SetPriorityValue(DWORD priority);
  DWORD Priority() const { return priority_; }
  HRESULT SetAutoGenFilter(D3DTEXTUREFILTERTYPE filter);
  D3DTEXTUREFILTERTYPE AutoGenFilter() const { return autoGenFilter_; }

 private:
  D3DRESOURCETYPE type_;
  D3DFORMAT format_;
  DWORD usage_;
  D3DPOOL pool_;
  UINT levels_;
  bool dirty_ = true;
  std::uint64_t contentVersion_ = 1;
  DWORD lod_ = 0;
  DWORD priority_ = 0;
  D3DTEXTUREFILTERTYPE autoGenFilter_ = D3DTEXF_LINEAR;
};

}  // namespace rastro
