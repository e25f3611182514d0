#!/usr/bin/env bash
# Exercises the bash completion of the three programs as bash would call it:
#   check-completion.sh COMPLETION_DIR RASTROMETER RASTRO_TEX RASTRO_ASM
# The options each completion offers must be the options the program's --help lists; values
# and files are offered where they belong; and every format offered for --format converts.
set -uo pipefail
completions=$(realpath "$1")
rastrometer=$(realpath "$2")
rastro_tex=$(realpath "$3")
rastro_asm=$(realpath "$4")

source /usr/share/bash-completion/bash_completion || exit 1
for script in rastrometer rastro-tex rastro-asm; do
  source "$completions/$script" || exit 1
done

# Outside a real completion compopt has nothing to set.
compopt() { :; }

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
touch a.png b.DDS notes.txt x.bin y.psh
mkdir sub
failures=0

# Prints the candidates for the command line WORD... (the last word is being completed), sorted.
candidates() {
  local function=$1
  shift
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  local previous=""
  [ $# -gt 1 ] && previous=${COMP_WORDS[COMP_CWORD - 1]}
  "$function" "$1" "${COMP_WORDS[COMP_CWORD]}" "$previous"
  printf '%s\n' "${COMPREPLY[@]}" | sort -u | sed '/^$/d'
}

options_of_help() {
  "$1" --help | grep -oE '(^|[^A-Za-z0-9_-])--?[A-Za-z][-A-Za-z]*' | grep -oE -- '--?[A-Za-z][-A-Za-z]*$' | sort -u
}

expect_equal() {
  if [ "$2" != "$3" ]; then
    echo "FAIL: $1" >&2
    diff <(echo "$2") <(echo "$3") | sed -n 's/^</  expected: /p; s/^>/  offered:  /p' >&2
    failures=$((failures + 1))
  fi
}

expect_offered() {  # DESCRIPTION CANDIDATES WORD...: each WORD is among CANDIDATES
  local word
  for word in "${@:3}"; do
    grep -qxF -- "$word" <<<"$2" || {
      echo "FAIL: $1: '$word' not offered (offered: $(echo $2))" >&2
      failures=$((failures + 1))
    }
  done
}

expect_not_offered() {
  local word
  for word in "${@:3}"; do
    if grep -qxF -- "$word" <<<"$2"; then
      echo "FAIL: $1: '$word' offered" >&2
      failures=$((failures + 1))
    fi
  done
}

# Options: the same as --help's.
expect_equal "rastrometer's options" "$(options_of_help "$rastrometer")" "$(candidates _rastrometer "$rastrometer" -)"
expect_equal "rastro-asm's options" "$(options_of_help "$rastro_asm")" "$(candidates _rastro_asm "$rastro_asm" -)"
tex_options=$( (candidates _rastro_tex "$rastro_tex" -
  candidates _rastro_tex "$rastro_tex" info -
  candidates _rastro_tex "$rastro_tex" convert a.png -) | sort -u)
expect_equal "rastro-tex's options" "$(options_of_help "$rastro_tex")" "$tex_options"
expect_offered "rastro-tex's commands" "$(candidates _rastro_tex "$rastro_tex" '')" info convert

# Values and files.
expect_equal "--format DXT" "$(printf 'DXT%s\n' 1 2 3 4 5)" \
  "$(candidates _rastro_tex "$rastro_tex" convert a.png out.dds --format DXT)"
expect_equal "--filter box+mirror-" "$(printf 'box+mirror-%s\n' u v w)" \
  "$(candidates _rastro_tex "$rastro_tex" convert a.png out.dds --mipfilter box+mirror-)"
input=$(candidates _rastro_tex "$rastro_tex" convert '')
expect_offered "convert's input" "$input" a.png b.DDS sub
expect_not_offered "convert's input" "$input" notes.txt x.bin
output=$(candidates _rastro_tex "$rastro_tex" convert --format DXT1 a.png '')
expect_offered "convert's output" "$output" b.DDS
expect_not_offered "convert's output" "$output" a.png notes.txt
listed=$(candidates _rastro_asm "$rastro_asm" -d '')
expect_offered "rastro-asm -d" "$listed" x.bin
expect_not_offered "rastro-asm -d" "$listed" y.psh a.png
source=$(candidates _rastro_asm "$rastro_asm" '')
expect_offered "rastro-asm's source" "$source" y.psh
expect_not_offered "rastro-asm's source" "$source" x.bin
# Modes come from the program's --list of this machine; every adapter lists 640x480.
modes=$(candidates _rastrometer "$rastrometer" --mode 640)
expect_offered "--mode 640" "$modes" 640x480
expect_offered "--depth" "$(candidates _rastrometer "$rastrometer" --depth '')" D24S8

# Every format offered is one the converter takes: a 4x4 image converts to each.
{
  printf 'P6\n4 4\n255\n'
  for _ in $(seq 16); do printf '\x20\x80\xf0'; done
} >image.ppm
formats=$(candidates _rastro_tex "$rastro_tex" convert image.ppm out.dds --format '')
[ "$(echo "$formats" | wc -l)" -ge 40 ] || {
  echo "FAIL: only $(echo "$formats" | wc -l) formats offered" >&2
  failures=$((failures + 1))
}
for format in $formats; do
  if ! "$rastro_tex" convert image.ppm out.dds --format "$format" 2>err.txt; then
    echo "FAIL: --format $format is offered but does not convert: $(cat err.txt)" >&2
    failures=$((failures + 1))
  fi
done

if [ "$failures" -ne 0 ]; then
  echo "$failures completion check(s) failed" >&2
  exit 1
fi
echo "completion checks passed ($(echo "$formats" | wc -l) formats converted)"
