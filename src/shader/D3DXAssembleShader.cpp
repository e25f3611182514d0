// The assembler's published entry points.
#include "ShaderAssembler.h"
#include "d3dx9shader.h"

namespace rastro {

HRESULT AssembleOpenedSource(Preprocessor& preprocessor, HRESULT openResult, DWORD flags, ID3DXBuffer** shader,
                             ID3DXBuffer** errors) {
  HRESULT hr = openResult;
  if (SUCCEEDED(hr)) {
    ShaderAssembler assembler(preprocessor);
    hr = assembler.Run(flags, shader);
  }
  // A warning raised to an error (or a message recorded while the rest of the input was read)
  // fails an otherwise successful run.
  if (SUCCEEDED(hr) && preprocessor.Diagnostics().ErrorCount() != 0) hr = D3DXERR_INVALIDDATA;
  if (FAILED(hr) && shader && *shader) {
    (*shader)->Release();
    *shader = nullptr;
  }
  preprocessor.Diagnostics().MakeErrorText(errors);
  return hr;
}

}  // namespace rastro

HRESULT D3DXAssembleShaderFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude, DWORD Flags,
                                    LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs) {
  if (ppShader) *ppShader = nullptr;
  if (ppErrorMsgs) *ppErrorMsgs = nullptr;
  if (!ppShader || (Flags & ~DWORD(D3DXSHADER_DEBUG | D3DXSHADER_SKIPVALIDATION)) != 0) return D3DERR_INVALIDCALL;
  rastro::Preprocessor preprocessor;
  HRESULT opened = pSrcFile ? preprocessor.OpenSource(pSrcFile, pDefines, pInclude) : D3DERR_INVALIDCALL;
  return rastro::AssembleOpenedSource(preprocessor, opened, Flags, ppShader, ppErrorMsgs);
}

HRESULT D3DXAssembleShader(LPCSTR pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                           DWORD Flags, LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs) {
  if (ppShader) *ppShader = nullptr;
  if (ppErrorMsgs) *ppErrorMsgs = nullptr;
  if (!ppShader || (!pSrcData && SrcDataLen != 0) ||
      (Flags & ~DWORD(D3DXSHADER_DEBUG | D3DXSHADER_SKIPVALIDATION)) != 0)
    return D3DERR_INVALIDCALL;
  rastro::Preprocessor preprocessor;
  HRESULT opened = preprocessor.OpenMemorySource(pSrcData ? pSrcData : "", SrcDataLen, nullptr, pDefines, pInclude);
  return rastro::AssembleOpenedSource(preprocessor, opened, Flags, ppShader, ppErrorMsgs);
}
