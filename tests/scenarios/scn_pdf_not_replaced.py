"""Two reports in a row to the PDF printer: the second one does not silently take the first one's file. The
program asks before it replaces a PDF that is there: No asks for another file (the save dialog starting at
the one there is) and leaves the first file as it was; Yes replaces it."""
import os

from scnfiles import THREE, write_area
from scnlib import Desktop, check, wait_for
from scnprint import open_report_options, print_to_pdf_file


def identity(path):
    """What changes when a file is replaced: the printer writes a new file and renames it over the old one."""
    st = os.stat(path)
    with open(path, "rb") as f:
        return st.st_ino, f.read()


def question(d, main):
    return d.wait_message_box(main, "the question whether the PDF may be replaced")


with Desktop("pdf_not_replaced") as d:
    area = d.path("area.pdb")
    write_area(area, THREE)
    first = d.path("report.pdf")
    second = d.path("second.pdf")
    d.write_settings({"ChkAll": 1, "ChkHist": 0, "ChkSummary": 0})
    app = d.start("vordalin", [area])
    main = d.wait_window("^Vordalin")

    # The first report: the program asks for the file.
    open_report_options(d, main)
    d.key("alt+o")
    print_to_pdf_file(d, first, "the first PDF")
    before = identity(first)

    # The second report: asked first; No names another file, and the first PDF stays as it was.
    open_report_options(d, main)
    d.key("alt+o")
    box = wait_for(lambda: question(d, main) if os.path.exists(first) and identity(first) == before else "replaced",
                   30, what="the question or a replaced file")
    check(box != "replaced", "the second report replaced the first PDF without asking")
    d.activate(box)
    d.key("alt+n")
    print_to_pdf_file(d, second, "the second PDF")
    check(identity(first) == before, "the first PDF was changed although the user chose another file")

    # The third report goes to the second file, which is there now: Yes replaces it.
    kept = identity(second)
    open_report_options(d, main)
    d.key("alt+o")
    box = question(d, main)
    d.activate(box)
    d.key("alt+y")
    wait_for(lambda: identity(second) != kept, 60, what="the second PDF to be replaced")
    d.wait_window_gone("^Print$")
    check(identity(first) == before, "the first PDF was changed by the third report")
    d.close(app, main)
