// One decoded level of an image file: its pixel format, size, pixels and palette, and for DDS
// files the chains of smaller mip levels and further cube faces. Pixels and palette either
// belong to the image or point into the caller's file bytes, which must then outlive it.
#pragma once

#include <cstddef>
#include <memory>

#include "d3d9types.h"
#include "d3dx9tex.h"

namespace rastro {

// Memory that a decoded image would be copied into next, unchanged: the top level of the
// texture being filled, when its format and size are those of the image.
struct PixelTarget {
  BYTE* Data = nullptr;  // first pixel; null for no target
  UINT RowPitch = 0;
  D3DFORMAT Format = D3DFMT_UNKNOWN;
  UINT Width = 0;
  UINT Height = 0;
  // When set, a decoder writing into the target calls it with a growing count of rows, from
  // the top, that hold their final pixels (it may skip counts, and need not reach Height when
  // decoding fails), so the caller can work on them while they are still in cache.
  void (*RowsDone)(void* context, UINT rows) = nullptr;
  void* Context = nullptr;
};

class ImageData {
 public:
  ImageData() = default;
  ImageData(const ImageData&) = delete;
  ImageData& operator=(const ImageData&) = delete;
  // Frees the chains level by level: a file may describe thousands of mip levels.
  ~ImageData();

  D3DFORMAT Format = D3DFMT_UNKNOWN;      // a catalogue format, FORMAT_AL16 and FORMAT_R16 included
  const BYTE* Data = nullptr;             // first pixel (first 4x4 block for DXT formats)
  const PALETTEENTRY* Palette = nullptr;  // 256 entries (peFlags is the alpha), or null
  UINT Width = 0;
  UINT Height = 0;
  UINT Depth = 0;  // 1 for surfaces
  // (0, 0, Width, Height, 0, Depth) on every level once decoding succeeds.
  D3DBOX Box{};
  UINT RowPitch = 0;        // bytes from row to row; from block row to block row for DXT formats
  UINT SlicePitch = 0;      // bytes from slice to slice; 0 for single-slice images
  BOOL LoadPixels = FALSE;  // input: decode pixels (TRUE) or read the header only (FALSE)
  // Input: a decoder whose image is one level of exactly the target's format and size may
  // write its pixels there instead of into a buffer of its own; Data and RowPitch then
  // describe the target (not owned). Decoders are free to ignore it.
  PixelTarget Target{};
  D3DRESOURCETYPE ResourceType = D3DRTYPE_TEXTURE;
  D3DXIMAGE_FILEFORMAT FileFormat = D3DXIFF_BMP;
  std::unique_ptr<ImageData> NextMip;   // next smaller level of the same face
  std::unique_ptr<ImageData> NextFace;  // first level of the next cube face (first face only)

  // Whether Data / Palette were allocated for this image (true) or point into file bytes.
  bool OwnsData() const { return ownedData_ != nullptr; }
  bool OwnsPalette() const { return ownedPalette_ != nullptr; }

  // Replaces Data with a new buffer of `bytes` owned by the image, zero-filled unless the
  // caller is about to write every byte; null (and Data unchanged) when the allocation fails
  // or `bytes` exceeds the cap on one image (MaxImageBytes).
  BYTE* AllocateData(std::size_t bytes, bool zeroFilled = true);
  // Replaces Palette with 256 new entries owned by the image, or returns null.
  PALETTEENTRY* AllocatePalette();
  // Data / Palette point into bytes the image does not own.
  void PointData(const BYTE* data);
  void PointPalette(const PALETTEENTRY* palette);

  // The target when it fits a single level of `width` x `height` pixels of the image's Format
  // with rows of `rowBytes` bytes; null when there is none or it does not fit.
  BYTE* FittingTarget(UINT width, UINT height, std::size_t rowBytes) const;

  // Frees the owned pixels and palette and both chains and clears every field but LoadPixels,
  // Target, ResourceType and FileFormat.
  void ReleaseContents();

 private:
  struct FreeBytes {
    void operator()(BYTE* bytes) const;
  };
  std::unique_ptr<BYTE, FreeBytes> ownedData_;
  std::unique_ptr<PALETTEENTRY[]> ownedPalette_;
};

}  // namespace rastro
