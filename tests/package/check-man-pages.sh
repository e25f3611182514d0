#!/usr/bin/env bash
# Renders each manual page as man(1) and lintian do and fails on any warning:
#   check-man-pages.sh PAGE...
set -uo pipefail
status=0
for page in "$@"; do
  if [ ! -s "$page" ]; then
    echo "FAIL: $page is missing or empty" >&2
    status=1
    continue
  fi
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "FAIL: $page:" >&2
    echo "$warnings" >&2
    status=1
  else
    echo "$(basename "$page"): renders without warnings"
  fi
done
exit "$status"
