#!/usr/bin/env python3
"""Counts the test cases of one stage of test.sh.

    count_results.py ctest JUNIT_XML RESULTS_DIR   a CTest run: its JUnit report and the folder of GoogleTest's
                                                   XML reports (test-results/, one per CTest test)
    count_results.py gtest XML_REPORT EXIT_CODE    one test program run directly

Prints "PASSED FAILED SKIPPED" on a line, then, when cases were skipped, a line naming each with its reason
("Suite.Case (the reason); ..."); the failed cases are named on standard error.

A CTest test that has a GoogleTest report counts as its cases; one without (a scenario, a check, a program that
ended before writing its report) counts as one case. A program whose cases all passed but that failed all the
same (a sanitizer's report at its exit, a time-out, a crash after the report) counts one failed case more. A
case skipped on the way (GTEST_SKIP, a CTest test's skip code) and a disabled one (DISABLED_, CTest's DISABLED)
count as skipped; a CTest test that could not be run at all (no program, a missing fixture) as failed.
"""
import os
import sys
import xml.etree.ElementTree as ET


class Counts:
    def __init__(self):
        self.passed = 0
        self.failed = []  # names
        self.skipped = []  # (name, reason)

    def add(self, other):
        self.passed += other.passed
        self.failed += other.failed
        self.skipped += other.skipped


def skip_reason(element, fallback):
    """The reason GoogleTest gives in <skipped message="file:line&#x0A;reason">: the text after the place."""
    message = (element.get("message") or "").strip()
    reason = message.split("\n", 1)[1].strip() if "\n" in message else message
    return " ".join(reason.split()) or fallback


def gtest_cases(path):
    """The Counts of a GoogleTest XML report; None when there is none or it cannot be read."""
    try:
        root = ET.parse(path).getroot()
    except (OSError, ET.ParseError):
        return None
    counts = Counts()
    for case in root.iter("testcase"):
        name = "%s.%s" % (case.get("classname"), case.get("name"))
        skipped = case.find("skipped")
        if case.find("failure") is not None:
            counts.failed.append(name)
        elif case.get("status") == "notrun" or case.get("result") == "suppressed":
            counts.skipped.append((name, "disabled"))
        elif case.get("result") == "skipped" or skipped is not None:
            counts.skipped.append((name, skip_reason(skipped, "skipped") if skipped is not None else "skipped"))
        else:
            counts.passed += 1
    return counts


def count_program(name, cases, ok):
    if cases is None:
        counts = Counts()
        if ok:
            counts.passed = 1
        else:
            counts.failed = [name]
        return counts
    if not ok and not cases.failed:
        cases.failed = [name + " (the program failed)"]
    return cases


def ctest_skip_reason(test):
    """What a CTest test that skipped itself said: its line "skipped: <reason>", else CTest's own message."""
    out = test.findtext("system-out") or ""
    for line in out.splitlines():
        if line.lower().startswith("skipped:"):
            return line.split(":", 1)[1].strip()
    return skip_reason(test.find("skipped"), "skipped")


def ctest_counts(junit, results):
    counts = Counts()
    try:
        tests = list(ET.parse(junit).getroot().iter("testcase"))
    except (OSError, ET.ParseError):
        counts.failed.append("the run (no CTest report %s)" % junit)
        return counts
    for t in tests:
        name, status = t.get("name"), t.get("status")
        message = t.find("skipped").get("message", "") if t.find("skipped") is not None else ""
        if status == "disabled":
            counts.skipped.append((name, "disabled"))
        elif status == "notrun" and message.startswith("SKIP_"):  # its skip code or skip output
            counts.skipped.append((name, ctest_skip_reason(t)))
        elif status == "notrun":
            counts.failed.append("%s (not run: %s)" % (name, message or "no reason given"))
        else:
            ok = status == "run" and t.find("failure") is None
            counts.add(count_program(name, gtest_cases(os.path.join(results, name + ".xml")), ok))
    return counts


def main():
    mode = sys.argv[1]
    if mode == "ctest":
        counts = ctest_counts(sys.argv[2], sys.argv[3])
    elif mode == "gtest":
        report, code = sys.argv[2], int(sys.argv[3])
        counts = count_program(os.path.basename(report), gtest_cases(report), code == 0)
    else:
        sys.exit("unknown mode " + mode)
    for name in counts.failed:
        print("  failed: " + name, file=sys.stderr)
    print(counts.passed, len(counts.failed), len(counts.skipped))
    if counts.skipped:
        print("; ".join("%s (%s)" % (name, reason) for name, reason in counts.skipped))


if __name__ == "__main__":
    main()
