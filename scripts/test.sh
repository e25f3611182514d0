#!/usr/bin/env bash
# Sets up everything on a fresh Debian 12 machine, builds, and runs the unit tests.
#   scripts/test.sh          the debug build (preset dev)
#   scripts/test.sh asan     the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"

./scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)"
