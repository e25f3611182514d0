// The include handler of the shader fuzz targets: "main.psh" and "self" are the fuzz input
// itself (so include depth is reached), a few fixed headers are served from memory, and every
// other name fails to open. It counts opens against closes, so a target can check that every
// opened file was closed.
#pragma once

#include <cstddef>
#include <initializer_list>
#include <string_view>
#include <utility>
#include <vector>

#include "d3dx9shader.h"

class MemoryInclude : public ID3DXInclude {
 public:
  using Header = std::pair<std::string_view, std::string_view>;  // name, text

  MemoryInclude(const char* data, std::size_t size, std::initializer_list<Header> headers)
      : data_(data), size_(size), headers_(headers) {}

  HRESULT Open(D3DXINCLUDE_TYPE, LPCSTR name, LPCVOID, LPCVOID* data, UINT* bytes) override {
    std::string_view file = name;
    if (file == "main.psh" || file == "self") {
      *data = data_;
      *bytes = static_cast<UINT>(size_);
    } else {
      const Header* found = nullptr;
      for (const Header& header : headers_) {
        if (header.first == file) found = &header;
      }
      if (!found) return E_FAIL;
      *data = found->second.data();
      *bytes = static_cast<UINT>(found->second.size());
    }
    ++open_;
    return S_OK;
  }
  HRESULT Close(LPCVOID) override {
    --open_;
    return S_OK;
  }
  int OpenCount() const { return open_; }

 private:
  const char* data_;
  std::size_t size_;
  std::vector<Header> headers_;
  int open_ = 0;
};
