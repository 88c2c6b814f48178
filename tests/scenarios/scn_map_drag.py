"""A pushpin dragged on the map: the area file saved afterwards holds the coordinate of the place where the
pin's tip was dropped. The map is opened with the toolbar's map button, the leak logger's red pin is taken by
its head and moved; where the tip lands is worked out from the two pins' places on the screen."""
import os
import struct
import subprocess

from scnfiles import write_area
from scnlib import Desktop, ScenarioFailure, check, wait_for

# Two loggers a few streets apart: a leak (red pin) and a quiet one (green pin).
LEAK = (1300001, 52.6300, -1.1300, 40, 10)
QUIET = (1300002, 52.6360, -1.1200, 40, 30)
LEAK_RGB = (215, 35, 35)
QUIET_RGB = (30, 150, 60)


def stored_coordinate(path, serial):
    with open(path, encoding="cp1252") as f:
        for line in f:
            if line.startswith(str(serial) + ","):
                return line.split(",")[3].strip('"')
    return None


class Screen:
    """The root window's pixels, read from xwd's dump (TrueColor, 24 or 32 bits a pixel)."""

    def __init__(self, desktop):
        raw = subprocess.run(["xwd", "-root", "-silent"], env=desktop.env, capture_output=True, timeout=30).stdout
        header = struct.unpack(">25I", raw[:100])
        size, width, height = header[0], header[4], header[5]
        self.lsb = header[7] == 0
        bpp, self.stride, ncolours = header[11], header[12], header[19]
        check(bpp in (24, 32), "unexpected screen dump with %d bits a pixel" % bpp)
        self.bytes = bpp // 8
        self.width, self.height = width, height
        self.data = raw[size + 12 * ncolours:]

    def rgb(self, x, y):
        o = y * self.stride + x * self.bytes
        px = self.data[o:o + self.bytes]
        if self.lsb:
            return px[2], px[1], px[0]
        return tuple(px[-3:])

    def find(self, colour, box):
        """Centre of the pixels of exactly this colour inside box (x0, y0, x1, y1), or None."""
        xs, ys = [], []
        x0, y0, x1, y1 = box
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                if self.rgb(x, y) == colour:
                    xs.append(x)
                    ys.append(y)
        if len(xs) < 10:
            return None
        return (sum(xs) / len(xs), sum(ys) / len(ys))


def map_button(desktop, main):
    """The toolbar's map button, its last one, or None while the toolbar is not drawn: the rightmost of the
    toolbar's coloured symbols. The toolbar is the one row of the main window where coloured symbols stand
    side by side across half the window's width; a bar of colour across the window (a title, the list's
    selection) is not it, and the menu bar's titles are black."""
    x, y, w, h = desktop.geometry(main)
    screen = Screen(desktop)

    def coloured(rgb):
        return max(rgb) - min(rgb) > 60

    rows = {}
    for cy in range(max(0, y - 80), min(screen.height, y + h)):
        cols = [cx for cx in range(x, x + w) if coloured(screen.rgb(cx, cy))]
        if cols and len(cols) < w * 0.4 and cols[-1] - cols[0] > w / 2:
            rows[cy] = cols
    if not rows:
        return None
    right = max(cols[-1] for cols in rows.values())
    ys = [cy for cy, cols in rows.items() if cols[-1] > right - 24]
    return right - 12, (min(ys) + max(ys)) // 2


with Desktop("map_drag") as d:
    area = d.path("map_drag.pdb")
    write_area(area, [{"serial": serial, "grid": "AB 1234 5678", "comment1": "Street",
                       "comment2": "%.6f/%.6f" % (lat, lon), "readings": [("2024/01/03", "Leak", level, spread)]}
                      for serial, lat, lon, level, spread in (LEAK, QUIET)])
    app = d.start("vordalin", [area])
    main = d.wait_window("^Vordalin")
    d.activate(main)
    d.wait_active("^Vordalin")
    bx, by = wait_for(lambda: map_button(d, main), 30, step=0.5, what="the toolbar's map button")

    # A click that comes before the window takes input is lost: it is made again while no map shows.
    def open_map():
        d.click(bx, by)
        try:
            return d.wait_window("^GPS$", 5)
        except ScenarioFailure:
            return None

    gps = wait_for(open_map, 40, step=0.5, what="the map window")
    d.xdotool("windowsize", "--sync", gps, 1000, 800)
    d.activate(gps)
    gx, gy, gw, gh = d.geometry(gps)
    area_box = (gx, gy, gx + gw, gy + gh)

    def pins():
        s = Screen(d)
        return s.find(LEAK_RGB, area_box), s.find(QUIET_RGB, area_box)

    # The pins' places, once the map has stopped moving them (two looks that agree).
    last = []

    def steady_pins():
        now = pins()
        same = all(now) and last and now == last[-1]
        last.append(now)
        return same and now

    leak, quiet = wait_for(steady_pins, 30, step=0.3, what="both pushpins still on the map")
    check(abs(leak[0] - quiet[0]) > 40 and abs(leak[1] - quiet[1]) > 40,
          "the pushpins are too close to measure the map: %s %s" % (leak, quiet))
    # The heads' centres stand the same height above their tips, so the heads give the map's scale.
    lon_per_px = (QUIET[2] - LEAK[2]) / (quiet[0] - leak[0])
    lat_per_px = (QUIET[1] - LEAK[1]) / (quiet[1] - leak[1])

    head = (int(round(leak[0])), int(round(leak[1])))
    move = (70, 50)
    d.drag(head[0], head[1], head[0] + move[0], head[1] + move[1], steps=14)
    moved = wait_for(lambda: Screen(d).find(LEAK_RGB, area_box), 10, what="the dragged pushpin")
    check(abs(moved[0] - leak[0] - move[0]) <= 2 and abs(moved[1] - leak[1] - move[1]) <= 2,
          "the pushpin did not move with the cursor: from %s to %s" % (leak, moved))
    want_lat = LEAK[1] + move[1] * lat_per_px
    want_lon = LEAK[2] + move[0] * lon_per_px

    # Closing the map writes every pushpin's place back into the list. The key goes to the map window, so it
    # is made the active one first (the drag may have left the focus with the window manager).
    def close_map():
        if d.find_window("^GPS$") is None:
            return True
        d.activate(gps)
        d.wait_active("^GPS$")
        d.key("alt+F4")
        try:
            d.wait_window_gone("^GPS$", 5)
            return True
        except ScenarioFailure:
            return False

    wait_for(close_map, 40, step=0.5, what="the map window to close")
    d.activate(main)
    d.wait_active("^Vordalin")
    before = os.path.getmtime(area)
    d.key("ctrl+s")
    wait_for(lambda: os.path.getmtime(area) != before, 20, what="the area file to be saved")
    text = stored_coordinate(area, LEAK[0])
    check(text is not None and "/" in text, "no coordinate stored for the dragged logger: %r" % text)
    lat, lon = (float(v) for v in text.split("/"))
    # Three pixels of slack; a pin stored by the point under the cursor is sixteen pixels off.
    check(abs(lat - want_lat) <= 3 * abs(lat_per_px) and abs(lon - want_lon) <= 3 * abs(lon_per_px),
          "stored %s, the tip was dropped at %.6f/%.6f (%.1f px north, %.1f px east of it)"
          % (text, want_lat, want_lon, (lat - want_lat) / abs(lat_per_px), (lon - want_lon) / lon_per_px))
    check(stored_coordinate(area, QUIET[0]) == "%.6f/%.6f" % (QUIET[1], QUIET[2]),
          "the other logger's coordinate changed: %s" % stored_coordinate(area, QUIET[0]))
