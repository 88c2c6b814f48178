"""Saving into a folder where no new file may be made: an ordinary user (nobody) opens a 3-logger area file that
they may write, in a folder of theirs with mode 555, and presses Ctrl+S. The list is saved in place: the file
keeps its inode, owner and mode, every logger, and the folder gets no other file; no message is shown. A second
name of the file (a hard link) reads the saved list too. Runs the program as nobody, which needs root; elsewhere
the scenario is skipped."""
import os
import pwd
import grp
import subprocess
import sys

from scnfiles import THREE, program_folder, read_area, write_area
from scnlib import Desktop, check, wait_for

if os.geteuid() != 0:
    print("skipped: running the program as another user needs root")
    sys.exit(77)

NOBODY = pwd.getpwnam("nobody").pw_uid
NOGROUP = grp.getgrnam("nogroup").gr_gid if "nogroup" in [g.gr_name for g in grp.getgrall()] else NOBODY


def give(path):
    os.chown(path, NOBODY, NOGROUP)


def start_as_nobody(d, program, args, env):
    """d.start, but as nobody (setpriv), with a home and settings folder of nobody's own."""
    e = dict(d.env)
    e.update(env)
    logfile = d.path("%s-%d.log" % (program, len(d.procs)))
    with open(logfile, "w") as log:
        p = subprocess.Popen(["setpriv", "--reuid=%d" % NOBODY, "--regid=%d" % NOGROUP, "--clear-groups",
                              os.path.join(d.bin, program)] + list(args),
                             cwd=d.bin, env=e, stdout=log, stderr=subprocess.STDOUT, start_new_session=True)
    p.logfile = logfile
    d.procs.append(p)
    return p


with Desktop("save_in_place") as d:
    os.chmod(d.path(), 0o755)
    program = program_folder(d)
    # What the program writes for its user: its exchange tree, settings, home and runtime folder.
    for top in (os.path.join(program, "rovemark"), d.settings_dir, d.path("runtime")):
        for folder, _, _ in os.walk(top):
            give(folder)
    home = d.path("nobody-home")
    os.makedirs(home, mode=0o700)
    give(home)

    shared = d.path("shared")
    os.makedirs(shared)
    area = os.path.join(shared, "AREA.PDB")
    write_area(area, THREE)
    other = d.path("other-name.pdb")
    os.link(area, other)
    give(area)
    os.chmod(area, 0o644)
    give(shared)
    os.chmod(shared, 0o555)
    with open(area, "rb") as f:
        before = f.read()
    loggers = read_area(area)
    inode = os.stat(area).st_ino

    app = start_as_nobody(d, "vordalin", [area], env={"VORD_PROGRAM_DIR": program, "HOME": home,
                                                      "XDG_CONFIG_HOME": os.path.join(home, ".config")})
    main = d.wait_window("^Vordalin")
    d.wait_active("^Vordalin")
    d.key("ctrl+s")
    wait_for(lambda: open(area, "rb").read() != before, 20, what="the file to be saved in place")
    d.settle(1)
    boxes = [t for w, t in d.windows() if w != main and t == "Vordalin"]
    check(not boxes, "a message was shown for the save")
    st = os.stat(area)
    check(st.st_ino == inode, "the file was replaced, not written in place")
    check((st.st_uid, st.st_mode & 0o7777) == (NOBODY, 0o644), "the file's owner or mode changed")
    check(read_area(area) == loggers, "the saved file holds other loggers or readings")
    with open(other, "rb") as f, open(area, "rb") as g:
        check(f.read() == g.read(), "the file's other name reads something else")
    check(os.listdir(shared) == ["AREA.PDB"], "files left in the folder: %s" % os.listdir(shared))
    check(d.close(app, main) == 0, "vordalin ended with an error:\n" + d.output(app))
    os.chmod(shared, 0o755)
