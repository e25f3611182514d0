#!/usr/bin/env bash
# Installs every Debian package Rastrometer needs to build, test, fuzz and run. The results
# tests start their own PostgreSQL 15 server (postgresql-15) and check the HTML report in
# headless chromium; the JSON record is validated with python3-jsonschema.
# Does nothing when they are all present. Run as root (or with sudo available).
set -euo pipefail

packages=(
  build-essential g++ cmake ninja-build pkg-config bison
  libjpeg62-turbo-dev libpng-dev zlib1g-dev
  libsdl2-dev libepoxy-dev libgtk-3-dev
  libgl1-mesa-dri libegl-mesa0 libegl1 libgles2 mesa-utils-bin
  libgtest-dev libgmock-dev libbenchmark-dev
  clang llvm libclang-rt-14-dev clang-format
  xvfb xauth locales libx11-dev libxtst-dev
  imagemagick netpbm libjpeg-turbo-progs hyperfine ccache
  scdoc man-db groff-base bash-completion
  debhelper dpkg-dev lintian libjpeg-dev pkgconf
  libsqlite3-dev libpq-dev nlohmann-json3-dev
  postgresql-15 chromium fonts-dejavu-core python3-jsonschema
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi

# A locale that writes decimal commas, for the tests that prove number handling ignores the
# caller's locale.
generate_locale() {
  if ! locale -a 2>/dev/null | grep -qx 'de_DE.utf8'; then
    "${sudo_cmd[@]}" localedef -i de_DE -c -f UTF-8 de_DE.UTF-8
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  generate_locale
  exit 0
fi

echo "install-deps: installing ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
generate_locale
