#include "VertexBuffer.h"

#include <cstring>

#include "ComPtr.h"
#include "DebugOutput.h"
#include "VertexLayout.h"

namespace rastro {

UINT FvfVertexSize(DWORD fvf) {
  VertexLayout layout;
  return VertexLayout::FromFvf(fvf, layout) ? layout.streamBytes[0] : 0;
}

HRESULT VertexBuffer::Create(Device& device, UINT length, DWORD usage, DWORD fvf, D3DPOOL pool, VertexBuffer** buffer) {
  D3DVERTEXBUFFER_DESC desc{D3DFMT_VERTEXDATA, D3DRTYPE_VERTEXBUFFER, usage, pool, length, fvf};
  auto created = ComPtr<VertexBuffer>::Adopt(new VertexBuffer(device, desc));
  created->bytes_.assign(length, 0);
  *buffer = created.Detach();
  return D3D_OK;
}

HRESULT VertexBuffer::QueryInterface(REFIID riid, void** object) {
  if (!object) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDirect3DResource9 || riid == IID_IDirect3DVertexBuffer9) {
    AddRef();
    *object = static_cast<IDirect3DVertexBuffer9*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

DWORD VertexBuffer::SetPriority(DWORD priority) {
  if (desc_.Pool != D3DPOOL_MANAGED) return 0;
  DWORD previous = priority_;
  priority_ = priority;
  return previous;
}

HRESULT VertexBuffer::Lock(UINT offset, UINT size, void** data, DWORD flags) {
  constexpr const char* kCall = "IDirect3DVertexBuffer9::Lock";
  constexpr DWORD kBufferLockFlags = D3DLOCK_READONLY | D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE | D3DLOCK_NOSYSLOCK |
                                     D3DLOCK_DONOTWAIT | D3DLOCK_NO_DIRTY_UPDATE;
  if (!data) return ReportFailure(D3DERR_INVALIDCALL, kCall, "null data pointer");
  if (flags & ~kBufferLockFlags) return ReportFailure(D3DERR_INVALIDCALL, kCall, "unknown lock flags");
  if ((flags & (D3DLOCK_DISCARD | D3DLOCK_NOOVERWRITE)) && !(desc_.Usage & D3DUSAGE_DYNAMIC)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "D3DLOCK_DISCARD and D3DLOCK_NOOVERWRITE need a dynamic buffer");
  }
  if ((flags & D3DLOCK_DISCARD) && (flags & D3DLOCK_READONLY)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "D3DLOCK_DISCARD and D3DLOCK_READONLY together");
  }
  // A size of 0 locks from the offset to the end.
  if (offset > desc_.Size || (size && size > desc_.Size - offset)) {
    return ReportFailure(D3DERR_INVALIDCALL, kCall, "the range reaches past the end of the buffer");
  }
  *data = bytes_.data() + offset;
  ++lockCount_;
  if (!(flags & D3DLOCK_READONLY)) written_ = true;
  return D3D_OK;
}

HRESULT VertexBuffer::Unlock() {
  if (lockCount_ == 0)
    return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVertexBuffer9::Unlock", "the buffer is not locked");
  if (--lockCount_ == 0 && written_) {
    written_ = false;
    ++version_;
  }
  return D3D_OK;
}

HRESULT VertexBuffer::GetDesc(D3DVERTEXBUFFER_DESC* desc) {
  if (!desc) return ReportFailure(D3DERR_INVALIDCALL, "IDirect3DVertexBuffer9::GetDesc", "null description");
  *desc = desc_;
  return D3D_OK;
}

void VertexBuffer::Fill(const void* data, UINT size) {
  if (size > bytes_.size()) {
    bytes_.resize(size);
    desc_.Size = size;
  }
  std::memcpy(bytes_.data(), data, size);
  ++version_;
}

}  // namespace rastro
