"""One file opened twice. In one program: Ctrl+O twice.pdb twice brings the list that holds it forward instead of
opening a second one, so a logger cut and saved, then another cut and saved after Ctrl+F6 (the next window), are
both gone from the file. In two programs on one file: the second saves a cut; the first one's Save then asks
before it replaces the file, and No (the default) keeps the second program's save."""
import os
import re
import time

from scnfiles import program_folder, write_area
from scnlib import Desktop, check, wait_for

LOGGERS = [1100001, 6433012, 3530829, 1100004]


def area(path):
    write_area(path, [{"serial": s, "grid": "AB 1234 5678", "comment1": "Street %d" % k,
                       "readings": [("2024/01/03", "N", 40, 10)]} for k, s in enumerate(LOGGERS)])


def serials(path):
    with open(path, "rb") as f:
        return [int(line.split(b",")[0]) for line in f.read().split(b"\r\n")[2:] if line]


def new_main_window(d, known=()):
    """The main window of a program just started: a window titled as the program that is not one of the known
    ones, once it has stood for longer than the splash screen (titled alike) shows."""
    first_seen = {}

    def look():
        ids = [w for w, t in d.windows() if t == "Vordalin" and w not in known]
        now = time.monotonic()
        for wid in ids:
            first_seen.setdefault(wid, now)
        steady = [wid for wid in ids if now - first_seen[wid] > 4.5]
        return steady[0] if len(steady) == 1 else None
    return wait_for(look, 40, step=0.5, what="the main window of the program just started")


def open_file(d, path):
    d.key("ctrl+o")
    d.wait_active("^Open$")
    d.key("ctrl+a")
    d.type(path)
    d.key("Return")
    d.wait_window_gone("^Open$")


def cut_logger(d, main, path, serial):
    """Search > Find the serial, then Edit > Cut it, answering the removal question with Yes."""
    d.activate(main)
    d.wait_active("^Vordalin$")
    d.key("alt+s")
    d.settle(0.3)
    d.key("f")
    wait_for(lambda: d.xdotool("getactivewindow", check_rc=False) not in ("", main), 20,
             what="the Find box")
    d.key("ctrl+a")
    d.type("%08d" % serial)
    d.key("Return")
    d.wait_active("^Vordalin$")
    d.settle(0.3)
    d.key("alt+e")
    d.settle(0.3)
    d.key("t")
    # The removal question, titled with the list's file.
    box = wait_for(lambda: d.find_window("^" + re.escape(path) + "$|^" + re.escape(os.path.basename(path)) + "$"),
                   20, what="the removal question")
    d.activate(box)
    d.key("alt+y")
    d.wait_window_gone("^" + re.escape(path) + "$|^" + re.escape(os.path.basename(path)) + "$")


def save_and_wait(d, path, gone):
    before = os.stat(path)
    d.key("ctrl+s")
    wait_for(lambda: gone not in serials(path) and os.stat(path).st_mtime_ns != before.st_mtime_ns, 20,
             what="%08d to be gone from the saved file" % gone)


with Desktop("same_file_twice") as d:
    folder = program_folder(d)

    # One program, the file opened twice.
    twice = d.path("twice.pdb")
    area(twice)
    app = d.start("vordalin", env={"VORD_PROGRAM_DIR": folder})
    main = new_main_window(d)
    d.activate(main)
    d.wait_active("^Vordalin$")
    open_file(d, twice)
    d.wait_active("^Vordalin$")
    open_file(d, twice)
    d.wait_active("^Vordalin$")
    cut_logger(d, main, twice, 6433012)
    save_and_wait(d, twice, 6433012)
    d.key("ctrl+F6")
    d.settle(0.5)
    cut_logger(d, main, twice, 3530829)
    save_and_wait(d, twice, 3530829)
    check(serials(twice) == [1100001, 1100004], "the file after both saves holds %s" % serials(twice))
    d.close(app, main)

    # Two programs on one file.
    shared = d.path("shared.pdb")
    area(shared)
    first = d.start("vordalin", [shared], env={"VORD_PROGRAM_DIR": folder})
    first_main = new_main_window(d)
    second = d.start("vordalin", [shared], env={"VORD_PROGRAM_DIR": folder})
    second_main = new_main_window(d, [first_main])
    cut_logger(d, second_main, shared, 6433012)
    save_and_wait(d, shared, 6433012)
    saved_by_second = open(shared, "rb").read()

    cut_logger(d, first_main, shared, 3530829)
    d.key("ctrl+s")
    # The first program asks before it replaces what the second one saved; Return answers No.
    def first_program_box():
        return next((w for w, t in d.windows() if t == "Vordalin" and w not in (first_main, second_main)), None)

    box = wait_for(first_program_box, 20, what="the first program's question before replacing the file")
    d.activate(box)
    d.key("Return")
    wait_for(lambda: first_program_box() is None, 20, what="the question to close")
    d.settle(1)
    check(open(shared, "rb").read() == saved_by_second,
          "the first program replaced the second one's save: the file holds %s" % serials(shared))
    check(first.poll() is None and second.poll() is None, "a program ended")
