#!/usr/bin/env bash
# Compares the throughput of `rastro-asm -E` with `cpp -P` on a generated macro-heavy source of
# about 1 MB. Needs the release build (cmake --preset release && cmake --build --preset release
# --target rastro-asm) and hyperfine.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
work="${1:-/tmp/rastro-preprocessor-bench}"
python3 "$top/scripts/gen-preprocessor-input.py" "$work"
cd "$work"
hyperfine -N --warmup 5 --runs 40 \
  "$top/build/release/tools/rastro-asm/rastro-asm -E main.psh" \
  "cpp -P main.psh" \
  --export-json "$work/results.json"
python3 - "$work/results.json" <<'PY'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
medians = {r["command"]: r["median"] for r in results}
ours, cpp = list(medians.values())
print(f"median rastro-asm -E: {ours * 1000:.1f} ms, median cpp -P: {cpp * 1000:.1f} ms, ratio cpp/rastro-asm: {cpp / ours:.2f}")
PY
