#!/usr/bin/env bash
# Compares the benchmark's rates with native OpenGL programs doing the same work: runs the
# benchmark (headless, all sixteen tests) and a native reference alternately, ROUNDS times each,
# with the same mode, back buffer and Z-buffer formats and measuring time, then prints every
# test's median rates, the ratio of the medians and the median of the per-round ratios.
#
# The reference is bench/d3d/NativeShaderFill.cpp (hand-written GLSL for the pixel-shader tests,
# 7 to 16) unless --glfill names a build of the fixed-function reference program (tests 1 to 6,
# always an RGBA8 colour buffer with a 24/8 depth-stencil buffer: match it with --backbuffer
# X8R8G8B8 --depth D24S8).
#
# With --in-process the alternation is finer: native_shader_fill --device runs the benchmark's
# own tests (the same catalogue entries and device, timed the same way) and the native shaders
# test by test, round by round, in one process. On a machine shared with other work that is the
# steadier figure; the whole-program runs show what the benchmark itself reports.
#
#   scripts/compare-rates.sh [--rounds N] [--seconds S] [--mode WxH] [--backbuffer FORMAT]
#                            [--depth FORMAT] [--in-process] [--glfill PATH] [--no-build] [--keep DIR]
#
# Defaults: 5 rounds, 2 seconds a test, 640x480, A8R8G8B8, D16_LOCKABLE (the benchmark's
# headless defaults). Needs the release build (made unless --no-build) and python3.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"

rounds=5
seconds=2
mode=640x480
backbuffer=A8R8G8B8
depth=D16_LOCKABLE
build=1
in_process=0
glfill=""
work=""
while [ $# -gt 0 ]; do
  case "$1" in
    --rounds) rounds="$2"; shift 2 ;;
    --seconds) seconds="$2"; shift 2 ;;
    --mode) mode="$2"; shift 2 ;;
    --backbuffer) backbuffer="$2"; shift 2 ;;
    --depth) depth="$2"; shift 2 ;;
    --no-build) build=0; shift ;;
    --in-process) in_process=1; shift ;;
    --glfill) glfill="$2"; shift 2 ;;
    --keep) work="$2"; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
if ! [ "$rounds" -ge 1 ] 2>/dev/null; then
  echo "--rounds takes a positive count" >&2
  exit 2
fi

if [ "$build" = 1 ]; then
  (cd "$top" && cmake --preset release >/dev/null &&
    cmake --build --preset release --target rastrometer native_shader_fill >/dev/null)
fi
app="$top/build/release/src/app/rastrometer"
native="$top/build/release/bench/native_shader_fill"

if [ -z "$work" ]; then
  work="$(mktemp -d)"
  trap 'rm -rf "$work"' EXIT
fi
mkdir -p "$work"
export SDL_VIDEODRIVER="${SDL_VIDEODRIVER:-offscreen}"

run_app() {
  local dir="$work/app-$1"
  mkdir -p "$dir"
  (cd "$dir" && "$app" --headless --mode "$mode" --backbuffer "$backbuffer" --depth "$depth" \
    --seconds "$seconds" >/dev/null)
}
run_native() {
  if [ -n "$glfill" ]; then
    "$glfill" "${mode%x*}" "${mode#*x}" "$seconds" >"$work/native-$1.txt"
  else
    "$native" --mode "$mode" --backbuffer "$backbuffer" --depth "$depth" --seconds "$seconds" \
      >"$work/native-$1.txt"
  fi
}

if [ -n "$glfill" ] && [ "$in_process" = 1 ]; then
  echo "--in-process compares the pixel-shader tests only" >&2
  exit 2
fi
if [ "$in_process" = 1 ]; then
  "$native" --mode "$mode" --backbuffer "$backbuffer" --depth "$depth" --seconds "$seconds" \
    --rounds "$rounds" --device >"$work/in-process.txt"
else
  for round in $(seq 1 "$rounds"); do
    echo "round $round of $rounds" >&2
    # Which goes first alternates, so that neither always runs on a warmer or quieter machine.
    if [ $((round % 2)) = 1 ]; then
      run_app "$round"
      run_native "$round"
    else
      run_native "$round"
      run_app "$round"
    fi
  done
fi

python3 - "$work" "$rounds" "$in_process" "$mode" "$backbuffer" "$depth" "$seconds" <<'PY'
import re, statistics, sys
work, rounds, in_process, mode, backbuffer, depth, seconds = sys.argv[1], int(sys.argv[2]), sys.argv[3] == "1", *sys.argv[4:]
line = re.compile(r"^((?:PS|FFP) .*?)( \[device\])? - ([0-9.]+)M pixels/sec")

def rates(path, device):
    found = {}
    with open(path) as f:
        for text in f:
            m = line.match(text.strip())
            if m and bool(m.group(2)) == device:
                found.setdefault(m.group(1), []).append(float(m.group(3)))
    return found

if in_process:
    app_runs = rates(f"{work}/in-process.txt", True)
    native_runs = rates(f"{work}/in-process.txt", False)
    app = [{n: v[r] for n, v in app_runs.items() if r < len(v)} for r in range(rounds)]
    native = [{n: v[r] for n, v in native_runs.items() if r < len(v)} for r in range(rounds)]
else:
    app = [{n: v[0] for n, v in rates(f"{work}/app-{r}/Results.txt", False).items()} for r in range(1, rounds + 1)]
    native = [{n: v[0] for n, v in rates(f"{work}/native-{r}.txt", False).items()} for r in range(1, rounds + 1)]
names = [n for n in native[0] if n in app[0]]
how = "test by test in one process" if in_process else "whole runs"
print(f"{mode} {backbuffer} {depth}, {seconds} s a test, {rounds} alternating rounds ({how}), M pixels/sec")
print(f"{'test':34} {'benchmark':>10} {'native':>10} {'ratio':>7} {'per-round':>10}  lowest")
worst = None
for name in names:
    a = [run[name] for run in app if name in run]
    n = [run[name] for run in native if name in run]
    per_round = [x / y for x, y in zip(a, n)]
    ma, mn = statistics.median(a), statistics.median(n)
    ratio = ma / mn
    worst = ratio if worst is None else min(worst, ratio)
    print(f"{name:34} {ma:10.1f} {mn:10.1f} {ratio:7.3f} {statistics.median(per_round):10.3f}  {min(per_round):.3f}")
print(f"lowest ratio of medians: {worst:.3f}")
PY
