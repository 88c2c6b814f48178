"""What the scenarios read off the screen: the root window's pixels, and the main window's toolbar buttons
found by where they stand (Qt's toolbar buttons are no X windows of their own)."""
import struct
import subprocess

from scnlib import ScenarioFailure, check, wait_for


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

    def pixels(self, test, box):
        """Every pixel inside box (x0, y0, x1, y1) whose colour passes test."""
        x0, y0, x1, y1 = box
        return [(x, y) for y in range(max(0, y0), min(self.height, y1))
                for x in range(max(0, x0), min(self.width, x1)) if test(self.rgb(x, y))]


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



def open_map(desktop, main):
    """Opens the map window with the toolbar's map button and returns it. A click that comes before the window
    takes input is lost: it is made again while no map shows."""
    bx, by = wait_for(lambda: map_button(desktop, main), 30, step=0.5, what="the toolbar's map button")

    def click_and_look():
        desktop.click(bx, by)
        try:
            return desktop.wait_window("^GPS$", 5)
        except ScenarioFailure:
            return None

    return wait_for(click_and_look, 40, step=0.5, what="the map window")


def close_map(desktop, gps):
    """Closes the map window with Alt+F4 and waits until it is gone. The key goes to the map window, so it is
    made the active one first (a drag or a click elsewhere may have left the focus with the window manager)."""

    def close_and_look():
        if desktop.find_window("^GPS$") is None:
            return True
        desktop.activate(gps)
        desktop.wait_active("^GPS$")
        desktop.key("alt+F4")
        try:
            desktop.wait_window_gone("^GPS$", 5)
            return True
        except ScenarioFailure:
            return False

    wait_for(close_and_look, 40, step=0.5, what="the map window to close")
