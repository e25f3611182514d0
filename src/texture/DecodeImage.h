// Turns the bytes of an image file into an ImageData: BMP, DIB, TGA, PPM, PFM, DDS, JPEG, PNG
// and Radiance RGBE, recognised by trying one decoder after another.
#pragma once

#include <string>

#include "ImageData.h"
#include "d3dx9tex.h"

namespace rastro {

// Why no decoder accepted the bytes, for a tool that explains it to its user.
struct DecodeFailure {
  // A decoder refused the image as larger than one image may be (RASTROMETER_MAX_IMAGE_MB).
  bool TooLarge = false;
  // A decoder whose file type has a signature recognised it (or refused it as too large):
  // FileFormat names the type and Reason says why that decoder refused. False when the bytes
  // are of no type the loader knows.
  bool Recognised = false;
  D3DXIMAGE_FILEFORMAT FileFormat = D3DXIFF_BMP;
  std::string Reason;
};

// Decodes `byteCount` bytes at `fileBytes` into `image` (which should be empty), trying the
// decoders in the order BMP, PPM, DDS, JPEG, PNG, PFM, Radiance RGBE, TGA, DIB; the first that
// accepts the bytes wins. With `loadPixels` FALSE only the headers are read. The image may
// point into `fileBytes` (see ImageData::OwnsData), so they must outlive it. `info`, when
// given, receives the size, level count, public format, resource type and file type.
//   D3DERR_INVALIDCALL   no image, no bytes or a byte count of 0
//   D3DXERR_INVALIDDATA  no decoder accepts the bytes
// Without `info` and with `loadPixels` FALSE nothing is decoded and the result is S_OK. Number
// parsing runs in the "C" numeric locale for the calling thread only; the thread's own locale
// is back in place when the call returns. With a `target` (see ImageData::Target), a decoder
// whose image fits it may decode straight into it: the image's Data then equals target->Data.
// The target's memory may be written even when decoding fails. Before pixels are decoded, an
// image larger than the cap on one image (MaxImageBytes) is refused. When no decoder accepts
// the bytes, each one that tried says why on the debug output (RASTROMETER_D3D_DEBUG), and
// `failure`, when given, receives the reason that matters most.
HRESULT DecodeImage(ImageData* image, const void* fileBytes, UINT byteCount, D3DXIMAGE_INFO* info, BOOL loadPixels,
                    const PixelTarget* target = nullptr, DecodeFailure* failure = nullptr);

}  // namespace rastro
