"""The main program starts from its program folder with an area file, shows it, and ends through the window
manager's close with its settings written."""
import os
import shutil

from scnlib import Desktop, check, wait_for

with Desktop("start_and_close") as d:
    area = d.path("area.pdb")
    shutil.copy(os.path.join(os.environ["VORD_TEST_DATA"], "database.pdb"), area)
    app = d.start("vordalin", [area])
    main = d.wait_window("^Vordalin")
    check(d.close(app, main) == 0, "vordalin ended with an error:\n" + d.output(app))
    stored = d.read_settings().get("Settings", {})
    check("MainWidth" in stored, "the main window's size was not stored: %s" % stored)
