#!/usr/bin/env python3
"""Writes the seed corpus of fuzz_font: a four-glyph TrueType font built table by table, and two
small BDF fonts (1 and 2 bits per pixel). Run from the repository root."""
import struct

OUT = "fuzz/corpus/fuzz_font/"


def simple_glyph(contours):
    """A glyph of straight on-curve contours, 16-bit deltas."""
    if not contours:
        return b""
    pts = [p for c in contours for p in c]
    xs, ys = [p[0] for p in pts], [p[1] for p in pts]
    out = struct.pack(">hhhhh", len(contours), min(xs), min(ys), max(xs), max(ys))
    end = -1
    for c in contours:
        end += len(c)
        out += struct.pack(">H", end)
    out += struct.pack(">H", 0) + bytes([0x01] * len(pts))
    px = py = 0
    for x, _ in pts:
        out += struct.pack(">h", x - px)
        px = x
    for _, y in pts:
        out += struct.pack(">h", y - py)
        py = y
    return out + b"\0" * (len(out) % 2)


def truetype():
    glyphs = [
        simple_glyph([[(50, 0), (50, 700), (450, 700), (450, 0)], [(100, 50), (400, 50), (400, 650), (100, 650)]]),
        simple_glyph([]),  # space
        simple_glyph([[(0, 0), (300, 700), (600, 0)]]),  # A
        simple_glyph([[(60, 0), (60, 700), (500, 700), (500, 0)]]),  # B
    ]
    loca, at = [], 0
    for g in glyphs:
        loca.append(at // 2)
        at += len(g)
    loca.append(at // 2)
    segments = [(32, 32, 1 - 32), (65, 66, 2 - 65), (0xFFFF, 0xFFFF, 1)]
    n = len(segments)
    cmap4 = struct.pack(">HHHH", n * 2, 4, 1, n * 2 - 4)
    cmap4 += b"".join(struct.pack(">H", s[1]) for s in segments) + b"\0\0"
    cmap4 += b"".join(struct.pack(">H", s[0]) for s in segments)
    cmap4 += b"".join(struct.pack(">h", s[2]) for s in segments)
    cmap4 += b"\0\0" * n
    cmap4 = struct.pack(">HHH", 4, 6 + len(cmap4), 0) + cmap4
    tables = {
        b"cmap": struct.pack(">HHHHI", 0, 1, 3, 1, 12) + cmap4,
        b"glyf": b"".join(glyphs),
        b"head": struct.pack(">IIIIHHqqhhhhHHhhh", 0x10000, 0x10000, 0, 0x5F0F3CF5, 0x000B, 1000,
                             0, 0, 0, 0, 600, 700, 0, 8, 2, 0, 0),
        b"hhea": struct.pack(">IhhhHhhhhhhhhhhhH", 0x10000, 800, -200, 0, 650, 0, 0, 600, 1, 0, 0,
                             0, 0, 0, 0, 0, len(glyphs)),
        b"hmtx": b"".join(struct.pack(">Hh", a, 0) for a in (500, 300, 600, 550)),
        b"loca": b"".join(struct.pack(">H", o) for o in loca),
        b"maxp": struct.pack(">IHHHHHHHHHHHHHH", 0x10000, len(glyphs), 8, 2, 0, 0, 2, 0, 0, 0, 0,
                             0, 0, 0, 0),
        b"post": struct.pack(">IIhhIIIII", 0x30000, 0, -100, 50, 0, 0, 0, 0, 0),
    }
    head = struct.pack(">IHHHH", 0x10000, len(tables), 128, 3, len(tables) * 16 - 128)
    offset = 12 + 16 * len(tables)
    records, body = b"", b""
    for tag in sorted(tables):
        data = tables[tag] + b"\0" * (-len(tables[tag]) % 4)
        checksum = sum(struct.unpack(">%dI" % (len(data) // 4), data)) & 0xFFFFFFFF
        records += tag + struct.pack(">III", checksum, offset + len(body), len(tables[tag]))
        body += data
    return head + records + body


def bdf(bpp, rows):
    width = len(rows[0])
    s = ("STARTFONT 2.3\nFONT -seed-grid-medium-r-normal--8-80-75-75-c-80-iso10646-1\n"
         "SIZE 8 75 75 %d\nFONTBOUNDINGBOX %d %d 0 -1\nSTARTPROPERTIES 3\nFONT_ASCENT 7\n"
         "FONT_DESCENT 1\nPIXEL_SIZE 8\nENDPROPERTIES\nCHARS 2\n" % (bpp, width, len(rows)))
    s += "STARTCHAR A\nENCODING 65\nSWIDTH 1000 0\nDWIDTH 8 0\nBBX %d %d 0 -1\nBITMAP\n" % (width, len(rows))
    for row in rows:
        value = 0
        for v in row:
            value = value << bpp | v
        nbits = width * bpp
        value <<= -nbits % 8
        s += "%0*X\n" % ((nbits + 7) // 8 * 2, value)
    s += "ENDCHAR\nSTARTCHAR space\nENCODING 32\nSWIDTH 500 0\nDWIDTH 4 0\nBBX 0 0 0 0\nBITMAP\nENDCHAR\nENDFONT\n"
    return s.encode()


with open(OUT + "truetype_4_glyphs.ttf", "wb") as f:
    f.write(truetype())
with open(OUT + "bdf_mono.bdf", "wb") as f:
    f.write(bdf(1, [[1 if (x + y) % 3 == 0 else 0 for x in range(9)] for y in range(8)]))
with open(OUT + "bdf_grey2.bdf", "wb") as f:
    f.write(bdf(2, [[(x + y) % 4 for x in range(6)] for y in range(8)]))
