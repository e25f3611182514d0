// Builds the box-filtered levels below a level while that level is still being written: each
// time two more of its rows are final, the row they make in the next level is averaged at once,
// and so on down the chain, so every row is halved while it is still in the processor's cache
// rather than after the whole level has been written out to memory.
#pragma once

#include <vector>

#include "BoxFastPath.h"

namespace rastro {

class StreamingBoxChain {
 public:
  // One level in memory: its first pixel, row pitch and size.
  struct Level {
    BYTE* Data;
    UINT RowPitch;
    UINT Width;
    UINT Height;
  };

  // levels[0] is the level being written; each later level is the integer box halving of the
  // one before it by `routine`, exactly as a whole-level halving with that routine gives:
  // source rows 2k and 2k + 1 (an odd last row and column left out) make row k. Every level
  // after the first must be floor(half) of the one before in both directions, and every
  // level but the last at least 2 x 2.
  StreamingBoxChain(HalvingRoutine routine, std::vector<Level> levels);

  // Rows [0, rows) of the first level now hold their final pixels.
  void FirstLevelRowsDone(UINT rows);
  // Whether every row of every later level has been built.
  bool Complete() const;

 private:
  void Advance(std::size_t level, UINT sourceRows);

  HalvingRoutine routine_;
  std::vector<Level> levels_;
  std::vector<UINT> rowsBuilt_;
};

}  // namespace rastro
