#!/usr/bin/env bash
# Sets up everything on a fresh Debian 12 machine, builds the optimised program and runs the
# benchmark. Arguments go to the program (see --help); Results.txt is written to the
# directory this script is started from.
set -euo pipefail
here="$(pwd)"
top="$(cd "$(dirname "$0")/.." && pwd)"

# The build reports on stderr, so that standard output carries only the benchmark's own lines.
(cd "$top" && ./scripts/install-deps.sh && cmake --preset release >/dev/null &&
  cmake --build --preset release --target rastrometer) >&2
cd "$here"
exec "$top/build/release/src/app/rastrometer" "$@"
