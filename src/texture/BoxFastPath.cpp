#include "BoxFastPath.h"

#include <cstdint>
#include <cstring>

#include "ProcessorFeatures.h"

namespace rastro {

namespace {

// The fields of a packed pixel split into two masks of alternate fields, so that each field
// of a mask has room above it for the sum of four values before the next field of the mask.
struct FieldMasks {
  std::uint64_t first;
  std::uint64_t second;
};

// The rounding bias, 2 at the lowest bit of every field of the mask.
constexpr std::uint64_t Bias(std::uint64_t mask) { return (mask & ~(mask << 1)) << 1; }

template <typename Pixel>
inline Pixel Load(const BYTE* at) {
  Pixel value;
  std::memcpy(&value, at, sizeof value);
  return value;
}

template <typename Pixel, std::uint64_t First, std::uint64_t Second>
void HalveMasked(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight, UINT sourcePitch,
                 UINT destinationPitch) {
  constexpr std::uint64_t biasFirst = Bias(First);
  constexpr std::uint64_t biasSecond = Bias(Second);
  const UINT width = sourceWidth / 2;
  const UINT height = sourceHeight / 2;
  for (UINT y = 0; y < height; ++y) {
    const BYTE* upper = source + std::size_t{sourcePitch} * (2 * y);
    const BYTE* lower = source + std::size_t{sourcePitch} * (2 * y + 1);
    BYTE* out = destination + std::size_t{destinationPitch} * y;
    for (UINT x = 0; x < width; ++x) {
      const std::uint64_t a = Load<Pixel>(upper + sizeof(Pixel) * (2 * x));
      const std::uint64_t b = Load<Pixel>(upper + sizeof(Pixel) * (2 * x + 1));
      const std::uint64_t c = Load<Pixel>(lower + sizeof(Pixel) * (2 * x));
      const std::uint64_t d = Load<Pixel>(lower + sizeof(Pixel) * (2 * x + 1));
      std::uint64_t first = ((((a & First) + (b & First)) + ((c & First) + (d & First)) + biasFirst) >> 2) & First;
      std::uint64_t second =
          ((((a & Second) + (b & Second)) + ((c & Second) + (d & Second)) + biasSecond) >> 2) & Second;
      Pixel result = static_cast<Pixel>(first | second);
      std::memcpy(out + sizeof(Pixel) * x, &result, sizeof result);
    }
  }
}

HalvingRoutine RoutineFor(D3DFORMAT format);

void SelectFourChannel(const BYTE*, BYTE*, UINT, UINT, UINT, UINT);
void SelectThreeChannel(const BYTE*, BYTE*, UINT, UINT, UINT, UINT);

// Written once, on the first call through either slot; the program has one thread.
HalvingRoutine fourChannelSlot = SelectFourChannel;
HalvingRoutine threeChannelSlot = SelectThreeChannel;
HalvingChoice choice = HalvingChoice::Unchosen;

void ChooseRoutines() {
  // The "DisableMMX" setting sends both slots down the portable routines.
  if (ActiveVectorLevel() != VectorLevel::Portable) {
    fourChannelSlot = HalveFourChannelVector;
    threeChannelSlot = HalveFourChannelVector;
    choice = HalvingChoice::Vector;
  } else {
    fourChannelSlot = HalveFourChannelPortable;
    threeChannelSlot = HalveThreeChannelPortable;
    choice = HalvingChoice::Portable;
  }
}

void SelectFourChannel(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight, UINT sourcePitch,
                       UINT destinationPitch) {
  ChooseRoutines();
  fourChannelSlot(source, destination, sourceWidth, sourceHeight, sourcePitch, destinationPitch);
}

void SelectThreeChannel(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight, UINT sourcePitch,
                        UINT destinationPitch) {
  ChooseRoutines();
  threeChannelSlot(source, destination, sourceWidth, sourceHeight, sourcePitch, destinationPitch);
}

void CallFourChannelSlot(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight, UINT sourcePitch,
                         UINT destinationPitch) {
  fourChannelSlot(source, destination, sourceWidth, sourceHeight, sourcePitch, destinationPitch);
}

void CallThreeChannelSlot(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight, UINT sourcePitch,
                          UINT destinationPitch) {
  threeChannelSlot(source, destination, sourceWidth, sourceHeight, sourcePitch, destinationPitch);
}

HalvingRoutine RoutineFor(D3DFORMAT format) {
  switch (format) {
    case D3DFMT_A8R8G8B8:
    case D3DFMT_A8B8G8R8: return CallFourChannelSlot;
    case D3DFMT_X8R8G8B8:
    case D3DFMT_X8B8G8R8: return CallThreeChannelSlot;
    case D3DFMT_R5G6B5: return HalveMasked<std::uint16_t, 0xF81F, 0x07E0>;
    case D3DFMT_X1R5G5B5: return HalveMasked<std::uint16_t, 0x7C1F, 0x03E0>;
    case D3DFMT_A1R5G5B5: return HalveMasked<std::uint16_t, 0x7C1F, 0x83E0>;
    case D3DFMT_A4R4G4B4: return HalveMasked<std::uint16_t, 0x0F0F, 0xF0F0>;
    case D3DFMT_X4R4G4B4: return HalveMasked<std::uint16_t, 0x0F0F, 0x00F0>;
    case D3DFMT_R3G3B2: return HalveMasked<std::uint8_t, 0xE3, 0x1C>;
    case D3DFMT_A8:
    case D3DFMT_L8: return HalveMasked<std::uint8_t, 0xFF, 0>;
    case D3DFMT_A8R3G3B2: return HalveMasked<std::uint16_t, 0x00E3, 0xFF1C>;
    case D3DFMT_A8L8: return HalveMasked<std::uint16_t, 0x00FF, 0xFF00>;
    case D3DFMT_A4L4: return HalveMasked<std::uint8_t, 0x0F, 0xF0>;
    default: return nullptr;
  }
}

}  // namespace

void HalveFourChannelPortable(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight,
                              UINT sourcePitch, UINT destinationPitch) {
  HalveMasked<std::uint32_t, 0x00FF00FF, 0xFF00FF00>(source, destination, sourceWidth, sourceHeight, sourcePitch,
                                                     destinationPitch);
}

void HalveThreeChannelPortable(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight,
                               UINT sourcePitch, UINT destinationPitch) {
  HalveMasked<std::uint32_t, 0x00FF00FF, 0x0000FF00>(source, destination, sourceWidth, sourceHeight, sourcePitch,
                                                     destinationPitch);
}

HalvingRoutine IntegerHalvingRoutine(D3DFORMAT format) { return RoutineFor(format); }

HRESULT HalveWithIntegers(const PixelCodec& source, PixelCodec& destination, UINT sourceWidth, UINT sourceHeight) {
  if (source.Format() != destination.Format()) return E_FAIL;
  HalvingRoutine routine = RoutineFor(source.Format());
  if (!routine) return E_FAIL;
  routine(source.Base(), destination.Base(), sourceWidth, sourceHeight, source.RowPitch(), destination.RowPitch());
  return S_OK;
}

HalvingChoice CurrentHalvingChoice() { return choice; }

void ResetHalvingSlotsForTesting() {
  fourChannelSlot = SelectFourChannel;
  threeChannelSlot = SelectThreeChannel;
  choice = HalvingChoice::Unchosen;
}

}  // namespace rastro
