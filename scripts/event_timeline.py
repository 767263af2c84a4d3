"""Runs the event_viewer example on the X display in DISPLAY, moves the pointer, clicks, scrolls
and types into its window through the X server's XTest extension (real input, as a user's), closes
the window as a window manager would, and draws the events the viewer printed as a timeline PNG:
one lane per kind, each event at the time its line reached this script.

    event_timeline.py EVENT_VIEWER OUT.png
"""
import ctypes
import re
import subprocess
import sys
import threading
import time

from PIL import Image, ImageDraw, ImageFont

TICKS = 60  # ticks of the viewer's 2 Hz timer after which it stops even if never closed
WINDOW_NAME = b"Event viewer"


class XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]


class XEvent(ctypes.Union):
    _fields_ = [("client", XClientMessage), ("pad", ctypes.c_long * 24)]


class XInput:
    """The X display, and the XTest calls that fake a user's pointer and keyboard."""

    def __init__(self):
        self.x11 = ctypes.CDLL("libX11.so.6")
        self.xtst = ctypes.CDLL("libXtst.so.6")
        self.x11.XOpenDisplay.restype = ctypes.c_void_p
        self.x11.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x11.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x11.XQueryTree.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_void_p] * 4
        self.x11.XFetchName.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_void_p]
        self.x11.XFree.argtypes = [ctypes.c_void_p]
        self.x11.XTranslateCoordinates.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong,
                                                   ctypes.c_int, ctypes.c_int] + [ctypes.c_void_p] * 3
        self.x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        self.x11.XStringToKeysym.restype = ctypes.c_ulong
        self.x11.XStringToKeysym.argtypes = [ctypes.c_char_p]
        self.x11.XKeysymToKeycode.restype = ctypes.c_ubyte
        self.x11.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x11.XInternAtom.restype = ctypes.c_ulong
        self.x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        self.x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                        ctypes.c_void_p]
        self.xtst.XTestFakeMotionEvent.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int,
                                                   ctypes.c_int, ctypes.c_ulong]
        self.xtst.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                   ctypes.c_ulong]
        self.xtst.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                                ctypes.c_ulong]
        self.display = self.x11.XOpenDisplay(None)
        if not self.display:
            sys.exit("event_timeline.py: no X display (DISPLAY is not set or not reachable)")
        self.root = self.x11.XDefaultRootWindow(self.display)

    def find_window(self, name):
        """The top-level window called `name` and its screen position, or None."""
        root_ret, parent = ctypes.c_ulong(), ctypes.c_ulong()
        children, count = ctypes.POINTER(ctypes.c_ulong)(), ctypes.c_uint()
        if not self.x11.XQueryTree(self.display, self.root, ctypes.byref(root_ret),
                                   ctypes.byref(parent), ctypes.byref(children),
                                   ctypes.byref(count)):
            return None
        found = None
        for i in range(count.value):
            title = ctypes.c_char_p()
            if self.x11.XFetchName(self.display, children[i], ctypes.byref(title)) and title.value:
                if title.value == name:
                    x, y, child = ctypes.c_int(), ctypes.c_int(), ctypes.c_ulong()
                    self.x11.XTranslateCoordinates(self.display, children[i], self.root, 0, 0,
                                                   ctypes.byref(x), ctypes.byref(y),
                                                   ctypes.byref(child))
                    found = (children[i], x.value, y.value)
                self.x11.XFree(title)
        if children:
            self.x11.XFree(children)
        return found

    def move(self, x, y):
        self.xtst.XTestFakeMotionEvent(self.display, -1, x, y, 0)
        self.x11.XSync(self.display, 0)

    def button(self, number, down):
        self.xtst.XTestFakeButtonEvent(self.display, number, 1 if down else 0, 0)
        self.x11.XSync(self.display, 0)

    def close(self, window):
        """Asks the window to close, as a window manager's close button does."""
        event = XEvent()
        event.client.type = 33  # ClientMessage
        event.client.window = window
        event.client.message_type = self.x11.XInternAtom(self.display, b"WM_PROTOCOLS", 0)
        event.client.format = 32
        event.client.data[0] = self.x11.XInternAtom(self.display, b"WM_DELETE_WINDOW", 0)
        self.x11.XSendEvent(self.display, window, 0, 0, ctypes.byref(event))
        self.x11.XSync(self.display, 0)

    def key(self, keysym, down):
        code = self.x11.XKeysymToKeycode(self.display, self.x11.XStringToKeysym(keysym))
        self.xtst.XTestFakeKeyEvent(self.display, code, 1 if down else 0, 0)
        self.x11.XSync(self.display, 0)


def read_events(stream, start, events):
    """Each line the viewer prints, as (seconds since start, name, fields, the rest)."""
    pattern = re.compile(r"^(\w+): data=(-?\d+), mods=(-?\d+), x=(-?\d+), y=(-?\d+)(.*)$")
    for line in stream:
        m = pattern.match(line.strip())
        if m:
            events.append((time.monotonic() - start, m.group(1),
                           tuple(int(m.group(i)) for i in range(2, 6)), m.group(6)))


def play_user(x_input, wx, wy):
    """What a user does in the 480 x 320 window at (wx, wy): times are seconds from now."""
    def glide(x0, y0, x1, y1, steps):
        for i in range(steps + 1):
            x_input.move(wx + x0 + (x1 - x0) * i // steps, wy + y0 + (y1 - y0) * i // steps)
            time.sleep(0.02)

    time.sleep(0.3)
    glide(60, 60, 300, 200, 12)                      # into the window and across it
    time.sleep(0.25)
    x_input.button(1, True)                          # a click
    time.sleep(0.15)
    x_input.button(1, False)
    time.sleep(0.3)
    for _ in range(3):                               # three wheel notches down
        x_input.button(5, True)
        x_input.button(5, False)
        time.sleep(0.08)
    time.sleep(0.3)
    for keysym in (b"v", b"x", b"l"):                # typing
        x_input.key(keysym, True)
        time.sleep(0.09)
        x_input.key(keysym, False)
        time.sleep(0.12)
    time.sleep(0.3)
    x_input.button(3, True)                          # a right drag
    glide(300, 200, 180, 120, 8)
    x_input.button(3, False)
    time.sleep(0.3)
    glide(180, 120, 560, 150, 10)                    # out past the right edge
    time.sleep(0.4)
    glide(560, 150, 240, 160, 8)                     # and back in


LANES = [  # (label, colour, kinds)
    ("pointer", (40, 110, 200), ("MouseMove", "MouseEnter", "MouseLeave")),
    ("buttons", (200, 90, 30), ("MouseDown", "MouseUp")),
    ("wheel", (120, 60, 170), ("MouseWheel",)),
    ("keys", (30, 150, 90), ("KeyDown", "KeyUp", "KeyRepeat", "KeyChar")),
    ("window", (150, 120, 40), ("AppSuspend", "AppResume", "WindowActivate", "WindowMove",
                                "WindowSize", "AppTerminate")),
    ("timer", (110, 110, 110), ("TimerTick",)),
]


def draw_timeline(events, path):
    width, left, right, lane_h, top = 900, 90, 20, 46, 40
    end = max([t for t, _, _, _ in events] + [1.0]) + 0.2
    img = Image.new("RGB", (width, top + lane_h * len(LANES) + 36), (255, 255, 255))
    d = ImageDraw.Draw(img)
    try:
        font = ImageFont.truetype("DejaVuSans.ttf", 11)
        title_font = ImageFont.truetype("DejaVuSans.ttf", 13)
    except OSError:
        font = title_font = ImageFont.load_default()

    def x_of(t):
        return left + (width - left - right) * t / end

    d.text((8, 10), "Real input injected through XTest into the event_viewer example, as the "
           "event queue delivered it (%d events)" % len(events), fill=(0, 0, 0), font=title_font)
    bottom = top + lane_h * len(LANES)
    for s in range(int(end) + 1):
        d.line([(x_of(s), top), (x_of(s), bottom)], fill=(225, 225, 225))
        d.text((x_of(s) - 3, bottom + 6), "%d s" % s, fill=(80, 80, 80), font=font)
    other = []
    for lane, (label, colour, kinds) in enumerate(LANES):
        y = top + lane * lane_h + lane_h // 2
        d.text((8, y - 7), label, fill=colour, font=font)
        d.line([(left, y), (width - right, y)], fill=(200, 200, 200))
        last_label_x = -100
        for t, name, (data, _mods, ex, ey), extra in events:
            if name not in kinds:
                continue
            x = x_of(t)
            if name == "MouseMove":
                d.line([(x, y - 5), (x, y + 5)], fill=colour)
                continue
            up = name in ("MouseUp", "KeyUp")
            d.rectangle([x - 3, y - 3, x + 3, y + 3], fill=(255, 255, 255) if up else colour,
                        outline=colour)
            text = {"MouseEnter": "enter", "MouseLeave": "leave", "MouseWheel": "%+d" % data,
                    "TimerTick": str(data)}.get(name)
            if name in ("MouseDown", "MouseUp"):
                text = "%s %d" % ("up" if up else "down", data)
            if name.startswith("Key"):
                m = re.search(r"\[(.*)\]", extra)
                key = m.group(1) if m else str(data)
                text = key if name == "KeyDown" else None
            if name in LANES[4][2]:
                text = name
            tx = min(x - 4, width - 4 - d.textlength(text or "", font=font))
            if up and text:  # releases are labelled below the lane, presses above
                d.text((tx, y + 7), text, fill=colour, font=font)
            elif text and x - last_label_x > 26:
                d.text((tx, y - 20 if lane % 2 else y + 7), text, fill=colour, font=font)
                last_label_x = x
    for t, name, _, _ in events:
        if not any(name in kinds for _, _, kinds in LANES):
            other.append(name)
    if other:
        d.text((left, bottom + 20), "also: " + ", ".join(sorted(set(other))), fill=(80, 80, 80),
               font=font)
    img.save(path)


def main():
    viewer, out = sys.argv[1], sys.argv[2]
    x_input = XInput()
    start = time.monotonic()
    proc = subprocess.Popen([viewer, str(TICKS)], stdout=subprocess.PIPE, text=True, bufsize=1)
    events = []
    reader = threading.Thread(target=read_events, args=(proc.stdout, start, events))
    reader.start()
    place = None
    while place is None and time.monotonic() - start < 10 and proc.poll() is None:
        time.sleep(0.05)
        place = x_input.find_window(WINDOW_NAME)
    if place is None:
        proc.kill()
        sys.exit("event_timeline.py: the viewer's window did not appear")
    window, wx, wy = place
    play_user(x_input, wx, wy)
    time.sleep(0.4)
    x_input.close(window)
    if proc.wait(timeout=60) != 0:
        sys.exit("event_timeline.py: the viewer failed")
    reader.join()
    kinds = {name for _, name, _, _ in events}
    for needed in ("MouseDown", "MouseWheel", "KeyDown", "MouseLeave", "TimerTick", "AppTerminate"):
        if needed not in kinds:
            sys.exit("event_timeline.py: no %s reached the viewer" % needed)
    draw_timeline(events, out)


if __name__ == "__main__":
    main()
