#include "CommentBlock.h"

#include <cstring>
#include <new>

#include "d3d9types.h"

namespace rastro {

namespace {
constexpr unsigned char kFill = 0xAB;
}

CommentBlock::~CommentBlock() {
  for (const Item& item : items_) {
    bool owned = !(item.flags & kByReference) || (item.flags & kOwned);
    if (owned) delete[] static_cast<const unsigned char*>(item.data);
  }
}

HRESULT CommentBlock::AddItem(const void* data, DWORD size, DWORD flags, DWORD* offset) {
  std::size_t bytes = size;
  if (size == kNulTerminated) bytes = data ? std::strlen(static_cast<const char*>(data)) + 1 : 0;
  if (!data && bytes != 0) return E_FAIL;
  if (!(flags & kByReference)) flags |= kShareable;

  if (flags & kShareable) {
    for (const Item& item : items_) {
      if ((item.flags & kShareable) && item.size == bytes && (bytes == 0 || std::memcmp(item.data, data, bytes) == 0)) {
        if (offset) *offset = static_cast<DWORD>(item.offset);
        return S_OK;
      }
    }
  }

  std::size_t start = (flags & kUnaligned) ? size_ : (size_ + 3) & ~std::size_t(3);
  try {
    items_.reserve(items_.size() + 1);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const void* stored = data;
  if (!(flags & kByReference)) {
    auto* copy = new (std::nothrow) unsigned char[bytes ? bytes : 1];
    if (!copy) return E_OUTOFMEMORY;
    if (bytes) std::memcpy(copy, data, bytes);
    stored = copy;
  }
  items_.push_back({stored, bytes, start, flags});
  size_ = start + bytes;
  if (offset) *offset = static_cast<DWORD>(start);
  return S_OK;
}

HRESULT CommentBlock::Write(DWORD* destination, std::size_t words) const {
  if (!destination || words < SizeInWords() || words > kMaxWords) return E_FAIL;
  destination[0] = D3DSHADER_COMMENT(static_cast<DWORD>(words - 1));
  destination[1] = fourCC_;
  auto* bytes = reinterpret_cast<unsigned char*>(destination + 2);
  std::memset(bytes, kFill, (words - 2) * sizeof(DWORD));
  for (const Item& item : items_) {
    if (item.size) std::memcpy(bytes + item.offset, item.data, item.size);
  }
  return S_OK;
}

}  // namespace rastro
