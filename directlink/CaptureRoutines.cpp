#include "directlink/CaptureRoutines.h"

#include <QPainter>
#include <QPrinter>
#include <QWidget>

namespace directlink {

namespace {
PicturePrinter& picturePrinter() {
    static PicturePrinter printer;
    return printer;
}
} // namespace

QPixmap CaptureWindowImage(QWidget* window, bool client, int left, int top, int width, int height) {
    if (!window || width <= 0 || height <= 0)
        return {};
    QRect area(left, top, width, height);
    if (!client) {
        // The frame belongs to the window system; what lies on it is not ours to render. The client area sits
        // at the frame's offset inside the whole window.
        const QPoint offset = window->geometry().topLeft() - window->frameGeometry().topLeft();
        area.translate(-offset);
    }
    const QPixmap grabbed = window->grab(area.intersected(window->rect()));
    if (grabbed.size() == QSize(width, height))
        return grabbed;
    // Parts of the rectangle outside the window come out white, like an empty page.
    QPixmap full(width, height);
    full.fill(Qt::white);
    QPainter p(&full);
    const QRect inside = area.intersected(window->rect());
    p.drawPixmap(inside.topLeft() - area.topLeft(), grabbed);
    return full;
}

QPixmap CaptureFormImage(QWidget* form) {
    if (!form)
        return {};
    return CaptureWindowImage(form, true, 0, 0, form->width(), form->height());
}

QPicture CaptureFormPicture(QWidget* form) {
    QPicture picture;
    if (!form)
        return picture;
    QPainter painter(&picture);
    form->render(&painter, QPoint(), QRegion(form->rect()), QWidget::DrawWindowBackground | QWidget::DrawChildren);
    painter.end();
    // The picture's size is the window's, whatever the drawing steps reach.
    picture.setBoundingRect(form->rect());
    return picture;
}

QPageLayout::Orientation FittedOrientation(const QSize& picture) {
    return picture.height() < picture.width() ? QPageLayout::Landscape : QPageLayout::Portrait;
}

QRectF FittedPictureRect(const QSizeF& printable, const QSize& picture) {
    if (picture.isEmpty() || printable.isEmpty())
        return {};
    const double r = double(picture.width()) / picture.height();
    if (r < printable.width() / printable.height())
        return QRectF(0, 0, printable.height() * r, printable.height());
    return QRectF(0, 0, printable.width(), printable.width() / r);
}

void DrawPictureFitted(QPainter& painter, const QSizeF& printable, const QPicture& picture) {
    const QRect bounds = picture.boundingRect();
    if (bounds.isEmpty() || !painter.device())
        return;
    const QRectF target = FittedPictureRect(printable, bounds.size());
    // Playing a picture on a device of another resolution scales it by the ratio of the two by itself.
    const double dx = double(painter.device()->logicalDpiX()) / picture.logicalDpiX();
    const double dy = double(painter.device()->logicalDpiY()) / picture.logicalDpiY();
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing | QPainter::SmoothPixmapTransform);
    painter.scale(target.width() / bounds.width() / dx, target.height() / bounds.height() / dy);
    painter.drawPicture(-bounds.topLeft(), picture);
    painter.restore();
}

bool PrintPictureFitted(QPrinter& printer, const QPicture& picture) {
    const QRect bounds = picture.boundingRect();
    if (bounds.isEmpty())
        return false;
    printer.setPageOrientation(FittedOrientation(bounds.size()));
    QPainter painter;
    if (!painter.begin(&printer))
        return false;
    DrawPictureFitted(painter, printer.pageLayout().paintRectPixels(printer.resolution()).size(), picture);
    return painter.end();
}

void SetPicturePrinter(PicturePrinter printer) {
    picturePrinter() = std::move(printer);
}

bool PrintCapturedPicture(const QPicture& picture) {
    if (picturePrinter())
        return picturePrinter()(picture);
    // The module's own printer lives to the end of the program, like the program's.
    static QPrinter* own = new QPrinter(QPrinter::HighResolution);
    return PrintPictureFitted(*own, picture);
}

} // namespace directlink
