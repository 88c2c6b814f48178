#pragma once
// CaptureRoutines: a window's picture for the clipboard or the printer, and a picture printed as large as the
// page allows. Captures are rendered from the widgets themselves, not read back from the screen, so they show
// the window even when it is covered or has no screen at all.
#include <QPageLayout>
#include <QPicture>
#include <QPixmap>
#include <QRectF>
#include <QSizeF>

#include <functional>

class QPainter;
class QPrinter;
class QWidget;

namespace directlink {

// A copy of the rectangle (pixels, relative to the window) of the window's client area; with client False
// the rectangle is taken relative to the whole window with its frame, as far as the toolkit draws the frame.
QPixmap CaptureWindowImage(QWidget* window, bool client, int left, int top, int width, int height);
// The window's whole client area.
QPixmap CaptureFormImage(QWidget* form);
// The same area as drawing steps rather than pixels, for the printer: lines, shapes and text stay sharp at the
// printer's resolution, and a PDF printout keeps its text as text.
QPicture CaptureFormPicture(QWidget* form);

// The fitting rule: landscape when the picture is wider than high, otherwise portrait.
QPageLayout::Orientation FittedOrientation(const QSize& picture);
// Where a picture of that size goes on a printable area of that size: at the top-left corner, as large as
// fits with its aspect ratio kept (full height when relatively taller than the area, full width otherwise).
QRectF FittedPictureRect(const QSizeF& printable, const QSize& picture);

// Draws the picture with the fitting rule on a painter that is on its page, the printable area's top-left
// corner at the painter's origin. The orientation is the caller's (set before the page began).
void DrawPictureFitted(QPainter& painter, const QSizeF& printable, const QPicture& picture);
// Prints the picture on one page of the printer, orientation and size by the rule above. The page goes to the
// printer (or its file) when this returns. False when the picture is empty or the printer could not start.
bool PrintPictureFitted(QPrinter& printer, const QPicture& picture);

// How the windows print a captured picture. The main program hands over its own route to its current printer
// (the one the printer and page set-up dialogs configure); until then PrintPictureFitted on a printer of this
// module, on the system's default printer, is used. An empty function restores that.
using PicturePrinter = std::function<bool(const QPicture&)>;
void SetPicturePrinter(PicturePrinter printer);
bool PrintCapturedPicture(const QPicture& picture);

} // namespace directlink
