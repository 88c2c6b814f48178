#pragma once
// Draws report pages. Paper, PDF and the preview window all go through PaintPage with a layout measured on
// the printer, so a page shows the same lines at the same places on every surface; the preview only scales.
#include "printing/ReportModel.h"

#include <QFont>
#include <QRectF>

#include <vector>

class QPainter;
class QPaintDevice;

namespace printing {

struct PageLayout {
    QRectF body; // where lines go, in the printer's device units (origin: the printable area's corner)
    double lineHeight = 1;
    double ascent = 1;
    QFont font; // the report font at its size on the printer
    int linesPerPage = 0;
};

// The report font as a QFont (pixel size for a device of the given resolution); a missing family falls back
// to a fixed-pitch one.
QFont ReportQFont(const ReportFont& font, double dotsPerInch);

// Measures the report font on the printer device: line height, lines per page.
PageLayout MeasurePage(const ReportFont& font, const QPaintDevice& printerDevice, const QRectF& printableArea);

// Draws one page's lines from the top of the layout's body.
void PaintPage(QPainter& painter, const PageLayout& layout, const std::vector<ReportLine>& lines);

// Width of a text in the report font on the printer, in device units.
double TextWidth(const PageLayout& layout, const QString& text);

} // namespace printing
