#!/usr/bin/env bash
# Whoever adds an option documents it in both places:
#   check-help-matches-man.sh PROGRAM MAN_SOURCE.scd
# The options that `PROGRAM --help` mentions must be the options the manual page defines (its
# lines that start with a bold option, such as "*--mode* _WxH_" or "*-h*, *--help*"); and for
# a program with subcommands ("PROGRAM NAME ..." lines in --help), the subcommands must be the
# manual page's synopsis entries.
set -euo pipefail
program="$1"
page="$2"
name=$(basename "$program")

help=$("$program" --help)
help_options=$(grep -oE '(^|[^A-Za-z0-9_-])--?[A-Za-z][-A-Za-z]*' <<<"$help" | grep -oE -- '--?[A-Za-z][-A-Za-z]*$' | sort -u)
page_options=$(grep -E '^\*-' "$page" | grep -oE '\*--?[A-Za-z][-A-Za-z]*\*' | tr -d '*' | sort -u)
help_commands=$( (grep -oE "^ *$name [a-z][a-z-]*" <<<"$help" || true) | awk '{ print $2 }' | sort -u)
page_commands=$( (grep -oE "^\*$name [a-z][a-z-]*\*" "$page" || true) | tr -d '*' | awk '{ print $2 }' | sort -u)

status=0
compare() {
  if [ "$2" != "$3" ]; then
    echo "FAIL: $name: the $1 of --help and of $(basename "$page") differ:" >&2
    diff <(echo "$2") <(echo "$3") | sed -n 's/^</  only in --help:     /p; s/^>/  only in the manual: /p' >&2
    status=1
  fi
}
compare options "$help_options" "$page_options"
compare subcommands "$help_commands" "$page_commands"
[ -n "$help_options" ] || { echo "FAIL: $name --help mentions no option" >&2; status=1; }
[ "$status" -eq 0 ] && echo "$name: --help and the manual page list the same $(echo "$help_options" | wc -l) options"
exit "$status"
