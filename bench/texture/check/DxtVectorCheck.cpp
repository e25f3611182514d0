// Compares the vector DXT encoders with the single-block encoders on many random blocks (the
// unit tests run a few thousand; this runs as many as asked, 10 million for a release):
//   dxt_vector_check [BLOCKS] [SEED]
// Every block is encoded in all five formats by the single-block encoder and by
// EncodeDxtBlocks at each vector level the processor has; any difference is reported and
// makes the exit status 1.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "DxtBlock.h"
#include "ProcessorFeatures.h"
#include "RandomDxtBlocks.h"

int main(int argc, char** argv) {
  using namespace rastro;
  const long long total = argc > 1 ? std::atoll(argv[1]) : 10000000LL;
  const std::uint32_t seed = argc > 2 ? static_cast<std::uint32_t>(std::atoll(argv[2])) : 1;
  constexpr BlockEncoder kEncoders[] = {EncodeDxt1Block, EncodeDxt2Block, EncodeDxt3Block, EncodeDxt4Block,
                                        EncodeDxt5Block};
  std::vector<VectorLevel> levels;
  for (VectorLevel level : {VectorLevel::Sse2, VectorLevel::Avx2})
    if (static_cast<int>(level) <= static_cast<int>(DetectVectorLevel())) levels.push_back(level);

  testing::RandomDxtBlocks random(seed);
  constexpr std::size_t kBatch = 4093;  // prime: lanes start at every offset across batches
  std::vector<BlockPixels> blocks(kBatch);
  std::vector<std::uint8_t> single(kBatch * 16), batched(kBatch * 16);
  long long done = 0, differing = 0;
  const auto start = std::chrono::steady_clock::now();
  while (done < total) {
    const std::size_t count = static_cast<std::size_t>(std::min<long long>(kBatch, total - done));
    for (std::size_t b = 0; b < count; ++b) blocks[b] = random.Next();
    for (int k = 0; k < 5; ++k) {
      const std::size_t bytes = k == 0 ? kDxt1BlockBytes : kDxt2To5BlockBytes;
      for (std::size_t b = 0; b < count; ++b) kEncoders[k](single.data() + b * bytes, blocks[b]);
      for (VectorLevel level : levels) {
        OverrideVectorLevel(level);
        EncodeDxtBlocks(static_cast<DxtKind>(k), blocks.data(), batched.data(), count);
        for (std::size_t b = 0; b < count; ++b) {
          if (std::memcmp(single.data() + b * bytes, batched.data() + b * bytes, bytes) != 0) {
            if (++differing <= 10)
              std::printf("block %lld, DXT%d, level %d: differs\n", done + static_cast<long long>(b), k + 1,
                          static_cast<int>(level));
          }
        }
      }
    }
    done += static_cast<long long>(count);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%lld random blocks, 5 formats, %zu vector levels: %lld differences (%.1f s)\n", done, levels.size(),
              differing, seconds);
  return differing == 0 ? 0 : 1;
}
