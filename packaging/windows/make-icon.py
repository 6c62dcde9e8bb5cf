#!/usr/bin/env python3
"""Makes the Windows icon from the desktop icon: make-icon.py SVG ICO.

rsvg-convert draws the SVG at each size Windows asks for (the title bar and taskbar, Explorer's
views); the .ico holds them as PNG images, which Windows reads from Vista on.
"""
import struct
import subprocess
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)


def Png(svg, size):
    return subprocess.run(["rsvg-convert", "--width", str(size), "--height", str(size), svg],
                          check=True, stdout=subprocess.PIPE).stdout


def main():
    svg, ico = sys.argv[1], sys.argv[2]
    images = [Png(svg, size) for size in SIZES]
    # ICONDIR, then one ICONDIRENTRY per image (256 is written as 0), then the images.
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        side = size % 256
        out += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    with open(ico, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main()
