#!/usr/bin/env python3
"""The layer check on a small checkout of its own: each case puts one include line into one file and says which
problem the check must report for it (None: none)."""
import os
import subprocess
import sys
import tempfile
import unittest

TESTS = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, TESTS)
import check_layers  # noqa: E402

LAYERS = """set(VORD_LAYERS
    "lang"
    "platform: lang"
    "core: platform" # a comment
    "documents: core"
    "transfer: documents"
    "mapview: documents"
    "xbase: platform"
    "commserver: xbase"
    "commserver/app: commserver")
"""
# The headers of the small checkout, each in its folder.
HEADERS = ["lang/LangText.h", "platform/Paths.h", "platform/QtUi.h", "core/Shared.h", "core/frmOptions.h",
           "documents/frmDMA.h", "transfer/TransferFolders.h", "mapview/MapModel.h", "commserver/LinkServer.h",
           "commserver/app/CMainFrame.h", "tests/support/FakeUi.h"]
QT_HEADERS = {"QWidget", "QPainter"}

CASES = [
    # (the including file, its include line, a part of the problem reported or None)
    ("core/Startup.cpp", '#include "platform/Paths.h"', None),
    ("core/Startup.cpp", '#include "Shared.h"', None),
    ("core/Startup.cpp", '#include <core/Shared.h>', None),
    ("core/Startup.cpp", '#include "lang/LangText.h"', None),
    ("core/Startup.cpp", '#include <vector>', None),
    ("core/Startup.cpp", '#include <sys/stat.h>', None),
    ("documents/frmDMA.cpp", '#include "../core/Shared.h"', None),
    ("transfer/Rovemark.cpp", '#include "documents/frmDMA.h"', None),
    ("transfer/Rovemark.cpp", '#include "platform/Paths.h"', None),  # two layers down
    ("core/frmOptions.cpp", '#include "platform/QtUi.h"', None),
    ("core/frmOptions.cpp", '#include <QWidget>', None),
    ("commserver/app/CMainFrame.cpp", '#include "commserver/LinkServer.h"', None),
    ("commserver/app/CMainFrame.cpp", '#include "CMainFrame.h"', None),
    ("core/Startup.cpp", '#include "transfer/TransferFolders.h"', "core/ may not include transfer/"),
    # An angled include and a relative one name the same files.
    ("core/Startup.cpp", '#include <transfer/TransferFolders.h>', "core/ may not include transfer/"),
    ("core/Startup.cpp", '#include "../mapview/MapModel.h"', "core/ may not include mapview/"),
    ("core/Startup.cpp", '#  include   "./../mapview/MapModel.h"', "core/ may not include mapview/"),
    ("documents/list/Rows.cpp", '#include "../../transfer/TransferFolders.h"', "documents/ may not include transfer/"),
    ("mapview/MapModel.cpp", '#include "../transfer/TransferFolders.h"', "mapview/ may not include transfer/"),
    ("commserver/LinkServer.cpp", '#include "app/CMainFrame.h"', "commserver/ may not include commserver/app/"),
    ("commserver/LinkServer.cpp", '#include <commserver/app/CMainFrame.h>',
     "commserver/ may not include commserver/app/"),
    ("platform/Paths.cpp", '#include "../core/Shared.h"', "platform/ may not include core/"),
    ("core/Startup.cpp", '#include "tests/support/FakeUi.h"', "core/ may not include tests/"),
    ("core/Startup.cpp", '#include "../tests/support/FakeUi.h"', "core/ may not include tests/"),
    # Code that runs without windows.
    ("core/Startup.cpp", '#include <QWidget>', "a window header"),
    ("core/Startup.cpp", '#include <QtGui/QPainter>', "a window header"),
    ("core/Startup.cpp", '#include "platform/QtUi.h"', "a window header"),
    ("core/Startup.cpp", '#include <platform/QtUi.h>', "a window header"),
    ("core/Startup.cpp", '#include "frmOptions.h"', "a window header"),
    ("commserver/LinkServer.cpp", '#include "../platform/QtUi.h"', "a window header"),
]


def make_checkout(root, files):
    for rel, text in files.items():
        path = os.path.join(root, rel)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)


class CheckLayersTest(unittest.TestCase):
    def checkout(self, extra, layers=LAYERS):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        files = {"cmake/VordFolders.cmake": layers}
        files.update({h: "#pragma once\n" for h in HEADERS})
        files.update(extra)
        make_checkout(tmp.name, files)
        return tmp.name

    def test_each_include_line(self):
        for source, line, expected in CASES:
            with self.subTest(source=source, line=line):
                root = self.checkout({source: "// a source\n" + line + "\n"})
                problems = check_layers.check(root, QT_HEADERS)
                if expected is None:
                    self.assertEqual(problems, [])
                else:
                    self.assertEqual(len(problems), 1, problems)
                    self.assertTrue(problems[0].startswith(f"{source}:2: "), problems[0])
                    self.assertIn(expected, problems[0])

    def test_a_folder_that_names_one_after_it_is_reported(self):
        layers = LAYERS.replace('"core: platform"', '"core: platform documents"')
        problems = check_layers.check(self.checkout({}, layers), QT_HEADERS)
        self.assertEqual(problems, ["cmake/VordFolders.cmake: core names documents, which is not a folder before it"])

    def test_the_program_exits_non_zero_and_counts_the_problems(self):
        root = self.checkout({"core/Startup.cpp": '#include <transfer/TransferFolders.h>\n'
                                                  '#include "../mapview/MapModel.h"\n'})
        run = subprocess.run([sys.executable, os.path.join(TESTS, "check_layers.py"), root],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 1, run.stdout)
        self.assertEqual(run.stdout.splitlines()[-1], "2 include(s) against the layers")
        clean = subprocess.run([sys.executable, os.path.join(TESTS, "check_layers.py"), self.checkout({})],
                               capture_output=True, text=True)
        self.assertEqual((clean.returncode, clean.stdout), (0, "0 include(s) against the layers\n"))


if __name__ == "__main__":
    unittest.main()
