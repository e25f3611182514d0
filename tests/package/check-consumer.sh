#!/usr/bin/env bash
# Runs the consumer program against Rastrometer's shared libraries (a build tree's or the
# installed package's) and checks what it printed against values worked out by hand:
#   check-consumer.sh CONSUMER TEXTURE1_JPG
# texture1.jpg is 512x512 (ImageMagick's identify says so), so the texture has a full chain of
# 10 levels in D3DFMT_X8R8G8B8 (22); "ps_2_0 / def c0 / mov oC0, c0" is the version token
# 0xFFFF0200, def (1 + 5 tokens), mov (1 + 2) and the end token: 11 tokens, 44 bytes.
#
# It also checks that the libraries share one process-wide state: the texture loader mutes the
# Direct3D layer's debug output while it probes formats, so at RASTROMETER_D3D_DEBUG=2 the
# probes that the device declines are printed only when D3DXDoNotMute=1 keeps the loader from
# muting. A loader with a mute switch of its own would let them through either way.
set -euo pipefail
consumer="$1"
image="$2"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
failures=0

fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

# The device's debug lines printed between the consumer's load markers.
lines_during_load() {
  sed -n '/^consumer: loading /,/^consumer: loaded$/p' "$1" | grep -c '^Direct3D9: ' || true
}

if ! "$consumer" "$image" >"$scratch/out" 2>"$scratch/err"; then
  fail "the consumer failed"
  cat "$scratch/err" >&2
fi
cat "$scratch/out"
expected_texture="texture: 512x512, 10 levels, format 22"
expected_shader="shader: first token 0xFFFF0200, 44 bytes"
grep -qxF "$expected_texture" "$scratch/out" || fail "expected '$expected_texture'"
grep -qxF "$expected_shader" "$scratch/out" || fail "expected '$expected_shader'"
grep -qE '^validator: .*error X5[0-9]{3}: ' "$scratch/out" || fail "the shader validator did not reject the shader"

RASTROMETER_D3D_DEBUG=2 "$consumer" "$image" >/dev/null 2>"$scratch/muted" || fail "the consumer failed at RASTROMETER_D3D_DEBUG=2"
RASTROMETER_D3D_DEBUG=2 D3DXDoNotMute=1 "$consumer" "$image" >/dev/null 2>"$scratch/unmuted" ||
  fail "the consumer failed with D3DXDoNotMute=1"
muted=$(lines_during_load "$scratch/muted")
unmuted=$(lines_during_load "$scratch/unmuted")
echo "debug lines during the texture load: $muted muted, $unmuted with D3DXDoNotMute=1"
[ "$unmuted" -gt 0 ] || fail "no declined probe printed with D3DXDoNotMute=1: the check proves nothing"
[ "$muted" -eq 0 ] || fail "the loader's mute did not reach the Direct3D library's debug output"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed" >&2
  exit 1
fi
echo "consumer checks passed"
