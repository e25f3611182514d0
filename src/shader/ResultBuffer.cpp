#include "ResultBuffer.h"

#include <cstdlib>
#include <new>

#include "d3d9types.h"

namespace rastro {

HRESULT ResultBuffer::Create(DWORD size, ResultBuffer** out) {
  if (!out) return D3DERR_INVALIDCALL;
  *out = nullptr;
  auto* buffer = new (std::nothrow) ResultBuffer();
  if (!buffer) return E_OUTOFMEMORY;
  // malloc(0) may legally return null; a zero-sized buffer still gets a distinct block.
  buffer->data_ = static_cast<BYTE*>(std::malloc(size ? size : 1));
  if (!buffer->data_) {
    buffer->Release();
    return E_OUTOFMEMORY;
  }
  buffer->size_ = size;
  *out = buffer;
  return S_OK;
}

ResultBuffer::~ResultBuffer() { std::free(data_); }

HRESULT ResultBuffer::QueryInterface(REFIID riid, void** ppvObject) {
  if (!ppvObject) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_ID3DXBuffer) {
    *ppvObject = static_cast<ID3DXBuffer*>(this);
    AddRef();
    return S_OK;
  }
  *ppvObject = nullptr;
  return E_NOINTERFACE;
}

ULONG ResultBuffer::AddRef() { return ++referenceCount_; }

ULONG ResultBuffer::Release() {
  ULONG count = --referenceCount_;
  if (count == 0) delete this;
  return count;
}

}  // namespace rastro

HRESULT D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer) {
  if (!ppBuffer) return D3DERR_INVALIDCALL;
  rastro::ResultBuffer* buffer = nullptr;
  HRESULT hr = rastro::ResultBuffer::Create(NumBytes, &buffer);
  *ppBuffer = buffer;
  return hr;
}
