"""A change saved from the question at exit is kept whole and remembered: open an area file whose grid
references carry their own letters, change only the first logger's Comment 1 in the record editor, Update with
F12, close the program and answer Yes to its save question. The file holds the new comment with the grid
reference as it was, and the next run lists the file among the recent files."""
from scnfiles import program_folder, write_area
from scnlib import Desktop, check, wait_for

LOGGERS = [
    {"serial": 1100001, "grid": "TQ 1033 4179", "comment1": "North", "readings": [("2023/02/01", "L", 99, 25)]},
    {"serial": 1100002, "grid": "SU 2234 5678", "comment1": "South", "readings": [("2023/02/02", "N", 40, 10)]},
]


def rows(path):
    with open(path, "rb") as f:
        lines = f.read().decode("cp1252").split("\r\n")
    return {line.split(",")[0]: line.split(",")[1:4] for line in lines[2:] if line}


with Desktop("exit_save") as d:
    area = d.path("area.pdb")
    write_area(area, LOGGERS)
    program = program_folder(d)
    app = d.start("vordalin", [area], env={"VORD_PROGRAM_DIR": program})
    main = d.wait_window("^Vordalin")
    d.wait_active("^Vordalin")

    # The list has the keyboard with the first logger current: Enter opens the editor on it, whose serial box
    # has the keyboard; two tabs on is Comment 1.
    d.key("Return")
    d.wait_active("^area\\.pdb$")
    d.key("Tab", "Tab", "ctrl+a")
    d.type("Mill Lane")
    d.key("F12")

    d.activate(main)
    d.wait_active("^Vordalin")
    d.key("alt+F4")
    d.wait_active("^Vordalin$")  # the question, titled with the program's name
    d.key("alt+y")
    wait_for(lambda: app.poll() is not None, 20, what="vordalin to end after the save")
    check(app.returncode == 0, "vordalin ended with an error:\n" + d.output(app))

    saved = rows(area)
    check(saved.get("1100001") == ['"TQ 1033 4179"', '"Mill Lane"', '""'],
          "the edited logger as saved: %s" % saved.get("1100001"))
    check(saved.get("1100002") == ['"SU 2234 5678"', '"South"', '""'],
          "the other logger as saved: %s" % saved.get("1100002"))
    recent = d.read_settings().get("Settings", {}).get("MRU1")
    check(recent == area, "the recent files begin with %r, not the saved file" % recent)
