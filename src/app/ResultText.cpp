#include "ResultText.h"

#include <array>
#include <cstdio>

namespace rastro {

namespace {

struct NamedResult {
  HRESULT result;
  const char* name;
};

// The codes the tests' calls are known to return.
constexpr std::array<NamedResult, 15> kResultNames{{
    {S_OK, "D3D_OK"},
    {E_FAIL, "E_FAIL"},
    {E_OUTOFMEMORY, "E_OUTOFMEMORY"},
    {E_INVALIDARG, "E_INVALIDARG"},
    {E_NOINTERFACE, "E_NOINTERFACE"},
    {E_NOTIMPL, "E_NOTIMPL"},
    {E_POINTER, "E_POINTER"},
    {D3DERR_INVALIDCALL, "D3DERR_INVALIDCALL"},
    {D3DERR_NOTAVAILABLE, "D3DERR_NOTAVAILABLE"},
    {D3DERR_OUTOFVIDEOMEMORY, "D3DERR_OUTOFVIDEOMEMORY"},
    {D3DERR_DEVICELOST, "D3DERR_DEVICELOST"},
    {D3DERR_DRIVERINTERNALERROR, "D3DERR_DRIVERINTERNALERROR"},
    {D3DERR_WRONGTEXTUREFORMAT, "D3DERR_WRONGTEXTUREFORMAT"},
    {D3DERR_NOTFOUND, "D3DERR_NOTFOUND"},
    {D3DXERR_INVALIDDATA, "D3DXERR_INVALIDDATA"},
}};

}  // namespace

std::string ResultText(HRESULT result) {
  char number[16];
  std::snprintf(number, sizeof number, "0x%08X", static_cast<unsigned>(result));
  for (const NamedResult& named : kResultNames) {
    if (named.result == result) return std::string(named.name) + " (" + number + ")";
  }
  return number;
}

}  // namespace rastro
