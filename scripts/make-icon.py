#!/usr/bin/env python3
"""Draws the launcher's icon (a parcel with a downward arrow) into res/launcher.ico."""
import struct
import sys

SIZE = 32


def pixel(x, y):
    # Parcel: brown box with a lighter lid band; arrow: white, centred.
    if 6 <= x <= 25 and 10 <= y <= 27:
        if 13 <= x <= 18 and 12 <= y <= 19 or (y >= 19 and abs(x - 15.5) <= 23 - y):
            return (255, 255, 255, 255)
        if 10 <= y <= 13:
            return (70, 140, 220, 255)
        return (40, 90, 170, 255)
    return (0, 0, 0, 0)


def icon_bytes():
    rows = []
    for y in range(SIZE - 1, -1, -1):  # bottom-up
        for x in range(SIZE):
            r, g, b, a = pixel(x, y)
            rows.append(struct.pack("BBBB", b, g, r, a))
    xor = b"".join(rows)
    and_mask = b"\x00" * (SIZE * SIZE // 8)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    image = header + xor + and_mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 22)
    return directory + image


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "res/launcher.ico"
    with open(out, "wb") as f:
        f.write(icon_bytes())
