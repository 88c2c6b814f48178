"""The report options dialog comes back from the preview where it was: same place, same size, so a click where
OK was still hits OK. Checked where the window manager put it first, after the user moved it, and for two
previews in a row."""
from scnfiles import THREE, write_area
from scnlib import Desktop, check, wait_for
from scnprint import close_preview, open_report_options


def stable_geometry(d, pattern):
    """The geometry of the window once the window manager has placed it (two equal readings in a row)."""
    last = [None]

    def settled():
        wid = d.find_window(pattern)
        g = d.geometry(wid) if wid else None
        same = g is not None and g == last[0]
        last[0] = g
        return g if same else None

    return wait_for(settled, 20, step=0.3, what="window /%s/ to settle" % pattern)


with Desktop("options_after_preview") as d:
    area = d.path("area.pdb")
    write_area(area, THREE)
    d.write_settings({"ChkAll": 1, "ChkHist": 0, "ChkSummary": 0})
    app = d.start("vordalin", [area])
    main = d.wait_window("^Vordalin")
    open_report_options(d, main)
    before = stable_geometry(d, "^Print$")

    for round_ in (1, 2, 3):
        if round_ == 2:  # the user moves it
            options = d.wait_window("^Print$")
            d.xdotool("windowmove", "--sync", options, 200, 150)
            before = stable_geometry(d, "^Print$")
        d.focus("^Print$")
        d.key("alt+r")
        d.wait_window("^Print Preview")
        d.wait_window_gone("^Print$")
        close_preview(d)
        after = stable_geometry(d, "^Print$")
        check(after == before, "after preview %d the options dialog is at %s, before it was at %s"
              % (round_, after, before))

    d.focus("^Print$")
    d.key("Escape")
    d.wait_window_gone("^Print$")
    d.close(app, main)
