#include "TextureCommon.h"

#include "DebugOutput.h"
#include "Surface.h"
#include "Volume.h"

namespace rastro {

bool Subresource::IsLocked() const { return surface ? surface->IsLocked() : volume->IsLocked(); }

PixelStorage& Subresource::Storage() const { return surface ? surface->Storage() : volume->Storage(); }

BYTE* Subresource::ReadableBytes() const { return surface ? surface->ReadableBytes() : volume->Storage().Bytes(); }

UINT Subresource::Width() const { return surface ? surface->Desc().Width : volume->Desc().Width; }

UINT Subresource::Height() const { return surface ? surface->Desc().Height : volume->Desc().Height; }

UINT Subresource::Depth() const { return surface ? 1 : volume->Desc().Depth; }

std::uint64_t Subresource::ContentVersion() const {
  return surface ? surface->ContentVersion() : volume->ContentVersion();
}

void Subresource::ContentWritten() const {
  if (surface) {
    surface->ContentWritten();
  } else {
    volume->ContentWritten();
  }
}

DWORD TextureCommon::SetLODValue(DWORD lod) {
  // Only managed textures have a level of detail; the others report 0 and keep none.
  if (pool_ != D3DPOOL_MANAGED) return 0;
  DWORD previous = lod_;
  lod_ = lod < levels_ ? lod : levels_ - 1;
  return previous;
}

DWORD TextureCommon::SetPriorityValue(DWORD priority) {
  if (pool_ != D3DPOOL_MANAGED) return 0;
  DWORD previous = priority_;
  priority_ = priority;
  return previous;
}

HRESULT TextureCommon::SetAutoGenFilter(D3DTEXTUREFILTERTYPE filter) {
  if (filter != D3DTEXF_POINT && filter != D3DTEXF_LINEAR && filter != D3DTEXF_ANISOTROPIC &&
      filter != D3DTEXF_PYRAMIDALQUAD && filter != D3DTEXF_GAUSSIANQUAD) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DBaseTexture9::SetAutoGenFilterType", "not a filter");
  }
  if (!(usage_ & D3DUSAGE_AUTOGENMIPMAP)) {
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DBaseTexture9::SetAutoGenFilterType",
                         "the texture was not created with D3DUSAGE_AUTOGENMIPMAP");
  }
  autoGenFilter_ = filter;
  return D3D_OK;
}

}  // namespace rastro
