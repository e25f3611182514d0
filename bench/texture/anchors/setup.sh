#!/bin/sh
# The benchmark set-up for comparing the texture loader with other tools: installs the anchors
# (nvcompress from libnvtt-bin, libsquish; never dependencies of the product, only black boxes
# to time and compare against) and makes the test photographs from a Debian package of
# wallpapers. Usage: bench/texture/anchors/setup.sh [DIR]   (default: build/photos)
set -eu
out=${1:-build/photos}
sudo_=""
[ "$(id -u)" -eq 0 ] || sudo_=sudo
$sudo_ apt-get install -y --no-install-recommends libnvtt-bin libsquish-dev imagemagick hyperfine >/dev/null
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(cd "$work" && apt-get download mate-backgrounds >/dev/null && dpkg-deb -x mate-backgrounds_*.deb root)
# A photograph of a painting, 5640 x 3172: detailed and colourful.
photo="$work/root/usr/share/backgrounds/mate/abstract/Elephants_5640x3172.jpg"
convert "$photo" -gravity center -crop 2048x2048+0+0 +repage "$out/photo-2048.png"
convert "$photo" -gravity center -crop 3172x3172+0+0 +repage -resize 4096x4096 "$out/photo-4096.png"
echo "photos in $out: photo-2048.png, photo-4096.png"
