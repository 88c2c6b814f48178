"""The communications server on a desktop without a system tray: its main window waits minimised with the
tray's menu, the windows it opens stand cascaded and wide enough for their captions, and Close from that menu
ends the server cleanly with its INI saying it stopped."""
import os
import subprocess

from scnlib import Desktop, check, wait_for

# Width that a caption needs in the window manager's title bar: the text in its bold title font plus the
# window icon and the three buttons. Generous on the text, so a window that cut its caption stands out.
def caption_fits(d, wid):
    title = d.title(wid)
    width = d.geometry(wid)[2]
    return width >= 7 * len(title) + 90, "%r is %d pixels wide" % (title, width)


def state(d, wid):
    r = subprocess.run(["xprop", "-id", wid, "WM_STATE"], env=d.env, capture_output=True, text=True)
    return r.stdout


def read_ini(path):
    out, section = {}, None
    with open(path, encoding="latin-1") as f:
        for line in f:
            line = line.strip()
            if line.startswith("[") and line.endswith("]"):
                section = out.setdefault(line[1:-1].lower(), {})
            elif "=" in line and section is not None:
                k, v = line.split("=", 1)
                section[k.strip().lower()] = v.strip()
    return out


with Desktop("server_without_tray") as d:
    folder = d.path("server")
    os.makedirs(folder)
    server = d.start("quendar32", ["/NoBanner"], cwd=folder)
    main = wait_for(lambda: d.xdotool("search", "--pid", server.pid, "--name", "^Quarn Communications$"), 20,
                    what="the server's main window").split()[0]
    wait_for(lambda: "Iconic" in state(d, main), 20, what="the main window to be minimised")

    # The window comes up from the task list; its Comms menu is the tray menu.
    d.activate(main)
    d.wait_active("^Quarn Communications$")
    d.key("alt+c")
    d.key("h")
    history = d.wait_window("^QUARN Communications History Log")
    d.activate(main)
    d.key("alt+c")
    d.key("l")
    link = d.wait_window("^QUARN Link Information")
    d.activate(main)
    d.key("alt+c")
    for _ in range(4):  # Serial Errors has no mnemonic: down to it from Activity
        d.key("Down")
    d.key("Return")
    errors = d.wait_window("^QUARN RS232 Port Errors")

    places = [d.geometry(w)[:2] for w in (history, link, errors)]
    check(len(set(places)) == 3, "the server's windows opened on top of each other: %s" % places)
    for wid in (history, link, errors):
        ok, what = caption_fits(d, wid)
        check(ok, "a caption does not fit its window: " + what)

    d.activate(main)
    d.key("alt+c")
    d.key("c")
    code = d.wait_exit(server, 30)
    check(code == 0, "quendar32 ended with %s after Close from its menu:\n%s" % (code, d.output(server)))
    inis = [n for n in os.listdir(folder) if n.lower() == "quendar32.ini"]
    check(inis, "the server wrote no INI in %s" % os.listdir(folder))
    info = read_ini(os.path.join(folder, inis[0])).get("info", {})
    check(info.get("active") == "Inactive", "[Info] Active is %r" % info.get("active"))
    check(info.get("stopped"), "[Info] Stopped was not written: %s" % info)
