"""A pushpin dragged on the map: the area file saved afterwards holds the coordinate of the place where the
pin's tip was dropped. The map is opened with the toolbar's map button, the leak logger's red pin is taken by
its head and moved; where the tip lands is worked out from the two pins' places on the screen."""
import os

from scnfiles import write_area
from scnlib import Desktop, check, wait_for
from scnscreen import Screen, close_map, open_map

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


with Desktop("map_drag") as d:
    area = d.path("map_drag.pdb")
    write_area(area, [{"serial": serial, "grid": "AB 1234 5678", "comment1": "Street",
                       "comment2": "%.6f/%.6f" % (lat, lon), "readings": [("2024/01/03", "Leak", level, spread)]}
                      for serial, lat, lon, level, spread in (LEAK, QUIET)])
    app = d.start("vordalin", [area])
    main = d.wait_window("^Vordalin")
    d.activate(main)
    d.wait_active("^Vordalin")
    gps = open_map(d, main)
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

    # Closing the map writes every pushpin's place back into the list.
    close_map(d, gps)
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
