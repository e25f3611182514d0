#include "StreamingBoxChain.h"

#include <cstddef>
#include <utility>

namespace rastro {

StreamingBoxChain::StreamingBoxChain(HalvingRoutine routine, std::vector<Level> levels)
    : routine_(routine), levels_(std::move(levels)), rowsBuilt_(levels_.size(), 0) {}

void StreamingBoxChain::FirstLevelRowsDone(UINT rows) {
  if (levels_.size() > 1) Advance(1, rows);
}

void StreamingBoxChain::Advance(std::size_t level, UINT sourceRows) {
  const Level& source = levels_[level - 1];
  const Level& destination = levels_[level];
  // An odd last column of the source is left out, as whole-level halving leaves it out.
  const UINT sourceWidth = source.Width & ~1u;
  const UINT ready = sourceRows / 2 < destination.Height ? sourceRows / 2 : destination.Height;
  UINT& built = rowsBuilt_[level];
  if (built >= ready) return;
  for (; built < ready; ++built) {
    routine_(source.Data + std::size_t{source.RowPitch} * (2 * built),
             destination.Data + std::size_t{destination.RowPitch} * built, sourceWidth, 2, source.RowPitch,
             destination.RowPitch);
  }
  if (level + 1 < levels_.size()) Advance(level + 1, built);
}

bool StreamingBoxChain::Complete() const {
  for (std::size_t level = 1; level < levels_.size(); ++level) {
    if (rowsBuilt_[level] != levels_[level].Height) return false;
  }
  return true;
}

}  // namespace rastro
