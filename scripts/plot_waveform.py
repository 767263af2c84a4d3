"""Draws the left channel of raw 16-bit stereo audio (what SDL's disk driver wrote) as a PNG:
the whole recording as a min/max envelope, and its first 10 ms in detail below."""
import struct
import sys

from PIL import Image, ImageDraw

raw = open(sys.argv[1], "rb").read()
left = [v for i, v in enumerate(struct.unpack("<%dh" % (len(raw) // 2), raw[: len(raw) // 2 * 2])) if i % 2 == 0]
width, band = 800, 120
img = Image.new("RGB", (width, 2 * band + 30), (255, 255, 255))
draw = ImageDraw.Draw(img)


def y_of(value, top):
    return top + band // 2 - value * (band // 2 - 4) // 32768


per_column = max(1, len(left) // width)
for x in range(width):
    chunk = left[x * per_column:(x + 1) * per_column] or [0]
    draw.line([(x, y_of(max(chunk), 0)), (x, y_of(min(chunk), 0))], fill=(40, 80, 160))
start = next((i for i, v in enumerate(left) if v != 0), 0)
detail = left[start:start + 441]
points = [(x * width // max(1, len(detail)), y_of(v, band + 30)) for x, v in enumerate(detail)]
if len(points) > 1:
    draw.line(points, fill=(160, 40, 40), width=2)
draw.text((4, band + 10), "played: %.2f s; below, the first 10 ms" % (len(left) / 44100.0), fill=(0, 0, 0))
img.save(sys.argv[2])
