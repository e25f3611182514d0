#!/usr/bin/env bash
# Checks what a shared library offers other programs:
#   check-exports.sh LIBRARY SONAME EXPORT... [-- PRIVATE...]
# The library's SONAME must be SONAME, its dynamic symbol table must define exactly the
# functions EXPORT... (C names, or C++ names without their parameters), and its full symbol
# table must define none of PRIVATE... (state that belongs to another library: a copy here
# would not be the one the caller's devices use).
set -euo pipefail
library="$1"
soname="$2"
shift 2
expected=()
private=()
while [ $# -gt 0 ] && [ "$1" != "--" ]; do
  expected+=("$1")
  shift
done
[ $# -gt 0 ] && shift
private=("$@")
failures=0

actual_soname=$(readelf -d "$library" | sed -n 's/.*Library soname: \[\(.*\)\]/\1/p')
if [ "$actual_soname" != "$soname" ]; then
  echo "FAIL: SONAME is '$actual_soname', expected '$soname'" >&2
  failures=$((failures + 1))
fi

# "ADDRESS T name(params)" -> "name"
exported=$(nm -D --defined-only -C "$library" | cut -d' ' -f3- | sed 's/(.*//' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [ "$exported" != "$wanted" ]; then
  echo "FAIL: $library exports something else than its published entry points:" >&2
  diff <(echo "$wanted") <(echo "$exported") | sed -n 's/^</  missing: /p; s/^>/  extra:   /p' >&2
  failures=$((failures + 1))
fi

for name in ${private[@]+"${private[@]}"}; do
  if nm --defined-only "$library" | awk '{print $3}' | grep -qxF "$name"; then
    echo "FAIL: $library has its own $name" >&2
    failures=$((failures + 1))
  fi
done

[ "$failures" -eq 0 ] || exit 1
echo "$(basename "$library"): $soname, exports $(echo "$exported" | wc -l) entry points and nothing else"
