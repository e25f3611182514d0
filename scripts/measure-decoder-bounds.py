#!/usr/bin/env python3
"""Runs the release `rastro-tex` on hostile image files of up to 1 MB, `info --pixels` and
`convert` each, under /usr/bin/time -v, and checks each run against 10 s and 1 GiB of memory
(the peak resident set size). The files claim far more pixels than they hold: run-length
bitmaps and Targas that are all end codes or long runs, Radiance files of repeat codes, PNG
files of zeros, a JPEG that ends after its header, a DDS file of a million 1 x 1 levels, and
ASCII pixmaps. Needs the release build of rastro-tex:

    cmake --preset release && cmake --build --preset release --target rastro-tex
    scripts/measure-decoder-bounds.py [RASTRO_TEX]

RASTROMETER_MAX_IMAGE_MB in the environment is passed on, and the images meant to lie exactly at
the cap are sized to it. Prints one line per file and
command: size, seconds, peak MiB, exit status and the message. Exits 1 when a run passes a
bound.
"""
import math
import os
import re
import struct
import subprocess
import sys
import tempfile
import zlib

MB = 1 << 20
TIME_LIMIT = 10.0
MEMORY_LIMIT_MB = 1024


def bmp(width, height, bit_count, compression, bits):
    colors = 1 << bit_count if bit_count <= 8 else 0
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bit_count, compression, len(bits), 0, 0, 0, 0)
    table = b"\0" * (4 * colors)
    offset = 14 + len(header) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(bits), 0, 0, offset) + header + table + bits


def tga_grey_runs(width, height, limit):
    # Runs of 128 equal grey pixels, two bytes each, as many as the image or the limit allows.
    packets = min((width * height + 127) // 128, (limit - 18) // 2)
    return struct.pack("<BBBHHBHHHHBB", 0, 0, 11, 0, 0, 0, 0, 0, width, height, 8, 0x20) + b"\xff\x55" * packets


def radiance_repeats(width, height):
    # Each scanline: one pixel, then repeat codes whose counts make up the rest of the width.
    codes = b""
    rest, shift = width - 1, 0
    while rest:
        codes += bytes([1, 1, 1, rest & 0xFF])
        rest >>= 8
        shift += 8
    header = f"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y {height} +X {width}\n".encode()
    return header + (bytes([10, 20, 30, 136]) + codes) * height


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def png_zeros(width, height, color_type, channels):
    compressor = zlib.compressobj(9)
    row = b"\0" * (1 + width * channels)
    data = b"".join(compressor.compress(row) for _ in range(height)) + compressor.flush()
    ihdr = struct.pack(">IIBBBBB", width, height, 8, color_type, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", data) + png_chunk(b"IEND", b"")


def jpeg_ending_after_its_header(width, height, directory):
    # A small JPEG by ImageMagick, its frame size patched and its scan cut to nothing.
    path = os.path.join(directory, "small.jpg")
    subprocess.run(["convert", "-size", "16x16", "gradient:red-blue", "-quality", "90", path], check=True)
    data = bytearray(open(path, "rb").read())
    frame = data.index(b"\xff\xc0")
    struct.pack_into(">HH", data, frame + 5, height, width)
    scan = data.index(b"\xff\xda")
    scan_end = scan + 2 + struct.unpack_from(">H", data, scan + 2)[0]
    return bytes(data[:scan_end]) + b"\xff\xd9"


def dds_of_tiny_levels(limit):
    # L8, 1 x 1, a mip count of 2^32 - 1: one byte a level, as many levels as the file holds.
    header = struct.pack("<4sIIIIIII44xIIIIIIIIIIIII", b"DDS ", 124, 0x2100F, 1, 1, 1, 0, 0xFFFFFFFF,
                         32, 0x20000, 0, 8, 0xFF, 0, 0, 0, 0x401008, 0, 0, 0, 0)
    return header + b"\x07" * (limit - len(header))


def ppm_ascii(width, height):
    return f"P3\n{width} {height}\n255\n".encode() + b"7 " * (width * height * 3)


def cases(directory, cap_bytes):
    # Images exactly at the cap (each pixel counted at 4 bytes, or 16 for floats), and far beyond.
    side = math.isqrt(cap_bytes // 4)
    float_side = math.isqrt(cap_bytes // 16)
    rgba_rows = min(side * side // 16384, 15000)  # 15000 rows of 16384 zeros deflate to 0.93 MB
    return {
        "bmp-rle8-30000x30000": lambda: bmp(30000, 30000, 8, 1, b"\0\1"),
        f"bmp-rle8-{side}x{side}": lambda: bmp(side, side, 8, 1, b"\0\1"),
        f"bmp-rle4-{side}x{side}": lambda: bmp(side, side, 4, 2, b"\0\1"),
        "tga-runs-65535x65535": lambda: tga_grey_runs(65535, 65535, 1024),
        "tga-runs-8192x8190-1MB": lambda: tga_grey_runs(8192, 8190, MB),
        f"hdr-repeats-{float_side}x{float_side}": lambda: radiance_repeats(float_side, float_side),
        "hdr-repeats-1000000x1000": lambda: radiance_repeats(1000000, 1000),
        f"png-zeros-grey-{side}x{side}": lambda: png_zeros(side, side, 0, 1),
        f"png-zeros-rgba-16384x{rgba_rows}": lambda: png_zeros(16384, rgba_rows, 6, 4),
        f"jpeg-header-only-{side}x{side}": lambda: jpeg_ending_after_its_header(side, side, directory),
        "jpeg-header-only-65500x65500": lambda: jpeg_ending_after_its_header(65500, 65500, directory),
        "dds-1MB-of-1x1-levels": lambda: dds_of_tiny_levels(MB),
        "ppm-ascii-417x417-1MB": lambda: ppm_ascii(417, 417),
        "ppm-ascii-claiming-30000x30000": lambda: b"P3\n30000 30000\n255\n" + b"7 " * 1000,
    }


def measure(command):
    proc = subprocess.run(["/usr/bin/time", "-v"] + command, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                          timeout=600)
    text = proc.stderr.decode(errors="replace")
    peak_mb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", text).group(1)) / 1024.0
    clock = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): (\S+)", text).group(1).split(":")
    seconds = sum(float(part) * 60 ** i for i, part in enumerate(reversed(clock)))
    status = int(re.search(r"Exit status: (\d+)", text).group(1))
    message = next((line for line in text.splitlines() if line.startswith("rastro-tex")), "")
    return seconds, peak_mb, status, message


def main():
    rastro_tex = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "build", "release", "tools", "rastro-tex", "rastro-tex")
    cap_mb = os.environ.get("RASTROMETER_MAX_IMAGE_MB", "")
    cap_bytes = (int(cap_mb) if cap_mb.isdigit() and int(cap_mb) > 0 else 1024) * MB
    all_ok = True
    with tempfile.TemporaryDirectory() as directory:
        for name, make in cases(directory, cap_bytes).items():
            data = make()
            assert len(data) <= MB, name
            path = os.path.join(directory, name)
            with open(path, "wb") as f:
                f.write(data)
            output = os.path.join(directory, "out.dds")
            for command in (["info", "--pixels", path], ["convert", path, output]):
                seconds, peak_mb, status, message = measure([rastro_tex] + command)
                ok = seconds <= TIME_LIMIT and peak_mb <= MEMORY_LIMIT_MB
                all_ok &= ok
                print(f"{name:32s} {len(data) / 1024:7.1f} KB {command[0]:7s} {seconds:6.2f} s {peak_mb:7.1f} MiB"
                      f"  exit {status}  {'ok' if ok else 'OVER'}  {message[len('rastro-tex'):][:100]}", flush=True)
            if os.path.exists(output):
                os.remove(output)
            os.remove(path)
    sys.exit(0 if all_ok else 1)


if __name__ == "__main__":
    main()
