"""The report's windows as the scenarios drive them: the report options dialog (File > Print), the preview and
the PDF printer's file chooser."""
import os

from scnlib import wait_for


def open_report_options(d, main):
    """Ctrl+P in the main window; returns the report options dialog, active."""
    d.activate(main)
    d.wait_active("^Vordalin")
    d.key("ctrl+p")
    return d.focus("^Print$")


def close_preview(d):
    """Escape in the print preview, and waits until it is gone."""
    d.focus("^Print Preview")
    d.key("Escape")
    d.wait_window_gone("^Print Preview")


def print_to_pdf_file(d, path, what="the PDF file"):
    """Names the file in the PDF printer's file chooser, then waits until the report is written there and the
    options dialog has closed."""
    d.focus("^Print to PDF$")
    d.key("ctrl+a")
    d.type(path)
    d.key("Return")
    wait_for(lambda: os.path.exists(path) and os.path.getsize(path) > 0, 60, what=what)
    d.wait_window_gone("^Print$")
