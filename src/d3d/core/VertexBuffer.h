// A vertex buffer: bytes in memory, mirrored by the renderer when it draws from them.
#pragma once

#include <vector>

#include "Resource.h"

namespace rastro {

class VertexBuffer final : public IDirect3DVertexBuffer9, public Resource {
 public:
  static HRESULT Create(Device& device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, VertexBuffer** buffer);

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return AddRefPublic(); }
  ULONG Release() override { return ReleasePublic(); }
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceInterface(device); }
  DWORD SetPriority(DWORD priority) override;
  DWORD GetPriority() override { return priority_; }
  void PreLoad() override {}
  D3DRESOURCETYPE GetType() override { return D3DRTYPE_VERTEXBUFFER; }
  HRESULT Lock(UINT offset, UINT size, void** data, DWORD flags) override;
  HRESULT Unlock() override;
  HRESULT GetDesc(D3DVERTEXBUFFER_DESC* desc) override;

  const D3DVERTEXBUFFER_DESC& Desc() const { return desc_; }
  const BYTE* Bytes() const { return bytes_.data(); }
  UINT Size() const { return desc_.Size; }
  // Bumped by every write lock; renderers compare it to what they uploaded.
  std::uint64_t ContentVersion() const { return version_; }
  // Replaces the contents from the start (the device's DrawPrimitiveUP staging).
  void Fill(const void* data, UINT size);

 private:
  VertexBuffer(Device& device, const D3DVERTEXBUFFER_DESC& desc)
      : Resource(device, Ownership::Standalone), desc_(desc) {}

  D3DVERTEXBUFFER_DESC desc_;
  std::vector<BYTE> bytes_;
  UINT lockCount_ = 0;
  bool written_ = false;
  DWORD priority_ = 0;
  std::uint64_t version_ = 1;
};

// Bytes of one vertex of a flexible vertex format; 0 for a format that is not valid.
UINT FvfVertexSize(DWORD fvf);

}  // namespace rastro
