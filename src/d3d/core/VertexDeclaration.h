// A vertex declaration: a checked copy of the caller's elements.
#pragma once

#include <vector>

#include "Resource.h"
#include "VertexLayout.h"

namespace rastro {

class VertexDeclaration final : public IDirect3DVertexDeclaration9, public Resource {
 public:
  // Checks the elements up to the end marker against the stream count and the D3DDTCAPS_*
  // types the device offers; D3DERR_INVALIDCALL names the first fault.
  static HRESULT Create(Device& device, const D3DVERTEXELEMENT9* elements, DWORD maxStreams, DWORD declTypes,
                        VertexDeclaration** declaration);

  HRESULT QueryInterface(REFIID riid, void** object) override;
  ULONG AddRef() override { return AddRefPublic(); }
  ULONG Release() override { return ReleasePublic(); }
  HRESULT GetDevice(IDirect3DDevice9** device) override { return GetDeviceInterface(device); }
  HRESULT GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) override;

  // The elements without the end marker.
  const std::vector<D3DVERTEXELEMENT9>& Elements() const { return elements_; }
  const VertexLayout& Layout() const { return layout_; }

 private:
  explicit VertexDeclaration(Device& device) : Resource(device, Ownership::Standalone) {}

  std::vector<D3DVERTEXELEMENT9> elements_;
  VertexLayout layout_;
};

}  // namespace rastro
