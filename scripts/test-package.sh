#!/usr/bin/env bash
# Installs the Debian packages that scripts/package.sh built, uses them as a user and as a
# program outside the tree would, removes them and checks that nothing is left behind:
#   scripts/test-package.sh [DIR]        (DIR: where the .deb files are; default build/deb)
# Needs root (or sudo): it installs into /usr. Any Rastrometer package installed before is
# removed first.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
debs="$(realpath "${1:-$top/build/deb}")"
started=$SECONDS

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
export DEBIAN_FRONTEND=noninteractive
packages=(rastrometer rastrometer-dev librastrometer-d3d9-0 librastrometer-d3dx9tex0 librastrometer-d3dx9shader0)
files=()
for package in "${packages[@]}"; do
  file=$(ls "$debs/${package}_"*.deb 2>/dev/null | head -n 1 || true)
  if [ -z "$file" ]; then
    echo "test-package.sh: no ${package}_*.deb in $debs; run scripts/package.sh first" >&2
    exit 2
  fi
  files+=("$file")
done
version=$(dpkg-deb -f "${files[0]}" Version)

# Each step passes when none of its checks failed.
failures=0
steps_passed=0
steps_failed=0
step_failures=0
step_open=false
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
end_step() {
  if $step_open; then
    if [ "$failures" -eq "$step_failures" ]; then
      steps_passed=$((steps_passed + 1))
    else
      steps_failed=$((steps_failed + 1))
    fi
  fi
  step_failures=$failures
}
step() {
  end_step
  step_open=true
  echo "== $*"
}

installed() { dpkg-query -W -f='${Package} ' "${packages[@]}" 2>/dev/null || true; }
remove_packages() {
  "${sudo_cmd[@]}" apt-get remove --purge -y -qq "${packages[@]}" >/dev/null 2>&1 || true
}
if [ -n "$(installed)" ]; then
  echo "test-package.sh: removing the Rastrometer packages installed before: $(installed)"
  remove_packages
fi

scratch="$(mktemp -d)"
chmod 755 "$scratch"
cleanup() {
  remove_packages
  rm -rf "$scratch"
}
trap cleanup EXIT

step "apt-get install ${files[*]##*/}"
"${sudo_cmd[@]}" apt-get install -y -qq "${files[@]}" >"$scratch/apt.log" 2>&1 || {
  cat "$scratch/apt.log" >&2
  exit 1
}

# From an empty folder, with no display: what a user on a headless machine sees.
work="$scratch/empty"
mkdir "$work"
cd "$work"
unset DISPLAY WAYLAND_DISPLAY

step "--version"
for program in rastrometer rastro-tex rastro-asm; do
  line=$("$program" --version)
  echo "$line"
  [[ $line =~ ^$program\ ${version//./\\.}\ \(built\ from\ commit\ [0-9a-f]{7,}(-dirty)?\)$ ]] ||
    fail "$program --version printed '$line', expected the version $version and a commit"
done

step "a short headless run"
run_started=$SECONDS
if ! rastrometer --headless --mode 640x480 --seconds 0.05 >run.log 2>&1; then
  cat run.log >&2
  fail "the headless run failed"
fi
echo "ran in $((SECONDS - run_started))s"
# Every test must have measured: the textured and shader tests fail without their data, which
# the package puts in /usr/share/rastrometer (the tree the program was built from is gone).
if [ -f Results.txt ]; then
  rates=$(grep -cE ' - [0-9]+\.[0-9]+M pixels/sec$' Results.txt || true)
  echo "Results.txt: $rates of 16 tests measured"
  [ "$rates" -eq 16 ] || {
    cat Results.txt >&2
    fail "Results.txt has $rates measured tests, expected 16"
  }
else
  fail "no Results.txt in the working directory"
fi

step "manual pages"
for program in rastrometer rastro-tex rastro-asm; do
  page=$(man -w "$program" 2>/dev/null || true)
  [ "$page" = "/usr/share/man/man1/$program.1.gz" ] || fail "man -w $program found '$page'"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "/usr/share/man/man1/$program.1.gz" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then fail "man -l $program.1.gz: $warnings"; else echo "$program(1) renders without warnings"; fi
done

step "bash completion"
for program in rastrometer rastro-tex rastro-asm; do
  # The loader answers 124 ("try again") once it has loaded a completion.
  found=$(bash -c "source /usr/share/bash-completion/bash_completion; _completion_loader $program; complete -p $program" 2>&1 || true)
  if [[ $found == "complete -F "*" $program" ]]; then
    echo "$found"
  else
    fail "bash-completion does not load the completion of $program: $found"
  fi
done

step "rastro-tex and rastro-asm on the installed data"
# texture1.jpg is 512x512: a full chain of 10 levels of X8R8G8B8, as the benchmark loads it.
rastro-tex convert /usr/share/rastrometer/texture1.jpg texture1.dds || fail "rastro-tex convert failed"
info=$(rastro-tex info texture1.dds || true)
echo "$info"
[ "$info" = "texture1.dds: DDS, 512 x 512, depth 1, 10 mip levels, texture, D3DFMT_X8R8G8B8" ] ||
  fail "rastro-tex info on the converted texture"
# A ps_2_0 shader starts with the version token 0xFFFF0200.
rastro-asm /usr/share/rastrometer/PerPixelLightingPS20.psh -o ps.bin || fail "rastro-asm failed"
first=$(od -A n -t x4 -N 4 ps.bin | tr -d ' ')
echo "PerPixelLightingPS20.psh: first token 0x$first"
[ "$first" = "ffff0200" ] || fail "the assembled shader starts with 0x$first"
[ "$(rastro-asm -d ps.bin | head -n 1)" = "ps_2_0" ] || fail "rastro-asm -d does not list the shader back"

step "each installed header compiles on its own"
for header in /usr/include/rastrometer/*.h; do
  echo "#include <$(basename "$header")>" |
    g++ -std=c++17 -Wall -Wextra -Werror -fsyntax-only -x c++ - $(pkg-config --cflags rastrometer-d3d9) ||
    fail "$header does not compile on its own"
done
echo "$(ls /usr/include/rastrometer/*.h | wc -l) headers"

step "a consumer program built with pkg-config"
consumer="$scratch/consumer"
mkdir "$consumer"
cp "$top/tests/package/consumer/consumer.cpp" "$top/tests/package/consumer/CMakeLists.txt" "$consumer/"
# shellcheck disable=SC2046
g++ -std=c++17 -Wall -Wextra -Werror "$consumer/consumer.cpp" -o "$consumer/with-pkg-config" \
  $(pkg-config --cflags --libs rastrometer-d3dx9tex rastrometer-d3dx9shader) ||
  fail "the consumer does not build with pkg-config"
"$top/tests/package/check-consumer.sh" "$consumer/with-pkg-config" /usr/share/rastrometer/texture1.jpg ||
  fail "the consumer built with pkg-config"

step "a consumer program built with find_package(Rastrometer)"
if cmake -S "$consumer" -B "$consumer/build" -G Ninja >"$consumer/cmake.log" 2>&1 &&
  cmake --build "$consumer/build" >>"$consumer/cmake.log" 2>&1; then
  "$top/tests/package/check-consumer.sh" "$consumer/build/rastrometer-consumer" /usr/share/rastrometer/texture1.jpg ||
    fail "the consumer built with find_package"
else
  cat "$consumer/cmake.log" >&2
  fail "the consumer does not build with find_package(Rastrometer)"
fi

step "remove the packages"
for package in "${packages[@]}"; do dpkg -L "$package"; done | sort -u >"$scratch/owned"
cd "$scratch"
"${sudo_cmd[@]}" apt-get remove --purge -y -qq "${packages[@]}" >"$scratch/apt.log" 2>&1 || {
  cat "$scratch/apt.log" >&2
  fail "apt-get remove failed"
}
for package in "${packages[@]}"; do
  if dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q .; then
    fail "$package is still known to dpkg: $(dpkg-query -W -f='${Status}' "$package")"
  fi
  [ -z "$(dpkg -L "$package" 2>/dev/null)" ] || fail "dpkg -L $package still lists files"
done
# Every file the packages owned is gone (directories shared with other packages stay).
while read -r path; do
  if [ -d "$path" ] && [ ! -L "$path" ]; then continue; fi
  if [ -e "$path" ] || [ -L "$path" ]; then fail "$path is left after removal"; fi
done <"$scratch/owned"
left=$(find /usr -iname '*rastro*' 2>/dev/null || true)
[ -z "$left" ] || fail "left in /usr: $left"
echo "removed: $(wc -l <"$scratch/owned") paths owned, none left; nothing named *rastro* in /usr"

end_step
echo "test-package.sh: finished in $((SECONDS - started))s"
echo "package: $steps_passed passed, $steps_failed failed"
[ "$failures" -eq 0 ]
