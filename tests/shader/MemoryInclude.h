// An include handler serving files from memory, recording how it was called.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "d3dx9shader.h"

namespace rastro::testing_support {

class MemoryInclude : public ID3DXInclude {
 public:
  struct OpenCall {
    D3DXINCLUDE_TYPE type;
    std::string name;
    const void* parent;
    const void* data;
  };

  std::map<std::string, std::string> files;
  std::vector<OpenCall> opens;
  std::vector<const void*> closes;
  HRESULT failure = E_FAIL;

  HRESULT Open(D3DXINCLUDE_TYPE type, LPCSTR name, LPCVOID parent, LPCVOID* data, UINT* bytes) override {
    auto found = files.find(name);
    if (found == files.end()) {
      opens.push_back({type, name, parent, nullptr});
      return failure;
    }
    *data = found->second.data();
    *bytes = static_cast<UINT>(found->second.size());
    opens.push_back({type, name, parent, *data});
    return S_OK;
  }
  HRESULT Close(LPCVOID data) override {
    closes.push_back(data);
    return S_OK;
  }
};

}  // namespace rastro::testing_support
