#!/usr/bin/env python3
"""The README path check on a small checkout: the names it must find missing, and those it must leave alone."""
import os
import subprocess
import sys
import tempfile
import unittest

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, TESTS)
import check_readme_paths  # noqa: E402

FILES = ["run.sh", "platform/AtomicFile.cpp", "platform/AtomicFile.h", "core/FormClose.h", "bench/bench_pdacopy.cpp",
         "docs/main-window.png", "docs/sarnic-wire.md", "lang/lang_english.txt", "commserver/app/main.cpp"]

# (a README line, the names the check must report missing)
CASES = [
    ("writes through `plat::writeFileAtomically` (`platform/AtomicFile.cpp`)", []),
    ("writes through `plat::writeFileAtomically` (`platform/TextCodec.cpp`)", ["platform/TextCodec.cpp"]),
    ("the header `platform/AtomicFile.h` and `platform/Journal.h`", ["platform/Journal.h"]),
    ("start it with `./run.sh` or `./test.sh`", ["test.sh"]),
    ("the close steps in `FormClose.h`, the language file `lang_english.txt`", []),
    ("the close steps in `FormOpen.h`, a second text `lang_french.txt`", ["FormOpen.h", "lang_french.txt"]),
    ("the folders `platform/`, `commserver/app/` and `mapview/`", ["mapview/"]),
    ("a folder named as a file: `platform/AtomicFile.cpp/`", ["platform/AtomicFile.cpp/"]),
    ("`bench/bench_pdacopy` compares copies; `bench/bench_gone` does not", ["bench/bench_gone"]),
    ("![The main window](docs/main-window.png) ![Gone](docs/gone.png)", ["docs/gone.png"]),
    ("written down in [docs/sarnic-wire.md](docs/sarnic-wire.md) and [docs](docs/wire.md)", ["docs/wire.md"]),
    ("[the frames](docs/sarnic-wire.md#frames), [gone](docs/wire.md#frames), [here](#the-map-view)", ["docs/wire.md"]),
    ("[the site](https://example.org/docs/gone.md)", []),
    ("a name across lines: `plat\nform/Gone.cpp` is no path", []),
    # Names of what is not a file of the checkout.
    ("programs in `build/bin/`, reports in `build/test-results/`, `rovemark/from` and `rovemark/AutoExport/Not sent`",
     []),
    ("`$VORD_SETTINGS_DIR`, `$XDG_CONFIG_HOME/vb-program-settings/`, `~/.config/vb-program-settings/Vordalin.ini`", []),
    ("`My Documents/Rovemark Export`, `\\My Documents\\Rovemark Export`, `C:\\tessaly\\qdata`, `/tessaly/qdata`", []),
    ("`/dev/ttyS(n-1)`, `/dev/serial/by-id/*`, `C=/srv/quarn`, `VORD_COM1=/dev/ttyUSB0`, `https://…/{z}/{x}/{y}.png`",
     []),
    ("`z/x/y.png`, `*.pdb`, `.pdb`, `.cedevice`, `xfer.err`, `Quendar32.Ini`, `libVordPDASupport.so`, `,-./`", []),
    ("`..`, `.`, `-`, `/`", []),
    ("`frmMain::mnuFileSaveAs_Click`, `plat::ui()`, `n+1`, `ctest --test-dir build -R xbase_tests`", []),
    ("```\n./gone.sh     # a command in a fenced block\n`gone/inside.cpp`\n```\nafter the block `core/Gone.h`",
     ["core/Gone.h"]),
]


class CheckReadmePathsTest(unittest.TestCase):
    def checkout(self, readme):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        for rel in FILES:
            path = os.path.join(tmp.name, rel)
            os.makedirs(os.path.dirname(path), exist_ok=True)
            open(path, "w").close()
        # A file of the build folder is not one of the checkout.
        os.makedirs(os.path.join(tmp.name, "build", "docs"))
        open(os.path.join(tmp.name, "build", "test.sh"), "w").close()
        with open(os.path.join(tmp.name, "README.md"), "w", encoding="utf-8") as f:
            f.write("# Title\n\n" + readme + "\n")
        return tmp.name

    def test_each_line(self):
        for line, missing in CASES:
            with self.subTest(line=line):
                root = self.checkout(line)
                problems = check_readme_paths.check(root, os.path.join(root, "README.md"))
                self.assertEqual([p.split("`")[1] for p in problems], missing, problems)

    def test_the_program_exits_non_zero_and_counts_the_missing_names(self):
        script = os.path.join(TESTS, "check_readme_paths.py")
        root = self.checkout("the header `platform/Gone.h` beside `platform/AtomicFile.h` and `core/Gone.cpp`")
        run = subprocess.run([sys.executable, script, root], capture_output=True, text=True)
        self.assertEqual(run.returncode, 1, run.stdout)
        self.assertEqual(run.stdout.splitlines(), ["README.md:3: `core/Gone.cpp` is not a file of the checkout",
                                                   "README.md:3: `platform/Gone.h` is not a file of the checkout",
                                                   "2 name(s) of missing files"])
        clean = subprocess.run([sys.executable, script, self.checkout("`platform/AtomicFile.h`")],
                               capture_output=True, text=True)
        self.assertEqual((clean.returncode, clean.stdout), (0, "0 name(s) of missing files\n"))


if __name__ == "__main__":
    unittest.main()
