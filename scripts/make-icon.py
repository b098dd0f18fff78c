#!/usr/bin/env python3
"""Draws the stub's icon (resource 800): a 32x32 and a 16x16 image, 16 colours.

A blue rounded box with a white down arrow into a tray: "setup". Run it to
rewrite src/startup/quorin.ico."""
import struct, sys, os

# the standard 16-colour palette, as (R, G, B)
PALETTE = [(0,0,0),(128,0,0),(0,128,0),(128,128,0),(0,0,128),(128,0,128),(0,128,128),(192,192,192),
           (128,128,128),(255,0,0),(0,255,0),(255,255,0),(0,0,255),(255,0,255),(0,255,255),(255,255,255)]
BLACK, NAVY, SILVER, GREY, BLUE, WHITE = 0, 4, 7, 8, 12, 15

def draw(n):
    s = n / 32.0
    px = [[None]*n for _ in range(n)]          # None = transparent
    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0*s), int(y1*s)):
            for x in range(int(x0*s), int(x1*s)):
                if 0 <= x < n and 0 <= y < n: px[y][x] = c
    rect(2, 2, 30, 30, NAVY)      # body outline
    rect(3, 3, 29, 29, BLUE)      # body
    for x, y in [(2,2),(29,2),(2,29),(29,29)]:
        rect(x, y, x+1, y+1, None)
    rect(14, 6, 18, 16, WHITE)    # arrow shaft
    for i in range(6):            # arrow head
        rect(9+i, 16+i, 23-i, 17+i, WHITE)
    rect(7, 23, 25, 26, SILVER)   # tray
    rect(7, 26, 25, 27, GREY)
    return px

def image(n):
    px = draw(n)
    rows = []
    for y in reversed(range(n)):  # bottom-up
        row = bytearray()
        for x in range(0, n, 2):
            a = px[y][x] if px[y][x] is not None else 0
            b = px[y][x+1] if px[y][x+1] is not None else 0
            row.append((a << 4) | b)
        while len(row) % 4: row.append(0)
        rows.append(bytes(row))
    mask = []
    for y in reversed(range(n)):
        bits = 0
        row = bytearray()
        for x in range(n):
            bits = (bits << 1) | (1 if px[y][x] is None else 0)
            if x % 8 == 7:
                row.append(bits); bits = 0
        while len(row) % 4: row.append(0)
        mask.append(bytes(row))
    header = struct.pack('<IiiHHIIiiII', 40, n, n*2, 1, 4, 0, 0, 0, 0, 16, 0)
    pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in PALETTE)
    return header + pal + b''.join(rows) + b''.join(mask)

def main(out):
    imgs = [image(32), image(16)]
    data = struct.pack('<HHH', 0, 1, len(imgs))
    offset = 6 + 16*len(imgs)
    for n, img in zip((32, 16), imgs):
        data += struct.pack('<BBBBHHII', n, n, 16, 0, 1, 4, len(img), offset)
        offset += len(img)
    data += b''.join(imgs)
    open(out, 'wb').write(data)

if __name__ == '__main__':
    here = os.path.dirname(os.path.abspath(__file__))
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'src', 'startup', 'quorin.ico'))
