#!/usr/bin/env python3
"""test.sh's counting on a small CTest run of its own: GoogleTest reports with passed, failed, skipped and
disabled cases, and CTest tests that pass, fail, skip themselves, are disabled or cannot be run."""
import os
import subprocess
import sys
import tempfile
import textwrap
import unittest

SCRIPT = os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "count_results.py")


def gtest_report(*cases):
    """A GoogleTest XML report of one suite; each case is (name, the lines inside its element, its attributes)."""
    body = ""
    for name, inner, attributes in cases:
        body += f'    <testcase name="{name}" file="t.cpp" line="1" {attributes} time="0" classname="Suite"'
        body += f">\n{inner}\n    </testcase>\n" if inner else " />\n"
    return ('<?xml version="1.0" encoding="UTF-8"?>\n<testsuites tests="1" name="AllTests">\n'
            f'  <testsuite name="Suite" tests="{len(cases)}">\n{body}  </testsuite>\n</testsuites>\n')


RUN = 'status="run" result="completed"'
PASSED = ("Passes", "", RUN)
FAILED = ("Fails", '<failure message="t.cpp:3&#x0A;Expected equality" type=""><![CDATA[t.cpp:3]]></failure>', RUN)
SKIPPED = ("NeedsADisplay", '<skipped message="t.cpp:7&#x0A;no X display here:&#x0A;  DISPLAY unset">'
                            '<![CDATA[t.cpp:7]]></skipped>', 'status="run" result="skipped"')
DISABLED = ("DISABLED_Screenshots", "", 'status="notrun" result="suppressed"')

JUNIT = textwrap.dedent("""\
    <?xml version="1.0" encoding="UTF-8"?>
    <testsuite name="(empty)" tests="9">
      <testcase name="mixed_tests" classname="mixed_tests" status="fail"><failure message=""/></testcase>
      <testcase name="clean_tests" classname="clean_tests" status="run"><system-out>[  PASSED  ]</system-out></testcase>
      <testcase name="leaky_tests" classname="leaky_tests" status="fail"><failure message=""/></testcase>
      <testcase name="crashed_tests" classname="crashed_tests" status="fail"><failure message=""/></testcase>
      <testcase name="include_layers" classname="include_layers" status="run"/>
      <testcase name="scenario_full_disk" classname="scenario_full_disk" status="notrun">
        <skipped message="SKIP_RETURN_CODE=77"/>
        <system-out>starting
    skipped: a tmpfs cannot be mounted here
    </system-out>
      </testcase>
      <testcase name="scenario_quiet" classname="scenario_quiet" status="notrun">
        <skipped message="SKIP_RETURN_CODE=77"/>
      </testcase>
      <testcase name="scenario_off" classname="scenario_off" status="disabled">
        <system-out>Disabled</system-out>
      </testcase>
      <testcase name="gone_tests" classname="gone_tests" status="notrun">
        <skipped message="Unable to find executable"/>
      </testcase>
    </testsuite>
    """)


class CountResultsTest(unittest.TestCase):
    def setUp(self):
        tmp = tempfile.TemporaryDirectory()
        self.addCleanup(tmp.cleanup)
        self.dir = tmp.name
        self.results = os.path.join(self.dir, "test-results")
        os.mkdir(self.results)

    def write(self, path, text):
        with open(os.path.join(self.dir, path), "w", encoding="utf-8") as f:
            f.write(text)
        return os.path.join(self.dir, path)

    def run_script(self, *args):
        run = subprocess.run([sys.executable, SCRIPT, *args], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stderr)
        return run.stdout.splitlines(), run.stderr.splitlines()

    def test_a_ctest_run(self):
        self.write("test-results/mixed_tests.xml", gtest_report(PASSED, FAILED, SKIPPED, DISABLED))
        self.write("test-results/clean_tests.xml", gtest_report(PASSED, ("AlsoPasses", "", RUN), DISABLED))
        self.write("test-results/leaky_tests.xml", gtest_report(PASSED))  # failed after its cases: a sanitizer
        self.write("test-results/crashed_tests.xml", "<testsuites><testsuite")  # cut off
        out, err = self.run_script("ctest", self.write("ctest-junit.xml", JUNIT), self.results)
        self.assertEqual(len(out), 2, out)
        self.assertEqual(out[0], "5 4 6")
        self.assertEqual(out[1].split("; "), [
            "Suite.NeedsADisplay (no X display here: DISPLAY unset)", "Suite.DISABLED_Screenshots (disabled)",
            "Suite.DISABLED_Screenshots (disabled)", "scenario_full_disk (a tmpfs cannot be mounted here)",
            "scenario_quiet (SKIP_RETURN_CODE=77)", "scenario_off (disabled)"])
        self.assertEqual(err, ["  failed: Suite.Fails", "  failed: leaky_tests (the program failed)",
                               "  failed: crashed_tests", "  failed: gone_tests (not run: Unable to find executable)"])

    def test_a_run_with_nothing_skipped_prints_one_line(self):
        self.write("test-results/clean_tests.xml", gtest_report(PASSED, ("AlsoPasses", "", RUN)))
        junit = self.write("ctest-junit.xml", '<testsuite><testcase name="clean_tests" status="run"/>'
                                              '<testcase name="include_layers" status="run"/></testsuite>')
        self.assertEqual(self.run_script("ctest", junit, self.results), (["3 0 0"], []))

    def test_a_run_without_its_report_is_one_failed_case(self):
        out, err = self.run_script("ctest", os.path.join(self.dir, "none.xml"), self.results)
        self.assertEqual(out, ["0 1 0"])
        self.assertEqual(len(err), 1)

    def test_one_program_run_directly(self):
        report = self.write("tsan.xml", gtest_report(PASSED, SKIPPED, DISABLED))
        skipped = "Suite.NeedsADisplay (no X display here: DISPLAY unset); Suite.DISABLED_Screenshots (disabled)"
        cases = [
            # (the report, the program's exit code, the lines printed, the failed cases named)
            (report, "0", ["1 0 2", skipped], []),
            (report, "66", ["1 1 2", skipped], ["  failed: tsan.xml (the program failed)"]),
            (os.path.join(self.dir, "gone.xml"), "1", ["0 1 0"], ["  failed: gone.xml"]),
            (os.path.join(self.dir, "gone.xml"), "0", ["1 0 0"], []),
        ]
        for path, code, lines, failed in cases:
            with self.subTest(path=path, code=code):
                self.assertEqual(self.run_script("gtest", path, code), (lines, failed))


if __name__ == "__main__":
    unittest.main()
