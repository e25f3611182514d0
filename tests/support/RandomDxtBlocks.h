// Random blocks for comparing the DXT encoders with each other: mostly the pixels a picture
// gives (smooth, with a few colours), and often the corners of the encoder's decisions: all
// transparent, alphas of exactly 0, 0.5 and 1, a single colour, colours on the 5:6:5 grid, and
// values outside [0, 1] (NaN and infinities included).
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "DxtBlock.h"

namespace rastro::testing {

class RandomDxtBlocks {
 public:
  explicit RandomDxtBlocks(std::uint32_t seed) : random_(seed) {}

  BlockPixels Next() {
    BlockPixels block;
    const unsigned shape = Below(10);
    float base[4], step[4];
    for (int c = 0; c < 4; ++c) {
      base[c] = Unit();
      step[c] = (Unit() - 0.5f) * 0.2f;
    }
    for (int i = 0; i < 16; ++i) {
      for (int c = 0; c < 4; ++c) {
        float& v = block.rgba[i][c];
        switch (shape) {
          case 0: v = Unit(); break;                                                                  // noise
          case 1: v = base[c]; break;                                                                 // one colour
          case 2: v = static_cast<float>(Below(c == 1 ? 64 : 32)) / (c == 1 ? 63.0f : 31.0f); break;  // the grid
          case 3: v = Below(2) ? base[c] : base[(c + 1) & 3]; break;                                  // two colours
          case 4: v = Special(); break;  // edges of the range
          default: v = base[c] + step[c] * static_cast<float>(i & 3) + step[(c + 1) & 3] * static_cast<float>(i >> 2);
        }
      }
      // Alpha decides DXT1's mode and DXT5's: exact 0, 0.5 and 1 often.
      if (shape >= 5 && Below(3) == 0) block.rgba[i][3] = static_cast<float>(Below(3)) * 0.5f;
    }
    if (Below(16) == 0) {
      for (auto& pixel : block.rgba) pixel[3] = Below(2) ? 0.0f : 1.0f;
    }
    return block;
  }

 private:
  unsigned Below(unsigned n) { return static_cast<unsigned>(random_() % n); }
  float Unit() { return static_cast<float>(random_() >> 8) / 16777216.0f; }
  float Special() {
    static constexpr float kValues[] = {0.0f,
                                        1.0f,
                                        0.5f,
                                        -0.0f,
                                        -0.25f,
                                        1.5f,
                                        0.49999997f,
                                        0.50000006f,
                                        std::numeric_limits<float>::quiet_NaN(),
                                        std::numeric_limits<float>::infinity(),
                                        -std::numeric_limits<float>::infinity(),
                                        1e-40f,
                                        0.99999994f};
    return Below(3) ? kValues[Below(sizeof kValues / sizeof kValues[0])] : Unit();
  }

  std::mt19937 random_;
};

}  // namespace rastro::testing
