#!/usr/bin/env python3
"""Packs the application's PNG icons into resources/icons/klarvenor.ico, the icon that the
Windows build links into the program file. Run it after changing a PNG."""
import struct
from pathlib import Path

folder = Path(__file__).resolve().parent.parent / "resources" / "icons"
sizes = [16, 32, 48, 256]
images = [(folder / f"klarvenor-{size}.png").read_bytes() for size in sizes]

# ICONDIR, then one ICONDIRENTRY per image (0 stands for 256), then the PNGs themselves.
data = struct.pack("<HHH", 0, 1, len(images))
offset = 6 + 16 * len(images)
for size, image in zip(sizes, images):
    side = 0 if size == 256 else size
    data += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(image), offset)
    offset += len(image)
(folder / "klarvenor.ico").write_bytes(data + b"".join(images))
