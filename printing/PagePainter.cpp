#include "printing/PagePainter.h"

#include <QFontMetricsF>
#include <QPaintDevice>
#include <QPainter>

#include <cmath>

namespace printing {

QFont ReportQFont(const ReportFont& f, double dotsPerInch) {
    QFont font(f.name);
    // The dialog offers fixed-pitch fonts only; a stored family that is not installed still gets one.
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    const double size = f.size > 0 ? f.size : 8;
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(size * dotsPerInch / 72.0))));
    font.setBold(f.bold);
    font.setItalic(f.italic);
    font.setUnderline(f.underline);
    font.setStrikeOut(f.strikethru);
    return font;
}

PageLayout MeasurePage(const ReportFont& font, const QPaintDevice& device, const QRectF& printableArea) {
    PageLayout layout;
    const double dpi = device.logicalDpiY() > 0 ? device.logicalDpiY() : 96;
    layout.font = ReportQFont(font, dpi);
    layout.body = QRectF(QPointF(0, 0), printableArea.size());
    const QFontMetricsF metrics(layout.font, &device);
    layout.lineHeight = metrics.height();
    layout.ascent = metrics.ascent();
    layout.linesPerPage = LinesPerPageFor(layout.body.height(), layout.lineHeight);
    return layout;
}

void PaintPage(QPainter& painter, const PageLayout& layout, const std::vector<ReportLine>& lines) {
    QFont fonts[16];
    bool made[16] = {};
    painter.save();
    painter.setPen(Qt::black);
    double y = layout.body.top();
    for (const ReportLine& line : lines) {
        if (!line.text.isEmpty()) {
            const int s = line.style & 15;
            if (!made[s]) {
                fonts[s] = layout.font;
                fonts[s].setBold(s & StyleBold);
                fonts[s].setItalic(s & StyleItalic);
                fonts[s].setUnderline(s & StyleUnderline);
                fonts[s].setStrikeOut(s & StyleStrikethru);
                made[s] = true;
            }
            painter.setFont(fonts[s]);
            painter.drawText(QPointF(layout.body.left(), y + layout.ascent), line.text);
        }
        y += layout.lineHeight;
    }
    painter.restore();
}

double TextWidth(const PageLayout& layout, const QString& text) {
    return QFontMetricsF(layout.font).horizontalAdvance(text);
}

} // namespace printing
