"""A pushpin dragged on the map: the area file saved afterwards holds the coordinate of the place where the
pin's tip was dropped. The map is opened with the toolbar's map button, the leak logger's red pin is taken by
its head and moved; where the tip lands is worked out from the two pins' places on the screen."""
import os
import struct
import subprocess

from scnlib import BIN, Desktop, ScenarioFailure, check, wait_for

# Two loggers a few streets apart: a leak (red pin) and a quiet one (green pin).
LEAK = (1300001, 52.6300, -1.1300, 40, 10)
QUIET = (1300002, 52.6360, -1.1200, 40, 30)
LEAK_RGB = (215, 35, 35)
QUIET_RGB = (30, 150, 60)
PIN_RGB = (231, 76, 60)  # the pin on the toolbar's map symbol


def area_file(path):
    lines = ['"Vordalin Logger Database V5.2.9"',
             '"Serial No","Grid Ref","Comment 1","Comment 2","Deployed","Received",'
             + '"Date","Status","Level","Spread",' * 50 + '"Additional Information",']
    for serial, lat, lon, level, spread in (LEAK, QUIET):
        cells = [str(serial), '"AB 1234 5678"', '"Street"', '"%.6f/%.6f"' % (lat, lon), '""', '""',
                 '"2024/01/03"', '"Leak"', str(level), str(spread)]
        cells += ['""', '""', "0", "0"] * 49
        cells.append('""')
        lines.append(",".join(cells))
    with open(path, "w", newline="") as f:
        f.write("\r\n".join(lines) + "\r\n")


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
    """The toolbar's map button: the rightmost icon with the red pin of the map symbol, near the window's top."""
    x, y, w, h = desktop.geometry(main)
    screen = Screen(desktop)
    red = [(cx, cy) for cy in range(max(0, y - 60), y + 100) for cx in range(x, x + w) if screen.rgb(cx, cy) == PIN_RGB]
    check(len(red) > 10, "no map button on the toolbar")
    right = max(cx for cx, _ in red)
    pin = [(cx, cy) for cx, cy in red if cx > right - 12]
    return (sum(p[0] for p in pin) // len(pin) - 4, sum(p[1] for p in pin) // len(pin) + 6)


with Desktop("map_drag") as d:
    area = d.path("map_drag.pdb")
    area_file(area)
    app = d.start("vordalin", [area])
    main = d.wait_window("^Vordalin")
    d.activate(main)
    d.wait_active("^Vordalin")
    d.settle(2)
    bx, by = map_button(d, main)
    d.click(bx, by)
    gps = d.wait_window("^GPS$")
    d.xdotool("windowsize", "--sync", gps, 1000, 800)
    d.activate(gps)
    gx, gy, gw, gh = d.geometry(gps)
    area_box = (gx, gy, gx + gw, gy + gh)

    def pins():
        s = Screen(d)
        return s.find(LEAK_RGB, area_box), s.find(QUIET_RGB, area_box)

    leak, quiet = wait_for(lambda: all(pins()) and pins(), 30, what="both pushpins on the map")
    d.settle(1)
    leak, quiet = pins()
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
    # The save also queued a copy for the PDA in the program folder; that one is the scenario's own to remove.
    queued = os.path.join(BIN, "rovemark", "AutoExport", "map_drag.pdb")
    if os.path.exists(queued):
        os.remove(queued)
    text = stored_coordinate(area, LEAK[0])
    check(text is not None and "/" in text, "no coordinate stored for the dragged logger: %r" % text)
    lat, lon = (float(v) for v in text.split("/"))
    # Three pixels of slack; a pin stored by the point under the cursor is sixteen pixels off.
    check(abs(lat - want_lat) <= 3 * abs(lat_per_px) and abs(lon - want_lon) <= 3 * abs(lon_per_px),
          "stored %s, the tip was dropped at %.6f/%.6f (%.1f px north, %.1f px east of it)"
          % (text, want_lat, want_lon, (lat - want_lat) / abs(lat_per_px), (lon - want_lon) / lon_per_px))
    check(stored_coordinate(area, QUIET[0]) == "%.6f/%.6f" % (QUIET[1], QUIET[2]),
          "the other logger's coordinate changed: %s" % stored_coordinate(area, QUIET[0]))
