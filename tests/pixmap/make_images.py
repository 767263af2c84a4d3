#!/usr/bin/env python3
"""Reference images for the loader tests, written and decoded by the Python imaging library.

  make_images.py make DIR      writes every test image into DIR, each with DIR/<name>.ref:
                               width and height (32-bit little-endian), four per-channel masks,
                               then the tool's own decode as rows of R, G, B, A bytes.
  make_images.py decode IN OUT writes the tool's decode of IN to OUT in the same form.

Files the library cannot write (4-bit and 124-byte-header BMP, 15/16-bit TGA, interlaced PNG)
are assembled here byte by byte and still decoded by the library for the reference (a 15-bit TGA
through its 16-bit twin, which the library reads).
"""
import random
import struct
import sys
import zlib

from PIL import Image

W, H = 13, 7  # odd sizes: rows need padding in every format


def pattern(mode, w=W, h=H, seed=1):
    rnd = random.Random(seed)
    im = Image.new("RGBA", (w, h))
    im.putdata([(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256), rnd.randrange(256))
                for _ in range(w * h)])
    return im if mode == "RGBA" else im.convert(mode)


def photo(w, h):
    # Smooth colours, as a camera gives: JPEG keeps them well.
    im = Image.new("RGB", (w, h))
    im.putdata([((x * 255) // w, (y * 255) // h, ((x + y) * 3) % 256) for y in range(h)
                for x in range(w)])
    return im


def write_ref(path, pixels, w, h, masks=(255, 255, 255, 255)):
    with open(path, "wb") as f:
        f.write(struct.pack("<ii", w, h) + bytes(masks))
        for p in pixels:
            f.write(bytes(p))


def ref_of(path, out, masks=(255, 255, 255, 255), alpha=None):
    im = Image.open(path)
    im.load()
    w, h = im.size
    if im.mode in ("I", "I;16", "I;16B"):  # 16-bit grey: the high byte of each sample
        px = [(v >> 8, v >> 8, v >> 8, 255) for v in im.getdata()]
    else:
        px = list(im.convert("RGBA").getdata())
    px = [tuple(c & m for c, m in zip(p, masks)) for p in px]
    if alpha is not None:
        px = [p[:3] + (a,) for p, a in zip(px, alpha)]
    write_ref(out, px, w, h, masks)


def bmp_bytes(bits, w, h, palette, rows, info_size=40):
    """A bottom-up BI_RGB file; rows are given top row first as bytes without padding."""
    stride = (w * bits + 31) // 32 * 4
    data = b"".join(r.ljust(stride, b"\0") for r in reversed(rows))
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    offset = 14 + info_size + len(pal)
    info = struct.pack("<IiiHHIIiiII", info_size, w, h, 1, bits, 0, len(data), 2835, 2835,
                       len(palette), 0).ljust(info_size, b"\0")
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + pal + data


def tga16_bytes(w, h, values, rle, bits):
    head = struct.pack("<BBBHHBHHHHBB", 0, 0, 10 if rle else 2, 0, 0, 0, 0, 0, w, h, bits,
                       1 if bits == 16 else 0)
    rows = [values[y * w:(y + 1) * w] for y in range(h)]  # first row is the bottom one
    body = b""
    for row in rows:
        if not rle:
            body += b"".join(struct.pack("<H", v) for v in row)
            continue
        x = 0
        while x < w:  # runs of equal values as run packets, the rest one literal pixel each
            n = 1
            while x + n < w and row[x + n] == row[x] and n < 128:
                n += 1
            if n > 1:
                body += bytes((0x80 | (n - 1),)) + struct.pack("<H", row[x])
            else:
                body += b"\0" + struct.pack("<H", row[x])
            x += n
    return head + body


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def interlaced_png(im):
    w, h = im.size
    px = list(im.getdata())
    raw = b""
    for x0, y0, dx, dy in ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4),
                           (1, 0, 2, 2), (0, 1, 1, 2)):
        for y in range(y0, h, dy):
            xs = range(x0, w, dx)
            if len(xs):
                raw += b"\0" + b"".join(bytes(px[y * w + x]) for x in xs)
    ihdr = struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 1)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) +
            png_chunk(b"IDAT", zlib.compress(raw)) + png_chunk(b"IEND", b""))


def make(d):
    files = {}
    # BMP
    pattern("1").save(f"{d}/bmp1.bmp")
    files["bmp1.bmp"] = {}
    rnd = random.Random(4)
    pal16 = [(rnd.randrange(256), rnd.randrange(256), rnd.randrange(256)) for _ in range(16)]
    rows = []
    for _ in range(H):
        idx = [rnd.randrange(16) for _ in range(W)] + [0]
        rows.append(bytes((idx[i] << 4) | idx[i + 1] for i in range(0, W, 2)))
    open(f"{d}/bmp4.bmp", "wb").write(bmp_bytes(4, W, H, pal16, rows))
    files["bmp4.bmp"] = {}
    pattern("RGB").convert("P", palette=Image.ADAPTIVE, colors=200).save(f"{d}/bmp8.bmp")
    files["bmp8.bmp"] = {}
    pattern("RGB").save(f"{d}/bmp24.bmp")
    files["bmp24.bmp"] = {}
    rgb = pattern("RGB", seed=5)
    rows = [b"".join(bytes(p[::-1]) for p in list(rgb.getdata())[y * W:(y + 1) * W])
            for y in range(H)]
    open(f"{d}/bmp24v5.bmp", "wb").write(bmp_bytes(24, W, H, [], rows, info_size=124))
    files["bmp24v5.bmp"] = {}
    rgba = pattern("RGBA", seed=6)
    rgba.save(f"{d}/bmp32.bmp")
    # The library reads 32-bit files without alpha: the written alpha is the reference.
    files["bmp32.bmp"] = {"alpha": [p[3] for p in rgba.getdata()]}
    # TGA
    for mode, bits in (("RGB", 24), ("RGBA", 32)):
        for rle in (False, True):
            name = f"tga{bits}{'rle' if rle else ''}.tga"
            pattern(mode, seed=bits).save(f"{d}/{name}", compression="tga_rle" if rle else None)
            files[name] = {}
    rnd = random.Random(9)
    for bits in (15, 16):
        values = [rnd.choice((0x7FFF, 0xFFFF, 0x0000, 0x8000, rnd.randrange(65536)))
                  for _ in range(W * H)]
        for i in range(0, len(values) - 4, 11):  # some runs for the run-length files
            values[i + 1:i + 4] = [values[i]] * 3
        for rle in (False, True):
            name = f"tga{bits}{'rle' if rle else ''}.tga"
            open(f"{d}/{name}", "wb").write(tga16_bytes(W, H, values, rle, bits))
            # The library widens 5 bits to 8 by scaling; the top five bits agree.
            top_first = [v for y in reversed(range(H)) for v in values[y * W:(y + 1) * W]]
            alpha = [0 if bits == 16 and v & 0x8000 else 255 for v in top_first]
            files[name] = {"masks": (0xF8, 0xF8, 0xF8, 0xFF), "alpha": alpha}
            if bits == 15:  # the library reads only the 16-bit variant of these pixels
                open(f"{d}/{name}.twin", "wb").write(tga16_bytes(W, H, values, rle, 16))
                files[name]["decode"] = f"{d}/{name}.twin"
    # PNG
    pattern("L").save(f"{d}/grey.png")
    pattern("LA").save(f"{d}/greyalpha.png")
    pattern("RGB").save(f"{d}/rgb.png")
    pattern("RGBA").save(f"{d}/rgba.png")
    pal = pattern("RGB").convert("P", palette=Image.ADAPTIVE, colors=50)
    pal.save(f"{d}/palette.png")
    pal.save(f"{d}/palettetrns.png", transparency=3)
    pattern("1").save(f"{d}/bits1.png")
    for bits in (2, 4):
        pattern("RGB").convert("P", palette=Image.ADAPTIVE, colors=1 << bits).save(
            f"{d}/bits{bits}.png", bits=bits)
    g16 = Image.new("I;16", (W, H))
    g16.putdata([(i * 2654435761) % 65536 for i in range(W * H)])
    g16.save(f"{d}/grey16.png")
    open(f"{d}/interlaced.png", "wb").write(interlaced_png(pattern("RGB", w=21, h=19)))
    for name in ("grey.png", "greyalpha.png", "rgb.png", "rgba.png", "palette.png",
                 "palettetrns.png", "bits1.png", "bits2.png", "bits4.png", "grey16.png",
                 "interlaced.png"):
        files[name] = {}
    # JPEG
    photo(64, 48).convert("L").save(f"{d}/grey.jpg", quality=90)
    photo(61, 47).save(f"{d}/colour.jpg", quality=90)
    photo(80, 56).save(f"{d}/progressive.jpg", quality=85, progressive=True)
    for name in ("grey.jpg", "colour.jpg", "progressive.jpg"):
        files[name] = {}
    for name, opts in files.items():
        ref_of(opts.get("decode", f"{d}/{name}"), f"{d}/{name}.ref", opts.get("masks", (255,) * 4),
               opts.get("alpha"))


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        ref_of(sys.argv[2], sys.argv[3])
