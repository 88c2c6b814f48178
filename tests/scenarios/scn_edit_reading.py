"""A corrected reading sticks: with history editing allowed, open an area file, open the record editor on the
first logger, change reading 1's level in its dialog, let the list window take the focus back (as the window
manager does when a dialog closes), Update with F12, Save, and read the file: the new level is in it."""
import os

from scnfiles import THREE, program_folder, read_area, write_area
from scnlib import Desktop, check, wait_for

with Desktop("edit_reading") as d:
    d.write_settings({"EnHistEdit": "True"})
    area = d.path("area.pdb")
    write_area(area, THREE)
    before = read_area(area)
    program = program_folder(d)
    app = d.start("vordalin", [area], env={"VORD_PROGRAM_DIR": program})
    main = d.wait_window("^Vordalin")
    d.wait_active("^Vordalin")

    # The list has the keyboard with the first logger current: Enter opens the editor on it.
    d.key("Return")
    editor = d.wait_window("^area\\.pdb$")
    d.wait_active("^area\\.pdb$")
    # From the serial box to the readings, reading 1, its dialog.
    d.key(*["Tab"] * 8)
    d.key("Home", "Return")
    d.wait_active("^Edit Reading$")
    d.key("Tab", "Tab", "ctrl+a")
    d.type("55")
    d.key("Return")
    d.wait_window_gone("^Edit Reading$")

    # The list window gets the focus back, then the user returns to the editor and updates.
    d.activate(main)
    d.activate(editor)
    d.wait_active("^area\\.pdb$")
    d.key("F12")

    d.activate(main)
    d.key("ctrl+s")
    wait_for(lambda: read_area(area)[1100001][0][2] == 55, 20, what="the saved file to hold level 55")
    check(d.close(app, main) == 0, "vordalin ended with an error:\n" + d.output(app))

    after = read_area(area)
    check(after[1100001][0] == ("2023/02/01", "L", 55, 25), "reading 1 as saved: %s" % (after[1100001][0],))
    check(after[1100001][1:] == before[1100001][1:], "other readings of the logger changed")
    for serial in (1100002, 1100003):
        check(after[serial] == before[serial], "logger %d changed: %s" % (serial, after[serial][:2]))
    queued = os.path.join(program, "rovemark", "AutoExport", "area.pdb")
    check(read_area(queued) == after, "the PDA queue's copy differs from the saved file")
