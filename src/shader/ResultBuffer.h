// The assembler's ID3DXBuffer: a heap block of bytes with a plain reference count.
#pragma once

#include "d3dx9shader.h"

namespace rastro {

class ResultBuffer final : public ID3DXBuffer {
 public:
  // Allocates `size` bytes (not cleared). Null `out` is D3DERR_INVALIDCALL; a failed allocation
  // E_OUTOFMEMORY.
  static HRESULT Create(DWORD size, ResultBuffer** out);

  HRESULT QueryInterface(REFIID riid, void** ppvObject) override;
  ULONG AddRef() override;
  ULONG Release() override;
  LPVOID GetBufferPointer() override { return data_; }
  DWORD GetBufferSize() override { return size_; }

 private:
  ResultBuffer() = default;
  ~ResultBuffer();

  ULONG referenceCount_ = 1;
  DWORD size_ = 0;
  BYTE* data_ = nullptr;
};

}  // namespace rastro
