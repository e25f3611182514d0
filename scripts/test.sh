#!/usr/bin/env bash
# Sets up everything on a fresh Debian 12 machine, builds, and runs the unit tests.
#   scripts/test.sh          the debug build (preset dev)
#   scripts/test.sh asan     the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"

./scripts/install-deps.sh
# Cached objects are shared between checkouts: paths inside the checkout hash as relative ones.
export CCACHE_BASEDIR="$(cd .. && pwd)" CCACHE_NOHASHDIR=1
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)"
