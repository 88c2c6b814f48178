"""The name of a selected pushpin shows whole: a logger at the map's right edge, beside the panel of options,
is selected with a click on its head, and its balloon lies inside the map, clear of the panel (on the left of
the pin where the right has no room) rather than cut off by it. The map is opened with the toolbar's map button
from a program folder of the scenario's own."""
import glob
import os
import shutil

from scnfiles import program_folder, write_area
from scnlib import BIN, Desktop, check, wait_for
from scnscreen import Screen, open_map

# The map fits its view to the loggers: the eastern one stands at the map's right edge.
WEST = {"serial": 1300001, "grid": "TQ 1033 4179", "comment2": "52.630000/-1.130000",
        "readings": [("2024/01/03", "L", 40, 10)]}
EAST = {"serial": 1300002, "grid": "TQ 1034 4180", "comment2": "52.636000/-1.120000",
        "readings": [("2024/01/03", "N", 40, 30)]}
EAST_RGB = (30, 150, 60)   # the head of a pin that is not in leak
PANEL_RGB = (239, 239, 239)


def centre(points):
    return (sum(p[0] for p in points) // len(points), sum(p[1] for p in points) // len(points))


def balloon_fill(c):
    """The balloon's pale yellow, over whatever the map shows below it."""
    r, g, b = c
    return r >= 246 and g >= 246 and 228 <= b <= r - 6


with Desktop("map_balloon") as d:
    program = program_folder(d)
    for template in glob.glob(os.path.join(BIN, "VordalinMap*.ptt")):
        shutil.copy(template, program)
    area = d.path("east_west.pdb")
    write_area(area, [WEST, EAST])
    app = d.start("vordalin", [area], env={"VORD_PROGRAM_DIR": program})
    main = d.wait_window("^Vordalin")
    d.activate(main)
    d.wait_active("^Vordalin")

    gps = open_map(d, main)
    d.activate(gps)
    gx, gy, gw, gh = d.geometry(gps)
    window = (gx, gy, gx + gw, gy + gh)

    head = centre(wait_for(lambda: Screen(d).pixels(lambda c: c == EAST_RGB, window), 30,
                           what="the eastern logger's pushpin"))
    d.click(*head)

    # The map ends where the panel's plain grey begins, to the right of the pin.
    def map_edge(screen):
        row = head[1] + 30
        run = 0
        for px in range(head[0], gx + gw):
            run = run + 1 if screen.rgb(px, row) == PANEL_RGB else 0
            if run == 6:
                return px - 5
        return None

    def balloon():
        s = Screen(d)
        fill = s.pixels(balloon_fill, (gx, head[1] - 80, gx + gw, head[1] + 80))
        return (s, fill) if len(fill) > 200 else None

    screen, fill = wait_for(balloon, 20, what="the selected pushpin's balloon")
    edge = map_edge(screen)
    check(edge is not None, "no panel found to the right of the pushpin at %s" % (head,))
    check(edge - head[0] < 200, "the pushpin is %d px from the map's edge: not at the edge" % (edge - head[0]))
    left = min(px for px, _ in fill)
    right = max(px for px, _ in fill)
    # Its frame and a strip of map between the balloon and the panel: nothing of it is cut off.
    check(right < edge - 1, "the balloon (x %d..%d) is cut off by the panel at x %d" % (left, right, edge))
    check(right - left > 60, "the balloon is only %d px wide" % (right - left))
