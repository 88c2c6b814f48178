"""Every program runs from the build's program folder with what that folder holds (here the scenario's copy of
it): the language files of the source tree are all there, and no program meets a missing file (no "Could not
open Language File" box, no blank window, no loader error) when a technician starts it with a harmless
argument."""
import glob
import os
import subprocess

from scnlib import BIN, Desktop, check, wait_for

SOURCE = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..")
LANG_FAILURE = "Could not open Language File"

with Desktop("program_folder") as d:
    # The folder holds every language file the source tree ships.
    for source in glob.glob(os.path.join(SOURCE, "lang", "*lang_*.txt")):
        name = os.path.basename(source)
        check(os.path.isfile(os.path.join(BIN, name)), "the program folder lacks the language file %s" % name)

    # vordalin: its main window, and no box beside it.
    app = d.start("vordalin")
    main = d.wait_window("^Vordalin")
    extra = [t for w, t in d.windows() if w != main]
    check(not extra, "vordalin showed more than its main window: %s" % extra)
    check(d.close(app, main) == 0, "vordalin ended with an error:\n" + d.output(app))
    check(LANG_FAILURE not in d.output(app), d.output(app))

    # vordsync with no device: its only message says the PDA is not connected, and every text it shows was
    # found in its own language file.
    log = d.path("vordsync-messages.log")
    sync = d.start("vordsync", env={"VORD_MESSAGE_LOG": log, "VORD_CE_DEVICE": d.path("no-device"),
                                    "VORD_CE_SESSION_WAIT_MS": "200"})
    check(d.wait_exit(sync, 60) == 0, "vordsync ended with an error:\n" + d.output(sync))
    messages = open(log, encoding="utf-8").read() if os.path.exists(log) else ""
    check(LANG_FAILURE not in messages, "vordsync could not find its language file:\n" + messages)
    check("Mobile Device not connected" in messages, "vordsync did not say the PDA is missing:\n" + messages)

    # vordregsvr registers the library of the folder it is started in, by its bare name.
    r = subprocess.run([os.path.join(d.bin, "vordregsvr"), "/s", "libVordPDASupport.so"], cwd=d.bin, env=d.env,
                       capture_output=True, text=True, timeout=60)
    check(r.returncode == 0 and not r.stderr, "vordregsvr failed (%d): %s" % (r.returncode, r.stderr))

    # vordclean says what it found in a box of its own and ends at OK.
    clean = d.start("vordclean", ["XYZ", "ScenarioTitle"])
    box = d.wait_window("^ScenarioTitle$")
    d.activate(box)
    d.key("Return")
    check(d.wait_exit(clean) == 0, "vordclean ended with an error:\n" + d.output(clean))

    # quendar32 starts, shows its window (no tray on this desktop) and ends on a request to stop.
    server_dir = d.path("server")
    os.makedirs(server_dir)
    server = d.start("quendar32", ["/NoBanner"], cwd=server_dir)
    wait_for(lambda: d.xdotool("search", "--pid", server.pid, "--name", "^Quarn Communications$"), 20,
             what="the server's window")
    server.terminate()
    check(d.wait_exit(server) == 0, "quendar32 ended with an error:\n" + d.output(server))
    for p in (app, sync, clean, server):
        check(LANG_FAILURE not in d.output(p), d.output(p))
