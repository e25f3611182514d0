#!/usr/bin/env bash
# Sets up everything on a fresh Debian 12 machine, builds, and runs the unit tests.
#   scripts/test.sh          the debug build (preset dev)
#   scripts/test.sh asan     the same tests under AddressSanitizer and UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-dev}"

./scripts/install-deps.sh

# Compile through ccache when it is installed (scripts/install-deps.sh installs it), keyed on
# paths relative to the checkout so that other checkouts share the cache.
if command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER="${CMAKE_C_COMPILER_LAUNCHER:-ccache}"
  export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}"
  export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(pwd)}"
fi
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"
ctest --preset "$preset" -j "$(nproc)"
