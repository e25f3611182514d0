#!/bin/sh
# The texture loader against its anchors (run setup.sh first, and build the release preset):
#  1. DXT1/DXT5 encoding of the 2048 x 2048 photo on one thread: codec_bench at every vector
#     level beside libsquish's range fit (squish_bench, OMP_NUM_THREADS=1), three alternations;
#  2. rastro-tex convert of the 4096 x 4096 photo to DXT1 with a full mip chain, wall time with
#     RASTROMETER_THREADS=1, with every core, and nvcompress -fast -bc1, in alternation;
#  3. the PSNR of mip level 4 against box averages of the 2048 x 2048 photo, for rastro-tex's
#     two --mip-source choices and nvcompress -fast -bc1.
# Usage: bench/texture/anchors/compare.sh [PHOTO_DIR] [ROUNDS]   (default: build/photos 5)
set -eu
photos=${1:-build/photos}
rounds=${2:-5}
bench=build/release/bench
tex=build/release/tools/rastro-tex/rastro-tex
here=$(dirname "$0")
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

echo "== DXT encoding, 2048x2048 photo, one thread (CPU time)"
for round in 1 2 3; do
  RASTRO_BENCH_PHOTO=$photos/photo-2048.png $bench/codec_bench --benchmark_filter=Encode --benchmark_min_time=1 2>/dev/null | grep '^Dxt'
  RASTRO_BENCH_PHOTO=$photos/photo-2048.png OMP_NUM_THREADS=1 $bench/squish_bench --benchmark_min_time=1 2>/dev/null | grep '^Squish'
done

echo "== rastro-tex convert, 4096x4096 photo to DXT1 with mips (wall time)"
python3 "$here/alternate.py" "$rounds" \
  "one-thread=RASTROMETER_THREADS=1 $tex convert $photos/photo-4096.png $out/one.dds --format DXT1" \
  "every-core=$tex convert $photos/photo-4096.png $out/all.dds --format DXT1" \
  "nvcompress-fast=nvcompress -fast -bc1 $photos/photo-4096.png $out/nv.dds"
cmp "$out/one.dds" "$out/all.dds" && echo "one thread and every core wrote the same bytes"

echo "== mip level 4 of the 2048x2048 photo against box averages"
$tex convert "$photos/photo-2048.png" "$out/image.dds" --format DXT1 --mip-source image
$tex convert "$photos/photo-2048.png" "$out/level.dds" --format DXT1 --mip-source level
nvcompress -fast -bc1 "$photos/photo-2048.png" "$out/nvfast.dds" >/dev/null
$bench/mip_quality "$photos/photo-2048.png" 4 "$out/image.dds" "$out/level.dds" "$out/nvfast.dds"
