"""The report by logger printed to a PDF file through the program's own windows: File > Print, the report
options with every status and the reading history, OK, the PDF file name; the PDF is read back with pdftotext.
Every logger of the list is in it, also the new one without readings, and no unused reading slot prints zeros."""
import re
import subprocess

from scnfiles import write_area
from scnlib import Desktop, check
from scnprint import open_report_options, print_to_pdf_file

LOGGERS = [
    (1200001, "Main St", [("2024/01/03", "Leak", 40, 5), ("2024/01/02", "No leak", 10, 5)]),
    (1200002, "New one", []),  # just deployed: no readings yet
    (1200003, "Mill", [("2024/01/03", "Warning", 7, 2)]),
]


with Desktop("print_by_logger") as d:
    area = d.path("area.pdb")
    write_area(area, [{"serial": serial, "grid": "AB 1234 5678", "comment1": comment, "readings": readings}
                      for serial, comment, readings in LOGGERS])
    pdf = d.path("report.pdf")
    d.write_settings({"ChkAll": 1, "ChkHist": 1, "ChkWarning": 0, "ChkLeak": 0, "ChkNotInLeak": 0,
                      "ChkSummary": 0})
    app = d.start("vordalin", [area])
    main = d.wait_window("^Vordalin")
    open_report_options(d, main)
    d.key("Return")  # OK is the default button
    print_to_pdf_file(d, pdf)

    text = subprocess.run(["pdftotext", "-layout", pdf, "-"], capture_output=True, text=True,
                          timeout=60).stdout
    lines = text.splitlines()
    for serial, comment, readings in LOGGERS:
        check(any(line.strip().startswith("%08d" % serial) for line in lines),
              "logger %08d is missing from the report:\n%s" % (serial, text[:3000]))
    # The logger without readings and every unused slot: a reading number alone, no zeros.
    slot_only = [line for line in lines if re.fullmatch(r"\s*\d{1,2}", line)]
    # Unused slots under a logger's first line: 48 of the first, 49 of the new one, 49 of the third.
    check(len(slot_only) == 48 + 49 + 49,
          "expected 146 unused reading slots as lines with their number only, found %d:\n%s"
          % (len(slot_only), text[:3000]))
    check(not any(re.search(r"\b0\s+0\s+\d{1,2}\s*$", line) for line in lines),
          "an unused reading slot printed zeros:\n%s" % text[:3000])
    check(any(re.search(r"2024/01/03\s*LE\s*40\s*5\s+1\s*$", line) for line in lines),
          "the first reading of 01200001 is not in the report:\n%s" % text[:3000])
    d.close(app, main)
