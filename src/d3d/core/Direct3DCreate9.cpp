#include "Direct3D.h"

// Until a renderer that puts pixels on a screen is built in, the object has no adapters.
IDirect3D9* Direct3DCreate9(UINT SDKVersion) {
  if (SDKVersion != D3D_SDK_VERSION) return nullptr;
  return rastro::CreateDirect3D({});
}
