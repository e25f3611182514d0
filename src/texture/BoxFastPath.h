// Integer halving for the box filter: each destination pixel is the average of a 2 x 2 block
// of source pixels of the same format, every channel (a + b + c + d + 2) >> 2, computed on the
// packed pixels without going through float RGBA.
#pragma once

#include "PixelCodec.h"

namespace rastro {

// Halves the rebased region of `source` (sourceWidth x sourceHeight pixels, both even and
// above 1) into `destination`. S_OK, or E_FAIL when the formats differ or have no integer
// routine (the caller then averages in float).
HRESULT HalveWithIntegers(const PixelCodec& source, PixelCodec& destination, UINT sourceWidth, UINT sourceHeight);

// One routine: source rows 2y and 2y + 1 at sourcePitch * 2y and * (2y + 1), destination row
// y at destinationPitch * y.
using HalvingRoutine = void (*)(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight,
                                UINT sourcePitch, UINT destinationPitch);

// The routine that halves two same-format levels of `format` with integers (through the
// process-wide slots for the 32-bit formats), or null for a format without one.
HalvingRoutine IntegerHalvingRoutine(D3DFORMAT format);

// The 32-bit routines behind the two process-wide slots. The portable three-channel routine
// writes 0 in the fourth byte; the four-channel routines (portable and vector) average it.
void HalveFourChannelPortable(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight,
                              UINT sourcePitch, UINT destinationPitch);
void HalveThreeChannelPortable(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight,
                               UINT sourcePitch, UINT destinationPitch);
// SSE2, eight source pixels per step; widths that are not a multiple of 4 go to the portable
// four-channel routine whole. Same integers as the portable four-channel routine.
void HalveFourChannelVector(const BYTE* source, BYTE* destination, UINT sourceWidth, UINT sourceHeight,
                            UINT sourcePitch, UINT destinationPitch);

// Which routines the slots hold once chosen; for tests.
enum class HalvingChoice { Unchosen, Portable, Vector };
HalvingChoice CurrentHalvingChoice();
// Puts the selectors back into the slots so that a test can watch the choice being made.
void ResetHalvingSlotsForTesting();

}  // namespace rastro
