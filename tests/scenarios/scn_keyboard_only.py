"""Keyboard only: File, Open with Ctrl+O, the new list has the keyboard with its first row current, Down and
Enter open the record editor on the second logger, the editor has the keyboard, a reading is changed in its
dialog, F12 updates and Ctrl+S saves. No mouse and no window activation from outside."""
from scnfiles import THREE, program_folder, read_area, write_area
from scnlib import Desktop, check, wait_for

with Desktop("keyboard_only") as d:
    d.write_settings({"EnHistEdit": "True"})
    area = d.path("area.pdb")
    write_area(area, THREE)
    before = read_area(area)
    app = d.start("vordalin", env={"VORD_PROGRAM_DIR": program_folder(d)})
    d.wait_window("^Vordalin")
    d.wait_active("^Vordalin")

    d.key("ctrl+o")
    d.wait_active("^Open$")
    d.key("ctrl+a")
    d.type(area)
    d.key("Return")
    d.wait_window_gone("^Open$")
    d.wait_active("^Vordalin")

    d.key("Down", "Return")
    d.wait_active("^area\\.pdb$")
    d.key(*["Tab"] * 8)
    d.key("Home", "Return")
    d.wait_active("^Edit Reading$")
    d.key("Tab", "Tab", "ctrl+a")
    d.type("77")
    d.key("Return")
    d.wait_window_gone("^Edit Reading$")
    d.wait_active("^area\\.pdb$")
    d.key("F12", "ctrl+s")
    wait_for(lambda: read_area(area)[1100002][0][2] == 77, 20, what="the saved file to hold level 77")

    after = read_area(area)
    check(after[1100002][0] == ("2023/02/02", "N", 77, 10), "reading 1 as saved: %s" % (after[1100002][0],))
    for serial in (1100001, 1100003):
        check(after[serial] == before[serial], "logger %d changed: %s" % (serial, after[serial][:2]))
    check(app.poll() is None, "vordalin ended")
