#include "VertexDeclaration.h"

#include "ComPtr.h"
#include "DebugOutput.h"

namespace rastro {

HRESULT VertexDeclaration::Create(Device& device, const D3DVERTEXELEMENT9* elements, DWORD maxStreams, DWORD declTypes,
                                  VertexDeclaration** declaration) {
  constexpr const char* kCall = "IDirect3DDevice9::CreateVertexDeclaration";
  std::vector<D3DVERTEXELEMENT9> checked;
  // Up to MAXD3DDECLLENGTH elements, then the end marker.
  for (UINT i = 0;; ++i) {
    const D3DVERTEXELEMENT9& element = elements[i];
    if (element.Stream == 0xFF) {
      if (element.Type != D3DDECLTYPE_UNUSED) {
        return ReportFailure(D3DERR_INVALIDCALL, kCall, "the end marker must have type D3DDECLTYPE_UNUSED");
      }
      break;
    }
    if (i >= MAXD3DDECLLENGTH) return ReportFailure(D3DERR_INVALIDCALL, kCall, "no end marker after 64 elements");
    if (element.Stream >= maxStreams)
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "stream number beyond MaxStreams");
    if (element.Type >= D3DDECLTYPE_UNUSED) return ReportFailure(D3DERR_INVALIDCALL, kCall, "unknown element type");
    if (DWORD bit = DeclTypeCapsBit(element.Type); bit && !(declTypes & bit)) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "an element type the device does not offer");
    }
    if (element.Method > D3DDECLMETHOD_LOOKUPPRESAMPLED) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "unknown tessellation method");
    }
    if (element.Usage > D3DDECLUSAGE_SAMPLE || element.UsageIndex > MAXD3DDECLUSAGEINDEX) {
      return ReportFailure(D3DERR_INVALIDCALL, kCall, "unknown usage or usage index above 15");
    }
    if (element.Offset % 4) return ReportFailure(D3DERR_INVALIDCALL, kCall, "offset not a multiple of 4");
    for (const D3DVERTEXELEMENT9& earlier : checked) {
      if (earlier.Usage == element.Usage && earlier.UsageIndex == element.UsageIndex) {
        return ReportFailure(D3DERR_INVALIDCALL, kCall, "usage and usage index given twice");
      }
    }
    checked.push_back(element);
  }
  auto created = ComPtr<VertexDeclaration>::Adopt(new VertexDeclaration(device));
  created->layout_ = VertexLayout::FromElements(checked.data(), checked.size());
  created->elements_ = std::move(checked);
  *declaration = created.Detach();
  return D3D_OK;
}

HRESULT VertexDeclaration::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDirect3DVertexDeclaration9) {
    AddRef();
    *object = static_cast<IDirect3DVertexDeclaration9*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT VertexDeclaration::GetDeclaration(D3DVERTEXELEMENT9* elements, UINT* count) {
  if (!count) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVertexDeclaration9::GetDeclaration", "null count");
  UINT total = static_cast<UINT>(elements_.size()) + 1;  // with the end marker
  if (elements) {
    for (UINT i = 0; i < elements_.size(); ++i) elements[i] = elements_[i];
    elements[elements_.size()] = D3DVERTEXELEMENT9 D3DDECL_END();
  }
  *count = total;
  return D3D_OK;
}

}  // namespace rastro
