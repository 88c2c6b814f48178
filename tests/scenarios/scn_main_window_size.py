"""The main window keeps its size from run to run: three starts and closes leave the stored placement equal and
the window where it was. After a session that ended maximised the next start shows the whole window, status
bar included, on the screen."""
import subprocess

from scnlib import Desktop, check, wait_for

KEYS = ("MainLeft", "MainTop", "MainWidth", "MainHeight")


def placement(d):
    stored = d.read_settings().get("Settings", {})
    return tuple(stored.get(k) for k in KEYS)


def xprop(d, wid, prop):
    return subprocess.run(["xprop", "-id", str(wid), prop], env=d.env, capture_output=True, text=True).stdout


def client_geometry(d, wid):
    """(x, y, width, height) of the inside of a window on the screen (xwininfo's absolute position, which takes
    the window manager's frame into account)."""
    out = subprocess.run(["xwininfo", "-id", str(wid)], env=d.env, capture_output=True, text=True).stdout
    v = {}
    for line in out.splitlines():
        if ":" in line:
            k, _, val = line.strip().partition(":")
            v[k.strip()] = val.strip()
    return (int(v["Absolute upper-left X"]), int(v["Absolute upper-left Y"]), int(v["Width"]), int(v["Height"]))


def frame_extents(d, wid):
    """(left, right, top, bottom) of the window manager's frame around a window."""
    out = xprop(d, wid, "_NET_FRAME_EXTENTS")
    if "=" not in out:
        return None
    return tuple(int(v) for v in out.split("=", 1)[1].split(","))


def settled_geometry(d, wid):
    """The window's geometry once the window manager has framed it and it has stopped moving."""
    wait_for(lambda: frame_extents(d, wid), 20, what="the window's frame")
    last = [None]

    def steady():
        now = client_geometry(d, wid)
        same = now == last[0]
        last[0] = now
        return same

    wait_for(steady, 20, step=0.3, what="the window to settle")
    return last[0]


def run(d, then=None):
    """Starts the main program, lets it settle, optionally acts on it, and ends it with Alt+F4."""
    app = d.start("vordalin")
    main = d.wait_window("^Vordalin")
    geometry = settled_geometry(d, main)
    if then:
        geometry = then(main)
    check(d.close(app, main) == 0, "vordalin ended with an error:\n" + d.output(app))
    return geometry


def maximise(d, main):
    settled_geometry(d, main)
    d.activate(main)
    d.key("alt+space")  # the window manager's window menu, its Maximize item
    d.key("x")
    wait_for(lambda: "MAXIMIZED_VERT" in xprop(d, main, "_NET_WM_STATE"), 20, what="the window to be maximised")
    return settled_geometry(d, main)


with Desktop("main_window_size") as d:
    shown = []
    stored = []
    for _ in range(3):
        shown.append(run(d))
        stored.append(placement(d))
    check(all(v is not None for v in stored[0]), "the placement was not stored: %s" % (stored[0],))
    check(stored[0] == stored[1] == stored[2], "the stored placement changed from run to run: %s" % stored)
    check(shown[1] == shown[2], "the window came up at another place or size: %s" % shown)

    run(d, then=lambda main: maximise(d, main))
    screen_w, screen_h = d.size
    x, y, w, h = run(d)
    # The inside of the window, status bar at its foot, lies on the screen.
    check(x >= 0 and y >= 0 and x + w <= screen_w and y + h <= screen_h,
          "after a maximised session the window reaches past the screen: %d,%d %dx%d on %dx%d"
          % (x, y, w, h, screen_w, screen_h))
