#!/usr/bin/env bash
# Builds Rastrometer's Debian packages with Debian's own tools (debhelper through
# dpkg-buildpackage) and checks them with lintian:
#   rastrometer_VERSION_ARCH.deb          the programs, their data, manual pages, completion
#   librastrometer-d3d9-0_VERSION_ARCH.deb, librastrometer-d3dx9tex0_..., librastrometer-d3dx9shader0_...
#                                         the shared libraries
#   rastrometer-dev_VERSION_ARCH.deb      headers, pkg-config files, CMake package
# They are written to build/deb/ (or the directory given with --out DIR). Sets up what it needs
# on a fresh Debian 12 machine first, as scripts/test.sh does.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
out="$top/build/deb"
while [ $# -gt 0 ]; do
  case "$1" in
    --out) out="$(realpath -m "$2")"; shift 2 ;;
    *) echo "usage: scripts/package.sh [--out DIR]" >&2; exit 2 ;;
  esac
done
cd "$top"
started=$SECONDS

./scripts/install-deps.sh

# The package's version is the changelog's; it must be the project's.
project_version=$(sed -n 's/^project(Rastrometer VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
package_version=$(dpkg-parsechangelog -S Version)
if [ "$project_version" != "$package_version" ]; then
  echo "package.sh: CMakeLists.txt says version $project_version, debian/changelog $package_version" >&2
  exit 1
fi

# The sources are built from a copy that dpkg-buildpackage may clean and write beside. A copy
# has no git history, so the commit is passed along for --version.
revision=""
if [ "$(git rev-parse --show-toplevel 2>/dev/null)" = "$top" ]; then
  revision=$(git describe --tags --always --dirty --abbrev=12)
fi
source="$out/source"
mkdir -p "$out"
# Only what an earlier run left: --out may name a folder that holds other files.
rm -rf "$source" "$out"/*.deb "$out"/rastrometer_*.changes "$out"/rastrometer_*.buildinfo "$out"/build.log \
  "$out"/ccache.log "$out"/lintian.txt
mkdir "$source"
if [ -n "$revision" ]; then
  git ls-files -z --cached --others --exclude-standard -- . ':!fuzz/corpus' |
    tar --null --files-from=- --ignore-failed-read -cf - | tar -xf - -C "$source"
else
  tar --exclude=./build --exclude=./.git --exclude=./fuzz/corpus -cf - . | tar -xf - -C "$source"
fi

# Paths hashed relative to the copy let the compiler cache serve every run after the first,
# wherever the checkout is. debhelper gives the build a HOME of its own, so the cache is named.
if command -v ccache >/dev/null; then
  export CCACHE_DIR="${CCACHE_DIR:-$(ccache --get-config cache_dir)}"
  export CCACHE_BASEDIR="$source" CCACHE_NOHASHDIR=1 CCACHE_LOGFILE="$out/ccache.log"
fi
export DEB_BUILD_OPTIONS="parallel=$(nproc) noautodbgsym nocheck"
export RASTRO_SOURCE_REVISION="$revision"
build_started=$SECONDS
(cd "$source" && dpkg-buildpackage --build=binary --no-sign) >"$out/build.log" 2>&1 || {
  tail -n 40 "$out/build.log" >&2
  echo "package.sh: dpkg-buildpackage failed; the whole log is $out/build.log" >&2
  exit 1
}
build_seconds=$((SECONDS - build_started))
if [ -f "$out/ccache.log" ]; then
  hits=$(grep -c 'Result: \(direct\|preprocessed\)_cache_hit' "$out/ccache.log" || true)
  misses=$(grep -c 'Result: cache_miss' "$out/ccache.log" || true)
  echo "compiler cache: $hits of $((hits + misses)) compilations served from the cache"
fi
# The program must find its data where the package puts it, not in the copy it was built from.
rm -rf "$source"

echo "Packages in $out (built in ${build_seconds}s):"
(cd "$out" && ls -1 ./*.deb | sed 's|^\./|  |')

# Lintian: no error and no warning (overrides, each with its reason, live in debian/).
if ! lintian --fail-on error,warning "$out"/*.changes | tee "$out/lintian.txt"; then
  echo "package.sh: lintian found problems (above, and in $out/lintian.txt)" >&2
  exit 1
fi
echo "lintian: no errors or warnings ($(wc -l <"$out/lintian.txt") lines of output)"
echo "package.sh: done in $((SECONDS - started))s"
