#!/usr/bin/env bash
# The benchmark end to end on OpenGL without a display: a repeated run records itself as JSON
# (checked against the committed schema) and in a fresh results store, where `results list`
# and `results compare` find it. Uses the optimised build (cmake --preset release).
#   scripts/check-run-record.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/release}"
program="$build/src/app/rastrometer"
[ -x "$program" ] || { echo "check-run-record: $program is missing; build the release preset first" >&2; exit 1; }
python3 -c 'import jsonschema' 2>/dev/null ||
  { echo "check-run-record: needs python3-jsonschema (scripts/install-deps.sh installs it)" >&2; exit 1; }

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
store="$work/results.db"
(cd "$work" && "$OLDPWD/$program" --headless --mode 640x480 --seconds 0.05 --runs 3 --json run.json --store "$store" \
  > run.log 2>&1) || { cat "$work/run.log" >&2; exit 1; }

python3 - "$work/run.json" src/results/RunRecord.schema.json "$work/Results.txt" <<'PY'
import json, re, sys
record, schema = json.load(open(sys.argv[1])), json.load(open(sys.argv[2]))
import jsonschema
jsonschema.Draft202012Validator(schema).validate(record)
assert record["settings"]["runs"] == 3, record["settings"]
assert record["adapter"]["glRenderer"], "no GL renderer string"
measured = [t for t in record["tests"] if t["status"] == "measured"]
assert len(record["tests"]) == 16 and measured, [t["status"] for t in record["tests"]]
for test in measured:
    assert len(test["passRates"]) == 3 and all(len(f) > 0 for f in test["frameRates"]), test["name"]
# Results.txt holds each test's median over the passes, as "%f" prints it.
results = open(sys.argv[3]).read()
for test in measured:
    line = "%s - %fM pixels/sec" % (test["name"], sorted(test["passRates"])[1])
    assert line in results, (line, results)
print("run record valid: %d of 16 tests measured in 3 passes" % len(measured))
PY

"$program" results list --store "$store" | tee "$work/list.txt"
grep -q '^ *1  .*640x480 .*  3  ' "$work/list.txt" || { echo "check-run-record: the run is not listed" >&2; exit 1; }
"$program" results compare 1 1 --store "$store" | tee "$work/compare.txt"
grep -q '^FFP - Pure fillrate .* 1\.000  no clear difference' "$work/compare.txt" ||
  { echo "check-run-record: compare does not show the run" >&2; exit 1; }
echo "check-run-record: passed"
