#!/usr/bin/env bash
# Writes the seed files of decode_image_fuzz: one small valid file of every type and variant
# the decoders read. Encoders: ImageMagick (/usr/bin/convert), netpbm, cjpeg; the variants no
# tool writes (RLE4, DDS cubes, volumes and palettes, flat Radiance scanlines, ...) are built
# byte by byte in Python. Run from anywhere; rewrites fuzz/corpus/decode_image_fuzz/seed-*.
set -euo pipefail
out="$(cd "$(dirname "$0")/../corpus" && pwd)/decode_image_fuzz"
mkdir -p "$out"
rm -f "$out"/seed-*
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cd "$work"
C=/usr/bin/convert

$C -size 7x5 gradient:red-blue -depth 8 +noise Uniform -depth 8 src.ppm
$C src.ppm -alpha set -channel A -evaluate set 50% +channel -depth 8 src.pam
$C src.ppm -colorspace gray -depth 8 src.pgm

# PNG: every colour type, bit depths, transparency, interlacing.
pnmtopng -force src.ppm > "$out/seed-rgb8.png"
pnmtopng -force -interlace src.ppm > "$out/seed-rgb8-interlaced.png"
pnmtopng -force -transparent =rgb:00/00/00 src.ppm > "$out/seed-rgb8-trns.png"
pamdepth 65535 src.ppm | pnmtopng -force > "$out/seed-rgb16.png"
pnmtopng -force src.pgm > "$out/seed-grey8.png"
pamdepth 1 src.pgm | pnmtopng -force > "$out/seed-grey1.png"
pamdepth 3 src.pgm | pnmtopng -force > "$out/seed-grey2.png"
pamdepth 15 src.pgm | pnmtopng -force > "$out/seed-grey4.png"
pamdepth 65535 src.pgm | pnmtopng -force -transparent =rgb:4040/4040/4040 > "$out/seed-grey16-trns.png"
$C src.pam -strip PNG32:"$out/seed-rgba8.png"
$C src.pam -strip -depth 16 PNG64:"$out/seed-rgba16.png"
$C src.pam -strip -colorspace gray -define png:color-type=4 "$out/seed-greyalpha8.png"
$C src.pam -strip -colors 6 PNG8:"$out/seed-palette.png"
$C src.ppm -strip -gamma 0.8 -define png:include-chunk=gAMA PNG24:"$out/seed-gamma.png"

# JPEG: colour, grey, progressive, CMYK (refused).
cjpeg -quality 80 src.ppm > "$out/seed-colour.jpg"
cjpeg -grayscale src.ppm > "$out/seed-grey.jpg"
cjpeg -progressive -restart 1 src.ppm > "$out/seed-progressive.jpg"
$C src.ppm -colorspace CMYK "$out/seed-cmyk.jpg"

# BMP and TGA from the tools.
ppmtobmp -bpp 24 src.ppm > "$out/seed-rgb24.bmp"
ppmtobmp -os2 src.ppm > "$out/seed-os2.bmp"
pnmquant 8 src.ppm | ppmtobmp -bpp 4 > "$out/seed-palette4.bmp"
pnmquant 200 src.ppm | ppmtobmp -bpp 8 > "$out/seed-palette8.bmp"
pamthreshold src.pgm | pamtopnm | ppmtobmp -bpp 1 > "$out/seed-mono.bmp"
$C src.ppm -colors 20 -compress RLE BMP3:"$out/seed-rle8.bmp"
$C src.pam BMP:"$out/seed-bgra.bmp"
ppmtotga -rgb -norle src.ppm > "$out/seed-rgb.tga"
ppmtotga -rgb src.ppm > "$out/seed-rgb-rle.tga"
ppmtotga -mono src.pgm > "$out/seed-grey-rle.tga"
pnmquant 8 src.ppm | ppmtotga -cmap > "$out/seed-cmap.tga"
$C src.pam "$out/seed-bgra.tga"

# Portable maps, Radiance, DDS from the tools.
pamtopnm src.pam > "$out/seed-raw.ppm"
pnmtoplainpnm src.ppm > "$out/seed-plain.ppm"
pamtopfm src.ppm > "$out/seed-little.pfm"
$C src.ppm "$out/seed-big.pfm"
# Run-length scanlines need a width of at least 8.
$C -size 16x2 gradient:red-blue "$out/seed-rle.hdr"
$C -size 8x4 gradient: -define dds:compression=dxt1 -define dds:mipmaps=2 "$out/seed-dxt1.dds"
$C src.pam -resize 8x4! -define dds:compression=dxt5 -define dds:mipmaps=0 "$out/seed-dxt5.dds"
$C src.pam -define dds:compression=none "$out/seed-bgra.dds"

# Variants built by hand.
python3 - "$out" <<'PY'
import struct, sys
out = sys.argv[1]
def save(name, data):
    open(f"{out}/seed-{name}", "wb").write(bytes(data))

def dib(width, height, bits, compression, palette, pixels, header=40, masks=()):
    h = struct.pack("<IiiHHIIiiII", header, width, height, 1, bits, compression, 0, 2835, 2835,
                    len(palette) // 4, 0)
    h += b"".join(struct.pack("<I", m) for m in masks)
    h += bytes(header - len(h))
    return h + bytes(palette) + bytes(pixels)

def bmp(d):
    return b"BM" + struct.pack("<IHHI", 14 + len(d), 0, 0, 0) + d

grey4 = [v for i in range(16) for v in (i * 16, i * 16, i * 16, 0)]
# RLE4: a run, a literal of five indices, a move, line ends, end of bitmap.
save("rle4.bmp", bmp(dib(6, 3, 4, 2, grey4, [4, 0x12, 0, 5, 0x34, 0x56, 0x70, 0, 0, 0, 0, 2, 1, 0, 2, 0xAB, 0, 1])))
# Bit fields: 5-6-5, the shifted 32-bit layout, and a layout decoded to floats.
save("565.bmp", bmp(dib(2, 2, 16, 3, [], [0x1F, 0xF8, 0xE0, 0x07] * 2, 56, (0xF800, 0x7E0, 0x1F, 0))))
save("shifted.bmp", bmp(dib(1, -2, 32, 3, [], [0, 1, 2, 3, 0, 4, 5, 6], 56, (0xFF000000, 0xFF0000, 0xFF00, 0))))
save("generic.bmp", bmp(dib(2, 1, 16, 3, [], [0x43, 0x08, 0xFE, 0xFF], 56, (0xF800, 0x7C0, 0x3E, 1))))
save("core.dib", struct.pack("<IHHHH", 12, 2, 1, 1, 1) + bytes([0, 0, 0, 255, 255, 255]) + bytes([0x40, 0, 0, 0]))

def dds(width, height, flags, pf, caps2, data, depth=0, mips=0):
    h = b"DDS " + struct.pack("<7I", 124, flags, height, width, 0, depth, mips) + bytes(44)
    h += pf + struct.pack("<5I", 0x1000, caps2, 0, 0, 0)
    return h + bytes(data)

dxt1 = struct.pack("<2I4s5I", 32, 4, b"DXT1", 0, 0, 0, 0, 0)
argb = struct.pack("<8I", 32, 0x41, 0, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000)
p8 = struct.pack("<8I", 32, 0x20, 0, 8, 0, 0, 0, 0)
yuy2 = struct.pack("<2I4s5I", 32, 4, b"YUY2", 0, 0, 0, 0, 0)
half = struct.pack("<8I", 32, 4, 113, 0, 0, 0, 0, 0)
save("cube.dds", dds(4, 4, 0x21007, dxt1, 0xFE00, [0x55] * (6 * 16), mips=2))
save("volume.dds", dds(2, 2, 0x801007, argb, 0x200000, list(range(16 * 2 + 4)), depth=2, mips=2))
save("palette.dds", dds(3, 2, 0x1007, p8, 0, [i & 255 for i in range(1024)] + [1, 2, 3, 4, 5, 6]))
save("yuy2.dds", dds(3, 1, 0x1007, yuy2, 0, [16, 128, 235, 128, 50, 90, 60, 200]))
save("half.dds", dds(1, 1, 0x1007, half, 0, [0, 0x3C] * 4))

# Radiance: flat scanlines with repeats, and a column-first axis order.
hdr = b"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=2\n\n"
save("flat.hdr", hdr + b"-Y 2 +X 3\n" + bytes([9, 8, 7, 130, 1, 1, 1, 2, 3, 3, 3, 129, 1, 1, 1, 2]))
save("columns.hdr", hdr + b"+X 2 -Y 2\n" + bytes([10, 20, 30, 128, 40, 50, 60, 128, 70, 80, 90, 129, 1, 2, 3, 127]))
# PFM grey; PPM with a small maximum value.
save("grey.pfm", b"Pf\n2 1\n-1.0\n" + struct.pack("<2f", 0.25, 2.0))
save("max15.ppm", b"P6\n# comment\n2 1 15\r\n" + bytes([15, 0, 7, 1, 2, 3]))
# TGA: a 16-bit colour map starting at index 2, grey raw stored right to left, 16-bit pixels.
save("cmap16.tga", bytes([0, 1, 1]) + struct.pack("<HHB", 2, 2, 16) + bytes(4) + struct.pack("<HHBB", 2, 1, 8, 0x20)
     + bytes([0x01, 0xFC, 0x00, 0x0A, 2, 3]))
save("grey-rtl.tga", bytes([0, 0, 3, 0, 0, 0, 0, 0]) + bytes(4) + struct.pack("<HHBB", 3, 1, 8, 0x30) + bytes([1, 2, 3]))
save("argb1555.tga", bytes([0, 0, 2, 0, 0, 0, 0, 0]) + bytes(4) + struct.pack("<HHBB", 2, 1, 16, 0x20)
     + bytes([0xFF, 0x7F, 0x00, 0x80]))
PY
ls "$out" | wc -l
