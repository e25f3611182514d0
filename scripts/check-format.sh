#!/usr/bin/env bash
# Checks that every C++ source in the repository is laid out as .clang-format says.
#   scripts/check-format.sh          report the files that differ (exit status 1 if any)
#   scripts/check-format.sh --fix    rewrite them in place
set -euo pipefail
cd "$(dirname "$0")/.."
formatter="${CLANG_FORMAT:-clang-format}"
mapfile -t files < <(git ls-files '*.cpp' '*.h' '*.c')
if [ "${1:-}" = "--fix" ]; then
  "$formatter" -i "${files[@]}"
  exit 0
fi
report="$(mktemp)"
trap 'rm -f "$report"' EXIT
if ! "$formatter" --dry-run --Werror "${files[@]}" 2>"$report"; then
  grep -o '^[^:]*:[0-9]*:[0-9]*: error' "$report" | cut -d: -f1 | sort -u | sed 's/^/not formatted: /' >&2
  echo "run scripts/check-format.sh --fix" >&2
  exit 1
fi
