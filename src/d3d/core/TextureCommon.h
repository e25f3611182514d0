// What every texture kind keeps besides its levels: level count, pool and usage, level of
// detail, priority, the auto-generation filter and whether it changed since the last update.
#pragma once

#include "d3d9.h"

namespace rastro {

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
