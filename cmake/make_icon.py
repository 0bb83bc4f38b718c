#!/usr/bin/env python3
"""Writes the program icon (.ico, 16x16 and 32x32, 32-bit) from a small drawing description:
a rounded square in the portal's blue with a white game-pad shape. Usage: make_icon.py out.ico"""
import struct
import sys

BLUE = (0x23, 0xC3, 0xF7)
DARK = (0x1B, 0x7F, 0xB0)
WHITE = (0xFF, 0xFF, 0xFF)


def pixel(x, y, n):
    s = n / 32.0
    u, v = x / s, y / s
    r = 6
    inside = True
    for cx, cy in ((r, r), (31 - r, r), (r, 31 - r), (31 - r, 31 - r)):
        if (u < r and v < r and (cx, cy) == (r, r)) or (u > 31 - r and v < r and (cx, cy) == (31 - r, r)) or \
           (u < r and v > 31 - r and (cx, cy) == (r, 31 - r)) or (u > 31 - r and v > 31 - r and (cx, cy) == (31 - r, 31 - r)):
            inside = (u - cx) ** 2 + (v - cy) ** 2 <= r * r
    if not inside:
        return None
    # game pad body
    if 6 <= u <= 25 and 11 <= v <= 21:
        # cross on the left, two buttons on the right
        if (9 <= u <= 13 and 15 <= v <= 17) or (10 <= u <= 12 and 14 <= v <= 18):
            return DARK
        if (u - 20) ** 2 + (v - 14.5) ** 2 <= 2.2 or (u - 22.5) ** 2 + (v - 17.5) ** 2 <= 2.2:
            return DARK
        return WHITE
    if (u - 8) ** 2 + (v - 21) ** 2 <= 9 or (u - 23) ** 2 + (v - 21) ** 2 <= 9:
        return WHITE
    return BLUE


def image(n):
    rows = []
    mask_rows = []
    for y in range(n - 1, -1, -1):  # bottom-up
        row = b""
        mask = 0
        bits = []
        for x in range(n):
            p = pixel(x, y, n)
            if p is None:
                row += bytes((0, 0, 0, 0))
                bits.append(1)
            else:
                row += bytes((p[2], p[1], p[0], 255))
                bits.append(0)
        rows.append(row)
        mb = b""
        for i in range(0, n, 8):
            byte = 0
            for k in range(8):
                byte = (byte << 1) | (bits[i + k] if i + k < n else 1)
            mb += bytes((byte,))
        while len(mb) % 4:
            mb += b"\0"
        mask_rows.append(mb)
    header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(mask_rows)


def main():
    sizes = (16, 32)
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
