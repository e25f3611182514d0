#include "PackedCodec.h"

namespace rastro {

UINT ReadPackedVector(D3DFORMAT, const BYTE*, FloatRgba*, UINT) { return 0; }
UINT WritePackedVector(D3DFORMAT, const FloatRgba*, BYTE*, UINT, const float*) { return 0; }

}  // namespace rastro
