// The shader side of the D3DX utility library: buffers, include handlers, macros and the
// compile flags, with their published names and values.
#pragma once

#include "WindowsTypes.h"

using LPCVOID = const void*;

// Flags of the assemble and compile calls.
#define D3DXSHADER_DEBUG (1 << 0)
#define D3DXSHADER_SKIPVALIDATION (1 << 1)
#define D3DXSHADER_SKIPOPTIMIZATION (1 << 2)
#define D3DXSHADER_PACKMATRIX_ROWMAJOR (1 << 3)
#define D3DXSHADER_PACKMATRIX_COLUMNMAJOR (1 << 4)
#define D3DXSHADER_PARTIALPRECISION (1 << 5)
#define D3DXSHADER_FORCE_VS_SOFTWARE_NOOPT (1 << 6)
#define D3DXSHADER_FORCE_PS_SOFTWARE_NOOPT (1 << 7)
#define D3DXSHADER_NO_PRESHADER (1 << 8)
#define D3DXSHADER_AVOID_FLOW_CONTROL (1 << 9)
#define D3DXSHADER_PREFER_FLOW_CONTROL (1 << 10)
#define D3DXSHADER_ENABLE_BACKWARDS_COMPATIBILITY (1 << 12)
#define D3DXSHADER_IEEE_STRICTNESS (1 << 13)
#define D3DXSHADER_OPTIMIZATION_LEVEL0 (1 << 14)
#define D3DXSHADER_OPTIMIZATION_LEVEL1 0
#define D3DXSHADER_OPTIMIZATION_LEVEL2 ((1 << 14) | (1 << 15))
#define D3DXSHADER_OPTIMIZATION_LEVEL3 (1 << 15)
#define D3DXSHADER_USE_LEGACY_D3DX9_31_DLL (1 << 16)

// A preprocessor definition handed to the assembler; arrays end with a null Name.
struct D3DXMACRO {
  LPCSTR Name;
  LPCSTR Definition;
};
using LPD3DXMACRO = D3DXMACRO*;

enum D3DXINCLUDE_TYPE : DWORD {
  D3DXINC_LOCAL = 0,   // #include "name"
  D3DXINC_SYSTEM = 1,  // #include <name>
  D3DXINC_FORCE_DWORD = 0x7fffffff,
};

// The caller's source of included files. Open hands out the file's bytes, which stay valid
// until Close is called with the same pointer; pParentData is what Open returned for the
// including file, or null when that file did not come from this handler.
struct ID3DXInclude {
  virtual HRESULT Open(D3DXINCLUDE_TYPE IncludeType, LPCSTR pFileName, LPCVOID pParentData, LPCVOID* ppData,
                       UINT* pBytes) = 0;
  virtual HRESULT Close(LPCVOID pData) = 0;
};
using LPD3DXINCLUDE = ID3DXInclude*;

// A reference-counted block of bytes: shader tokens, error text.
struct ID3DXBuffer : IUnknown {
  virtual LPVOID GetBufferPointer() = 0;
  virtual DWORD GetBufferSize() = 0;

 protected:
  ~ID3DXBuffer() = default;
};
using LPD3DXBUFFER = ID3DXBuffer*;

inline constexpr IID IID_ID3DXBuffer = {0x932E6A7E, 0xC68E, 0x45DD, {0xA7, 0xBF, 0x53, 0xD1, 0x9C, 0x86, 0xDB, 0x1F}};

// Creates a buffer of NumBytes uninitialised bytes with one reference owned by the caller.
HRESULT D3DXCreateBuffer(DWORD NumBytes, LPD3DXBUFFER* ppBuffer);

// Assembles the shader source file pSrcFile into a Direct3D 9 token stream. pDefines (ended
// by a null Name) and pInclude may be null; Flags: D3DXSHADER_DEBUG, D3DXSHADER_SKIPVALIDATION.
// ppShader receives the tokens, ppErrorMsgs (optional) the messages, or null when there are
// none.
HRESULT D3DXAssembleShaderFromFileA(LPCSTR pSrcFile, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude, DWORD Flags,
                                    LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs);
// The same for source text held in memory.
HRESULT D3DXAssembleShader(LPCSTR pSrcData, UINT SrcDataLen, const D3DXMACRO* pDefines, LPD3DXINCLUDE pInclude,
                           DWORD Flags, LPD3DXBUFFER* ppShader, LPD3DXBUFFER* ppErrorMsgs);
