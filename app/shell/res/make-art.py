#!/usr/bin/python3
"""Draws the runtime's icons and its hand cursor (app/shell/res/*.ico, *.cur).

Run once when the art changes; the outputs are kept in the tree so the
build needs no Python. Each image is 32x32: icons are 32-bit with alpha,
the cursor is monochrome with its hot spot on the pointing finger.
"""
import math
import struct
from pathlib import Path

HERE = Path(__file__).resolve().parent
N = 32


def icon_file(pixels):
    """An .ico of one 32x32 32-bit image; pixels[y][x] = (r, g, b, a)."""
    header = struct.pack('<IiiHHIIiiII', 40, N, 2 * N, 1, 32, 0, 0, 0, 0, 0, 0)
    xor = b''.join(struct.pack('<BBBB', b, g, r, a) for y in reversed(range(N)) for (r, g, b, a) in pixels[y])
    and_mask = bytes(4 * N)
    image = header + xor + and_mask
    return struct.pack('<HHH', 0, 1, 1) + struct.pack('<BBBBHHII', N, N, 0, 0, 1, 32, len(image), 22) + image


def cursor_file(rows, hot):
    """A .cur of one 32x32 monochrome image; rows: strings of '#' (black),
    'o' (white) and anything else (transparent)."""
    header = struct.pack('<IiiHHIIiiII', 40, N, 2 * N, 1, 1, 0, 0, 0, 0, 2, 0)
    palette = struct.pack('<II', 0x000000, 0xFFFFFF)

    def bits(row, test):
        value = 0
        for x in range(N):
            ch = row[x] if x < len(row) else ' '
            value = (value << 1) | (1 if test(ch) else 0)
        return struct.pack('>I', value)

    padded = rows + [''] * (N - len(rows))
    xor = b''.join(bits(padded[y], lambda c: c == 'o') for y in reversed(range(N)))
    and_mask = b''.join(bits(padded[y], lambda c: c not in '#o') for y in reversed(range(N)))
    image = header + palette + xor + and_mask
    return struct.pack('<HHH', 0, 2, 1) + struct.pack('<BBBBHHII', N, N, 2, 0, hot[0], hot[1], len(image), 22) + image


def disc_icon(ring, face, mark):
    pixels = []
    for y in range(N):
        row = []
        for x in range(N):
            d = math.hypot(x - 15.5, y - 15.5)
            if d > 15.5:
                row.append((0, 0, 0, 0))
            elif d > 13.5:
                row.append(ring + (255,))
            elif mark(x, y):
                row.append((255, 255, 255, 255))
            else:
                row.append(face + (255,))
        pixels.append(row)
    return pixels


def wing(x, y):
    # A stylised bird: a curved body with a raised wing.
    return (abs(y - (20 - 0.02 * (x - 16) ** 2)) < 2.2 and 6 <= x <= 26) or (8 <= y <= 19 and abs(x - (24 - y * 0.5)) < 2)


def gear(x, y):
    d = math.hypot(x - 15.5, y - 15.5)
    a = math.atan2(y - 15.5, x - 15.5)
    return 4 < d < (9 + 2 * (math.cos(8 * a) > 0)) and not d < 4


def letter_i(x, y):
    return (14 <= x <= 17 and 8 <= y <= 10) or (14 <= x <= 17 and 13 <= y <= 24)


HAND = [
    '     ##',
    '    #oo#',
    '    #oo#',
    '    #oo#',
    '    #oo#',
    '    #oo###',
    '    #oo#oo###',
    '    #oo#oo#oo##',
    ' ## #oo#oo#oo#o#',
    '#oo##oooooooo#o#',
    '#ooo#ooooooooooo#',
    ' #oo#ooooooooooo#',
    '  #oooooooooooo#',
    '  #oooooooooooo#',
    '   #ooooooooooo#',
    '   #oooooooooo#',
    '    #ooooooooo#',
    '    #ooooooooo#',
    '    ###########',
]

if __name__ == '__main__':
    (HERE / 'paloma.ico').write_bytes(icon_file(disc_icon((20, 60, 120), (60, 130, 200), wing)))
    (HERE / 'preferences.ico').write_bytes(icon_file(disc_icon((60, 60, 60), (120, 120, 120), gear)))
    (HERE / 'about.ico').write_bytes(icon_file(disc_icon((20, 90, 40), (60, 160, 80), letter_i)))
    (HERE / 'hand.cur').write_bytes(cursor_file(HAND, (6, 0)))
