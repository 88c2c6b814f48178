"""Saving on a full disk keeps the file: a 5-logger area file on a 512 KB tmpfs filled to the last byte. Ctrl+S
says so in a message and the file keeps every byte; with space freed, Ctrl+S saves it. Needs a tmpfs mount
(root, as the CI runs); elsewhere the scenario is skipped."""
import errno
import os
import subprocess
import sys
import tempfile

from scnfiles import THREE, program_folder, read_area, write_area
from scnlib import Desktop, check, wait_for

FIVE = THREE + [
    {"serial": 1100004, "grid": "TQ 1033 4179", "comment1": "West",
     "readings": [("2023/02/0%d" % day, "N", 30 + day, 5) for day in range(1, 8)]},
    {"serial": 1100005, "grid": "TQ 1034 4179", "comment1": "Centre",
     "readings": [("2023/03/0%d" % day, "L", 45, 5 + day) for day in range(1, 8)]},
]

disk = tempfile.mkdtemp(prefix="vord-full-disk-")
if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=512k", "tmpfs", disk], capture_output=True).returncode != 0:
    os.rmdir(disk)
    print("skipped: a tmpfs cannot be mounted here")
    sys.exit(77)


def fill(folder):
    """Takes every free byte, as dd does."""
    with open(os.path.join(folder, "filler"), "wb", buffering=0) as f:
        try:
            while True:
                f.write(b"\0" * 4096)
        except OSError as e:
            check(e.errno == errno.ENOSPC, "filling the disk: %s" % e)


try:
    with Desktop("save_full_disk") as d:
        area = os.path.join(disk, "AREA.PDB")
        write_area(area, FIVE)
        with open(area, "rb") as f:
            before = f.read()
        loggers = read_area(area)
        program = program_folder(d)
        app = d.start("vordalin", [area], env={"VORD_PROGRAM_DIR": program})
        main = d.wait_window("^Vordalin")
        d.wait_active("^Vordalin")
        fill(disk)

        d.key("ctrl+s")
        # The message box: a window of its own over the main window.
        box = wait_for(lambda: next((w for w, t in d.windows() if w != main and t == "Vordalin"), None), 20,
                       what="a message that the file could not be written")
        with open(area, "rb") as f:
            check(f.read() == before, "the area file changed on the full disk")
        d.activate(box)
        d.key("Return")
        wait_for(lambda: box not in [w for w, _ in d.windows()], 20, what="the message to close")
        check(sorted(os.listdir(disk)) == ["AREA.PDB", "filler"], "files left on the disk: %s" % os.listdir(disk))

        # Space again: the same command saves.
        os.remove(os.path.join(disk, "filler"))
        d.activate(main)
        d.key("ctrl+s")
        wait_for(lambda: open(area, "rb").read() != before, 20, what="the file to be saved")
        check(read_area(area) == loggers, "the saved file holds other loggers or readings")
        check(d.close(app, main) == 0, "vordalin ended with an error:\n" + d.output(app))
finally:
    subprocess.run(["umount", "-l", disk])
    os.rmdir(disk)
