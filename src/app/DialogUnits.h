// Dialog units, the font-relative coordinates a dialog template is laid out in: a horizontal
// unit is a quarter of the font's average character width, a vertical one an eighth of its
// height.
#pragma once

namespace rastro {

struct DialogBaseUnits {
  int x = 0;  // average character width in pixels
  int y = 0;  // character height in pixels
};

struct DialogRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// value * numerator / denominator rounded half away from zero, for non-negative operands.
constexpr int ScaleRounded(int value, int numerator, int denominator) {
  return (2 * value * numerator + denominator) / (2 * denominator);
}

// The average character width from the pixel width of the 52 letters A-Z a-z, rounded the way
// dialog layout has always rounded it.
constexpr int AverageCharacterWidth(int alphabetWidth) { return (alphabetWidth / 26 + 1) / 2; }

constexpr DialogRect ToPixels(DialogRect units, DialogBaseUnits base) {
  return {ScaleRounded(units.x, base.x, 4), ScaleRounded(units.y, base.y, 8), ScaleRounded(units.width, base.x, 4),
          ScaleRounded(units.height, base.y, 8)};
}

}  // namespace rastro
