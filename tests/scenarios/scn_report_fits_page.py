"""A report by logger with every logger column (grid reference, deployed, both comments, the additional
information) and the whole history is wider than an A4 portrait page at the report font. OK and Preview warn
that the lines will be cut off before anything is printed or shown: Cancel on the warning goes back to the
dialog with nothing printed, OK goes on. Every line of the printed PDF starts inside the page's margins."""
import os
import re
import subprocess

from scnfiles import write_area
from scnlib import Desktop, check, wait_for
from scnprint import close_preview, open_report_options, print_to_pdf_file

LOGGERS = [
    {"serial": 1200001, "grid": "TQ 1033 4179", "comment1": "Main Street", "comment2": "by the hydrant",
     "deployed": "2024/06/01", "info": "valve chamber",
     "readings": [("2024/07/01", "N", 40, 10), ("2024/06/24", "L", 55, 9)]},
    {"serial": 1200002, "grid": "TQ 1034 4180", "comment1": "Mill Lane", "deployed": "2024/06/02",
     "readings": [("2024/07/01", "W", 30, 12)]},
]
MARGIN_PT = 12.7 / 25.4 * 72  # the PDF printer's margins


def words(pdf):
    """(xMin, text) of every word of the PDF, and the page width, in points."""
    html = subprocess.run(["pdftotext", "-bbox", pdf, "-"], capture_output=True, text=True, timeout=60).stdout
    width = float(re.search(r'<page width="([0-9.]+)"', html).group(1))
    return [(float(x), t) for x, t in re.findall(r'<word xMin="([0-9.]+)"[^>]*>([^<]*)</word>', html)], width


def answer_warning(d, main, key):
    box = d.wait_message_box(main, "the warning that the lines will be cut off")
    d.activate(box)
    wait_for(lambda: d.xdotool("getactivewindow", check_rc=False) == box, 20, what="the warning to be active")
    d.key(key)
    wait_for(lambda: box not in [w for w, _ in d.windows()], 20, what="the warning to close")


with Desktop("report_fits_page") as d:
    area = d.path("area.pdb")
    write_area(area, LOGGERS)
    pdf = d.path("report.pdf")
    d.write_settings({"ChkGridRef": 1, "ChkDeployed": 1, "ChkReceived": 0, "ChkComment1": 1, "ChkComment2": 1,
                      "ChkAll": 1, "ChkHist": 1, "ChkSummary": 0})
    app = d.start("vordalin", [area])
    main = d.wait_window("^Vordalin")
    open_report_options(d, main)
    # The first logger column has the focus; the information box is the sixth.
    d.key("Tab", "Tab", "Tab", "Tab", "Tab", "space")

    # OK: the warning comes first; Cancel on it goes back to the dialog and prints nothing.
    d.key("alt+o")
    check(d.find_window("^Print to PDF$") is None, "OK went on to print without warning that the lines are cut")
    answer_warning(d, main, "Escape")
    d.wait_active("^Print$")
    check(d.find_window("^Print to PDF$") is None and not os.path.exists(pdf),
          "the report was printed although the user went back")

    # Preview warns as well; OK on the warning shows the preview.
    d.key("alt+r")
    answer_warning(d, main, "Return")
    close_preview(d)
    d.focus("^Print$")

    # OK, and OK on the warning: the report is printed as the user chose it.
    d.key("alt+o")
    answer_warning(d, main, "Return")
    print_to_pdf_file(d, pdf)

    found, width = words(pdf)
    text = " ".join(t for _, t in found)
    check("chamber" in text, "the information column is not in the report:\n%s" % text[:2000])
    check(found and min(x for x, _ in found) >= MARGIN_PT - 0.5,
          "a line starts in the page's margin (%.1f pt from the edge, the margin is %.1f pt):\n%s"
          % (min(x for x, _ in found), MARGIN_PT, text[:2000]))
    d.close(app, main)
