"""The program's own CSV export opened again: File > Export writes the list in the CSV layout, Ctrl+O opens that
file, and the list shows every logger's readings in their places. Ctrl+S then writes the readings as they were,
and the copy in the PDA queue carries them too."""
import os

from scnfiles import read_area, program_folder, write_area
from scnlib import Desktop, check, wait_for

LOGGERS = [
    {"serial": 1100001, "grid": "AB 1234 5678", "comment1": "North", "info": "Checked by J, noisy",
     "readings": [("2025/01/12", "L", 45, 9), ("2024/12/01", "N", 30, 20)]},
    {"serial": 1100002, "grid": "AB 2234 5678", "comment1": "South", "info": "",
     "readings": [("2025/01/13", "N", 33, 21)]},
]

with Desktop("csv_round_trip") as d:
    folder = program_folder(d)
    area = d.path("patrol.pdb")
    write_area(area, LOGGERS)
    before = read_area(area)
    app = d.start("vordalin", [area], env={"VORD_PROGRAM_DIR": folder})
    d.wait_window("^Vordalin")
    d.wait_active("^Vordalin")

    # File > Export, under the name "round" in the scenario's folder: the program adds ".csv".
    d.key("alt+f")
    d.settle(0.3)
    d.key("e")
    d.wait_active("^Export$")
    d.key("ctrl+a")
    d.type(d.path("round"))
    d.key("Return")
    d.wait_window_gone("^Export$")
    export = d.path("round.csv")
    wait_for(lambda: os.path.exists(export), 20, what="the export round.csv")
    with open(export, "rb") as f:
        titles = f.read().split(b"\r\n")[1]
    check(titles.split(b",")[6].strip(b'"') != b"Date", "the export does not put the additional information seventh")

    d.wait_active("^Vordalin")
    d.key("ctrl+o")
    d.wait_active("^Open$")
    d.key("ctrl+a")
    d.type(export)
    d.key("Return")
    d.wait_window_gone("^Open$")
    d.wait_window("^Vordalin")
    d.wait_active("^Vordalin")
    d.settle(0.5)
    exported = os.path.getmtime(export)
    d.settle(1.1)
    d.key("ctrl+s")
    wait_for(lambda: os.path.getmtime(export) != exported, 20, what="the reopened export to be saved")

    after = read_area(export)
    check(after == before, "the export saved again holds other readings: %s" % {
        s: after.get(s, [])[:2] for s in before})
    queued = os.path.join(folder, "rovemark", "AutoExport", "round.csv")
    wait_for(lambda: os.path.exists(queued), 10, what="the PDA queue copy")
    check(read_area(queued) == before, "the PDA queue copy holds other readings")
    check(app.poll() is None, "vordalin ended")
