"""Two lists open, the second one current: the map opened with the toolbar's button and closed again leaves the
second list current. Ctrl+S afterwards saves that list, not the first one."""
import os

from scnfiles import program_folder, write_area
from scnlib import Desktop, check, wait_for
from scnscreen import close_map, open_map


def area(path, serial, lat):
    write_area(path, [{"serial": serial + k, "grid": "AB 1234 5678", "comment1": "Street",
                       "comment2": "%.6f/%.6f" % (lat + 0.004 * k, -1.13 + 0.006 * k),
                       "readings": [("2024/01/03", "Leak", 40, 10 + 10 * k)]} for k in range(2)])


with Desktop("map_keeps_list") as d:
    first = d.path("map_de.pdb")
    second = d.path("out_c.pdb")
    area(first, 1300001, 52.63)
    area(second, 1400001, 52.64)
    app = d.start("vordalin", [first, second], env={"VORD_PROGRAM_DIR": program_folder(d)})
    main = d.wait_window("^Vordalin")
    d.activate(main)
    d.wait_active("^Vordalin")

    gps = open_map(d, main)

    close_map(d, gps)
    d.activate(main)
    d.wait_active("^Vordalin")
    d.settle(0.5)
    before = (os.path.getmtime(first), os.path.getmtime(second))
    with open(first, "rb") as f:
        first_bytes = f.read()
    # A second's wait so a save shows in the modification times whatever their resolution.
    d.settle(1.1)
    d.key("ctrl+s")
    wait_for(lambda: os.path.getmtime(second) != before[1], 20, what="the second list (out_c.pdb) to be saved")
    d.settle(1)
    check(os.path.getmtime(first) == before[0], "Ctrl+S after the map saved map_de.pdb, the list before the last")
    with open(first, "rb") as f:
        check(f.read() == first_bytes, "map_de.pdb changed")
    check(app.poll() is None, "vordalin ended")
