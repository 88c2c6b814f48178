"""Scenarios on a real X server: a private Xvfb with the openbox window manager, the built programs, real keyboard
and mouse input through xdotool.

A scenario is a script `scn_<name>.py`:

    from scnlib import Desktop, check
    with Desktop("name") as d:
        app = d.start("vordalin", [area_file])
        main = d.wait_window("^Vordalin")
        d.key("ctrl+s")
        ...
        check(cond, "what went wrong")

Each scenario runs in a private temporary folder (`d.path()`), removed when it ends. In it lie:
  - the program folder `d.bin`: a copy of the build's `bin/` (`BIN`), made when the desktop starts. The programs
    and the library are hard links to the build's files (copies where the file system cannot link them), every
    other file (the language files, the map templates) a copy. Programs started with `d.start` run from there,
    so what they write beside themselves (the PDA queue `rovemark/`, the map's working file) stays in the
    scenario's folder; scenarios run side by side without meeting, and the build's `bin/` stays as the build
    made it (the desktop checks that at its end and fails the scenario otherwise);
  - everything a program writes for the user (settings, exchange folders below the settings' own folder).
On a failure the scenario leaves a screenshot and the programs' output in `scenario-artifacts/` of the build
folder.
"""

import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import traceback

BIN = os.environ.get("VORD_BIN") or os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "build", "bin")
ARTIFACTS = os.environ.get("VORD_SCENARIO_ARTIFACTS") or os.path.join(BIN, "..", "scenario-artifacts")


class ScenarioFailure(AssertionError):
    pass


def check(condition, message):
    if not condition:
        raise ScenarioFailure(message)


def wait_for(predicate, timeout=20.0, step=0.1, what="condition"):
    """Polls until predicate() gives a true value and returns it; fails after `timeout` seconds."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > deadline:
            raise ScenarioFailure("timed out after %.0f s waiting for %s" % (timeout, what))
        time.sleep(step)


def _listing(folder):
    """Every path below folder, relative to it (folders end with a slash)."""
    out = []
    for top, dirs, files in os.walk(folder):
        rel = os.path.relpath(top, folder)
        prefix = "" if rel == "." else rel + "/"
        out += [prefix + n + "/" for n in dirs] + [prefix + n for n in files]
    return out


def _copy_program_folder(source, target):
    """The build's program folder as a folder of the scenario's own: programs and libraries linked (they are only
    read), the other files copied. A program finds its folder from its own path, which for a symbolic link would
    be the build's folder, so the links are hard ones."""
    os.makedirs(target)
    for name in sorted(os.listdir(source)):
        src = os.path.join(source, name)
        if not os.path.isfile(src):
            continue  # the programs make their folders themselves, in the copy
        dst = os.path.join(target, name)
        if os.access(src, os.X_OK):
            try:
                os.link(src, dst)
                continue
            except OSError:
                pass
        shutil.copy2(src, dst)
    return target


class Desktop:
    """A private X display with a window manager, torn down with every program started on it."""

    def __init__(self, name, width=1280, height=1024):
        self.name = name
        self.size = (width, height)
        self.procs = []
        self.xvfb = None
        self.wm = None
        self.home = None
        self.env = None
        self.display = None
        self.bin = None
        self._build_bin = None

    # ----- set-up and tear-down

    def __enter__(self):
        self.home = tempfile.mkdtemp(prefix="scn-%s-" % self.name)
        runtime = os.path.join(self.home, "runtime")
        os.makedirs(runtime, mode=0o700)
        self.settings_dir = os.path.join(self.home, "settings")
        os.makedirs(self.settings_dir)
        self._build_bin = _listing(BIN)
        self.bin = _copy_program_folder(BIN, os.path.join(self.home, "bin"))
        rfd, wfd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(wfd), "-screen", "0", "%dx%dx24" % self.size, "-nolisten", "tcp",
             "-noreset"], pass_fds=(wfd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(wfd)
        number = b""
        deadline = time.monotonic() + 30
        while not number.endswith(b"\n") and time.monotonic() < deadline:
            chunk = os.read(rfd, 16)
            if not chunk:
                break
            number += chunk
        os.close(rfd)
        if not number.strip():
            raise ScenarioFailure("Xvfb did not start")
        self.display = ":" + number.decode().strip()
        env = dict(os.environ)
        for k in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "VORD_PROGRAM_DIR", "SESSION_MANAGER"):
            env.pop(k, None)
        env.update({
            "DISPLAY": self.display,
            "QT_QPA_PLATFORM": "xcb",
            "HOME": self.home,
            "XDG_RUNTIME_DIR": runtime,
            "XDG_CONFIG_HOME": os.path.join(self.home, "config"),
            "VORD_SETTINGS_DIR": self.settings_dir,
            "QT_ACCESSIBILITY": "0",
            "NO_AT_BRIDGE": "1",
        })
        self.env = env
        self.wm = subprocess.Popen(["openbox", "--sm-disable"], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
        wait_for(self._wm_running, 20, what="the window manager")
        return self

    def _wm_running(self):
        r = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], env=self.env, capture_output=True,
                           text=True)
        return "window id" in r.stdout

    def __exit__(self, exc_type, exc, tb):
        if exc_type is not None:
            self._save_artifacts(exc_type, exc, tb)
        for p in reversed(self.procs):
            self._end(p)
        self._end(self.wm)
        self._end(self.xvfb)
        shutil.rmtree(self.home, ignore_errors=True)
        if exc_type is None:
            left = sorted(set(_listing(BIN)) - set(self._build_bin or []))
            if left:
                exc_type, exc, tb = ScenarioFailure, ScenarioFailure(
                    "the scenario left files in the build's program folder %s: %s" % (BIN, ", ".join(left))), None
        if exc_type is not None:
            traceback.print_exception(exc_type, exc, tb)
            sys.exit(1)
        print("scenario %s passed" % self.name)
        return False

    @staticmethod
    def _end(p):
        if p is None or p.poll() is not None:
            return
        p.send_signal(signal.SIGTERM)
        try:
            p.wait(5)
        except subprocess.TimeoutExpired:
            p.kill()
            p.wait(5)

    def _save_artifacts(self, exc_type, exc, tb):
        try:
            os.makedirs(ARTIFACTS, exist_ok=True)
            self.screenshot(os.path.join(ARTIFACTS, "%s.png" % self.name))
            with open(os.path.join(ARTIFACTS, "%s.txt" % self.name), "w") as f:
                f.write("".join(traceback.format_exception(exc_type, exc, tb)))
                f.write("\nwindows:\n%s\n" % "\n".join("%s %s" % w for w in self.windows()))
                for p in self.procs:
                    f.write("\n--- %s (exit %s)\n" % (" ".join(p.args), p.poll()))
                    if getattr(p, "logfile", None) and os.path.exists(p.logfile):
                        with open(p.logfile, errors="replace") as log:
                            f.write(log.read()[-8000:])
        except Exception:  # artifacts are a help, never a second failure
            pass

    # ----- programs

    def start(self, program, args=(), cwd=None, env=None):
        """Starts a program of the scenario's program folder, in that folder unless told otherwise, as a user
        would."""
        path = os.path.join(self.bin, program)
        check(os.access(path, os.X_OK), "%s is not in the program folder %s" % (program, self.bin))
        logfile = os.path.join(self.home, "%s-%d.log" % (program, len(self.procs)))
        e = dict(self.env)
        if env:
            e.update(env)
        with open(logfile, "w") as log:
            p = subprocess.Popen([path] + list(args), cwd=cwd or self.bin, env=e, stdout=log, stderr=subprocess.STDOUT,
                                 start_new_session=True)
        p.logfile = logfile
        self.procs.append(p)
        return p

    def wait_exit(self, p, timeout=20):
        try:
            return p.wait(timeout)
        except subprocess.TimeoutExpired:
            raise ScenarioFailure("%s did not end within %d s" % (p.args[0], timeout))

    def close(self, p, wid, timeout=40):
        """Closes a program's window as a user does, with Alt+F4 to the window made active, and returns the
        program's exit code. On a busy machine the window manager can take the key before it has moved the focus;
        the close is then asked for again while the window is still there."""
        deadline = time.time() + timeout
        while True:
            try:
                self.activate(wid)
                self.key("alt+F4")
            except Exception:
                pass  # the window went away between the tries
            try:
                return p.wait(5)
            except subprocess.TimeoutExpired:
                if time.time() > deadline:
                    raise ScenarioFailure("%s did not end within %d s of its close" % (p.args[0], timeout))

    def output(self, p):
        with open(p.logfile, errors="replace") as f:
            return f.read()

    # ----- windows

    def xdotool(self, *args, check_rc=True):
        r = subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, capture_output=True, text=True,
                           timeout=30)
        if check_rc and r.returncode != 0 and args[0] not in ("search",):
            raise ScenarioFailure("xdotool %s failed: %s" % (" ".join(map(str, args)), r.stderr.strip()))
        return r.stdout.strip()

    def windows(self):
        """(id, title) of every visible top-level window that has a title."""
        ids = self.xdotool("search", "--onlyvisible", "--name", ".").split()
        out = []
        for wid in ids:
            title = self.xdotool("getwindowname", wid, check_rc=False)
            if title:
                out.append((wid, title))
        return out

    def find_window(self, pattern):
        rx = re.compile(pattern)
        for wid, title in self.windows():
            if rx.search(title):
                return wid
        return None

    def wait_window(self, pattern, timeout=20):
        """Waits for a visible window whose title matches the regular expression; returns its id."""
        return wait_for(lambda: self.find_window(pattern), timeout, what="a window titled /%s/" % pattern)

    def wait_window_gone(self, pattern, timeout=20):
        wait_for(lambda: self.find_window(pattern) is None, timeout, what="window /%s/ to close" % pattern)

    def title(self, wid):
        return self.xdotool("getwindowname", wid, check_rc=False)

    def active_title(self):
        wid = self.xdotool("getactivewindow", check_rc=False)
        return self.title(wid) if wid else ""

    def wait_active(self, pattern, timeout=20):
        rx = re.compile(pattern)
        return wait_for(lambda: rx.search(self.active_title() or ""), timeout,
                        what="the active window to be /%s/" % pattern)

    def activate(self, wid):
        self.xdotool("windowactivate", "--sync", wid)

    def focus(self, pattern, timeout=20):
        """Waits for the window whose title matches, makes it active and waits until it is (the keys that follow
        go to it); returns its id."""
        wid = self.wait_window(pattern, timeout)
        self.activate(wid)
        self.wait_active(pattern, timeout)
        return wid

    def wait_message_box(self, main, what, title="Vordalin", timeout=20):
        """The id of a message box: a window titled as the program that is not its main window `main`."""
        return wait_for(lambda: next((w for w, t in self.windows() if t == title and w != main), None), timeout,
                        what=what)

    def geometry(self, wid):
        """(x, y, width, height) of a window as the X server has it."""
        out = self.xdotool("getwindowgeometry", "--shell", wid)
        v = dict(line.split("=", 1) for line in out.splitlines() if "=" in line)
        return int(v["X"]), int(v["Y"]), int(v["WIDTH"]), int(v["HEIGHT"])

    # ----- input (to the window that has the focus, as a user's keyboard does)

    def key(self, *keys, delay=80):
        self.xdotool("key", "--delay", delay, *keys)
        self.settle()

    def type(self, text, delay=30):
        self.xdotool("type", "--delay", delay, text)
        self.settle()

    def click(self, x, y, button=1, double=False):
        self.xdotool("mousemove", "--sync", x, y)
        self.xdotool("click", "--repeat", 2 if double else 1, "--delay", 80, button)
        self.settle()

    def drag(self, x0, y0, x1, y1, steps=10):
        self.xdotool("mousemove", "--sync", x0, y0)
        self.xdotool("mousedown", 1)
        for i in range(1, steps + 1):
            self.xdotool("mousemove", x0 + (x1 - x0) * i // steps, y0 + (y1 - y0) * i // steps)
            time.sleep(0.03)
        self.xdotool("mouseup", 1)
        self.settle()

    def settle(self, seconds=0.25):
        """Gives the programs time to take the events in; waits that prove something use wait_for."""
        time.sleep(seconds)

    def screenshot(self, path):
        xwd = subprocess.run(["xwd", "-root", "-silent"], env=self.env, capture_output=True, timeout=30)
        if xwd.returncode == 0 and shutil.which("convert"):
            subprocess.run(["convert", "xwd:-", path], input=xwd.stdout, timeout=60)
        elif xwd.returncode == 0:
            with open(os.path.splitext(path)[0] + ".xwd", "wb") as f:
                f.write(xwd.stdout)

    # ----- settings of the programs started on this desktop

    def settings_file(self, title="Vordalin"):
        return os.path.join(self.settings_dir, title + ".ini")

    def read_settings(self, title="Vordalin"):
        """{section: {key: value}} of a program's stored settings (empty when none were written)."""
        out = {}
        section = None
        path = self.settings_file(title)
        if not os.path.exists(path):
            return out
        with open(path, encoding="utf-8", errors="replace") as f:
            for line in f:
                line = line.strip()
                if line.startswith("[") and line.endswith("]"):
                    section = out.setdefault(line[1:-1], {})
                elif "=" in line and section is not None:
                    k, v = line.split("=", 1)
                    section[k.strip()] = v.strip()
        return out

    def write_settings(self, values, title="Vordalin", section="Settings"):
        """Writes settings before a program starts (keys of one section)."""
        with open(self.settings_file(title), "w", encoding="utf-8") as f:
            f.write("[%s]\n" % section)
            for k, v in values.items():
                f.write("%s=%s\n" % (k, v))

    def path(self, *parts):
        """A path inside this scenario's private folder (the program folder `bin` is one of them)."""
        return os.path.join(self.home, *parts)
