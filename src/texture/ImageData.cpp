#include "ImageData.h"

#include <cstdlib>
#include <new>
#include <utility>

#include "ImageSizeLimit.h"

namespace rastro {

ImageData::~ImageData() { ReleaseContents(); }

void ImageData::FreeBytes::operator()(BYTE* bytes) const { std::free(bytes); }

BYTE* ImageData::AllocateData(std::size_t bytes, bool zeroFilled) {
  if (bytes > MaxImageBytes()) return nullptr;
  // At least one byte, so that an allocated image never has null Data. calloc: large images
  // come from fresh pages that need no clearing, which keeps sparse run-length images cheap.
  const std::size_t size = bytes ? bytes : 1;
  std::unique_ptr<BYTE, FreeBytes> buffer(static_cast<BYTE*>(zeroFilled ? std::calloc(size, 1) : std::malloc(size)));
  if (!buffer) return nullptr;
  ownedData_ = std::move(buffer);
  Data = ownedData_.get();
  return ownedData_.get();
}

PALETTEENTRY* ImageData::AllocatePalette() {
  std::unique_ptr<PALETTEENTRY[]> entries(new (std::nothrow) PALETTEENTRY[256]());
  if (!entries) return nullptr;
  ownedPalette_ = std::move(entries);
  Palette = ownedPalette_.get();
  return ownedPalette_.get();
}

BYTE* ImageData::FittingTarget(UINT width, UINT height, std::size_t rowBytes) const {
  if (!Target.Data || Target.Format != Format || Target.Width != width || Target.Height != height ||
      Target.RowPitch < rowBytes) {
    return nullptr;
  }
  return Target.Data;
}

void ImageData::PointData(const BYTE* data) {
  ownedData_.reset();
  Data = data;
}

void ImageData::PointPalette(const PALETTEENTRY* palette) {
  ownedPalette_.reset();
  Palette = palette;
}

namespace {

// Unlinks a chain one level at a time so that destroying it never recurses deeper than one
// level, however long the chain.
void ReleaseChain(std::unique_ptr<ImageData>& head, std::unique_ptr<ImageData> ImageData::*link) {
  while (head) {
    std::unique_ptr<ImageData> next = std::move((*head).*link);
    head = std::move(next);
  }
}

}  // namespace

void ImageData::ReleaseContents() {
  // Faces first: each face's destructor then frees its own mip chain iteratively.
  ReleaseChain(NextFace, &ImageData::NextFace);
  ReleaseChain(NextMip, &ImageData::NextMip);
  ownedData_.reset();
  ownedPalette_.reset();
  Format = D3DFMT_UNKNOWN;
  Data = nullptr;
  Palette = nullptr;
  Width = Height = Depth = 0;
  Box = {};
  RowPitch = SlicePitch = 0;
}

}  // namespace rastro
