#!/usr/bin/env python3
"""Counts the test cases of one stage of test.sh and prints "PASSED FAILED" (the failed ones are named on
standard error).

    count_results.py ctest JUNIT_XML RESULTS_DIR   a CTest run: its JUnit report and the folder of GoogleTest's
                                                   JSON reports (test-results/, one per CTest test)
    count_results.py gtest JSON_REPORT EXIT_CODE   one test program run directly

A CTest test that has a GoogleTest report counts as its cases; one without (a scenario, a check, a program that
ended before writing its report) counts as one case. A program whose cases all passed but that failed all the
same (a sanitizer's report at its exit, a time-out, a crash after the report) counts one failed case more.
"""
import json
import os
import sys
import xml.etree.ElementTree as ET


def gtest_cases(path):
    """(passed, failed names) of a GoogleTest JSON report; None when there is none or it cannot be read."""
    try:
        with open(path) as f:
            report = json.load(f)
    except (OSError, ValueError):
        return None
    passed, failed = 0, []
    for suite in report.get("testsuites", []):
        for case in suite.get("testsuite", []):
            if case.get("status") != "RUN" or case.get("result") in ("SKIPPED", "SUPPRESSED"):
                continue
            if case.get("failures"):
                failed.append("%s.%s" % (suite.get("name"), case.get("name")))
            else:
                passed += 1
    return passed, failed


def count_program(name, cases, ok):
    if cases is None:
        return (1, []) if ok else (0, [name])
    passed, failed = cases
    if not ok and not failed:
        failed = [name + " (the program failed)"]
    return passed, failed


def main():
    mode = sys.argv[1]
    if mode == "ctest":
        junit, results = sys.argv[2], sys.argv[3]
        passed, failed = 0, []
        try:
            tests = ET.parse(junit).getroot().iter("testcase")
        except (OSError, ET.ParseError):
            tests = []
            failed.append("the run (no CTest report %s)" % junit)
        for t in tests:
            status = t.get("status")
            if status in ("disabled", "notrun") and t.find("failure") is None:
                if status == "notrun":
                    failed.append(t.get("name") + " (not run)")
                continue
            ok = status == "run" and t.find("failure") is None
            name = t.get("name")
            p, f = count_program(name, gtest_cases(os.path.join(results, name + ".json")), ok)
            passed += p
            failed += f
    elif mode == "gtest":
        report, code = sys.argv[2], int(sys.argv[3])
        passed, failed = count_program(os.path.basename(report), gtest_cases(report), code == 0)
    else:
        sys.exit("unknown mode " + mode)
    for name in failed:
        print("  failed: " + name, file=sys.stderr)
    print(passed, len(failed))


if __name__ == "__main__":
    main()
