#include "printing/frmPrintPreview.h"

#include "platform/Twips.h"
#include "platform/WidgetNames.h"
#include "printing/Printer.h"
#include "printing/frmPrintSetup.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QPainter>
#include <QPrinter>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace printing {

namespace {

constexpr double kMinWindowWidthTwips = 4050;
constexpr size_t kCachedPages = 8;

// The picture: shows the pages from TopY on; what it draws comes from the preview.
class PreviewPicture final : public QWidget {
public:
    PreviewPicture(frmPrintPreview* preview, QWidget* parent) : QWidget(parent), preview_(preview) {
        setObjectName(QStringLiteral("PrintImage"));
        setFocusPolicy(Qt::StrongFocus);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        preview_->paintPicture(painter, event->rect());
    }

private:
    frmPrintPreview* preview_;
};

using plat::widgets::button;

// A run that keeps the lines of one page.
std::vector<ReportLine> linesOfPage(const ReportOptions& o, const ReportSource& source, const ReportTexts& texts,
                                    int linesPerPage, int page) {
    CollectingSink sink;
    sink.firstPage = page;
    RunRequest request;
    request.linesPerPage = linesPerPage;
    request.firstPage = page;
    request.lastPage = page;
    RunControl control;
    RunReport(o, source, texts, request, sink, control);
    return sink.pages.empty() ? std::vector<ReportLine>{} : std::move(sink.pages.front());
}

} // namespace

frmPrintPreview::frmPrintPreview(frmPrintSetup& setup, QWidget* parent)
    : QDialog(parent), setup_(setup), options_(setup.Options()), texts_(ReportTexts::load()) {
    setObjectName(QStringLiteral("frmPrintPreview"));
    setWindowTitle(QStringLiteral("Print Preview"));
    setSizeGripEnabled(true);

    ButtonFrame = new QFrame(this);
    ButtonFrame->setObjectName(QStringLiteral("ButtonFrame"));
    Command_ZoomIn = button(ButtonFrame, "Command_ZoomIn", QStringLiteral("\u2212"), QStringLiteral("Smaller"));
    Command_ZoomOut = button(ButtonFrame, "Command_ZoomOut", QStringLiteral("+"), QStringLiteral("Larger"));
    CmdHome = button(ButtonFrame, "CmdHome", QStringLiteral("Top"), QStringLiteral("First page"));
    CmdPgUp = button(ButtonFrame, "CmdPgUp", QStringLiteral("Page \u2191"), QStringLiteral("Previous page"));
    CmdLinesUp = button(ButtonFrame, "CmdLinesUp", QStringLiteral("\u2191"), QStringLiteral("Up half a picture"));
    CmdLinesDown = button(ButtonFrame, "CmdLinesDown", QStringLiteral("\u2193"), QStringLiteral("Down half a picture"));
    CmdPgDn = button(ButtonFrame, "CmdPgDn", QStringLiteral("Page \u2193"), QStringLiteral("Next page"));
    auto* buttons = new QHBoxLayout(ButtonFrame);
    buttons->setContentsMargins(0, 0, 0, 0);
    for (QPushButton* b : {Command_ZoomIn, Command_ZoomOut, CmdHome, CmdPgUp, CmdLinesUp, CmdLinesDown, CmdPgDn})
        buttons->addWidget(b);
    buttons->addStretch(1);

    ViewPort = new QWidget(this);
    ViewPort->setObjectName(QStringLiteral("ViewPort"));
    ViewPort->setAutoFillBackground(true);
    QPalette pal = ViewPort->palette();
    pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
    ViewPort->setPalette(pal);
    ViewPort->setMinimumSize(120, 120);
    ViewPort->installEventFilter(this);
    PrintImage = new PreviewPicture(this, ViewPort);
    PrintImage->installEventFilter(this);
    VScroll1 = new QScrollBar(Qt::Vertical, this);
    VScroll1->setObjectName(QStringLiteral("VScroll1"));
    HScroll1 = new QScrollBar(Qt::Horizontal, this);
    HScroll1->setObjectName(QStringLiteral("HScroll1"));

    auto* view = new QGridLayout;
    view->setSpacing(0);
    view->addWidget(ViewPort, 0, 0);
    view->addWidget(VScroll1, 0, 1);
    view->addWidget(HScroll1, 1, 0);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(ButtonFrame);
    layout->addLayout(view, 1);

    setMinimumWidth(plat::twips::toPixelsX(kMinWindowWidthTwips));

    connect(CmdHome, &QPushButton::clicked, this, &frmPrintPreview::CmdHome_Click);
    connect(CmdLinesUp, &QPushButton::clicked, this, &frmPrintPreview::CmdLinesUp_Click);
    connect(CmdLinesDown, &QPushButton::clicked, this, &frmPrintPreview::CmdLinesDown_Click);
    connect(CmdPgUp, &QPushButton::clicked, this, &frmPrintPreview::CmdPgUp_Click);
    connect(CmdPgDn, &QPushButton::clicked, this, &frmPrintPreview::CmdPgDn_Click);
    connect(Command_ZoomIn, &QPushButton::clicked, this, &frmPrintPreview::Command_ZoomIn_Click);
    connect(Command_ZoomOut, &QPushButton::clicked, this, &frmPrintPreview::Command_ZoomOut_Click);
    connect(HScroll1, &QScrollBar::valueChanged, this, &frmPrintPreview::HScroll1_Change);
    connect(VScroll1, &QScrollBar::valueChanged, this, &frmPrintPreview::VScroll1_Change);

    resize(900, 760);
    Form_Activate();
    Form_Resize();
}

frmPrintPreview::~frmPrintPreview() = default;

double frmPrintPreview::scale() const {
    const int res = Printer().resolution() > 0 ? Printer().resolution() : 1200;
    const double screen = logicalDpiY() > 0 ? logicalDpiY() : 96;
    return setup_.PrnZoom / 100.0 * screen / res;
}

QSizeF frmPrintPreview::paperSize() const {
    return Printer().qprinter().paperRect(QPrinter::DevicePixel).size() * scale();
}

double frmPrintPreview::PageHeight() const {
    return std::ceil(paperSize().height()) + PageGap;
}

int frmPrintPreview::pageCount() {
    if (pageCount_ < 0) {
        // Counting needs the whole run, but no line is formatted for it.
        CollectingSink none;
        RunRequest request;
        request.linesPerPage = setup_.LinesPerPage;
        request.firstPage = INT_MAX;
        RunControl control;
        pageCount_ = RunReport(options_, setup_.Source(), texts_, request, none, control).pages;
    }
    return pageCount_;
}

const std::vector<ReportLine>& frmPrintPreview::pageLines(int page) {
    auto it = lines_.find(page);
    if (it == lines_.end()) {
        if (lines_.size() >= kCachedPages)
            lines_.erase(lines_.begin()->first == page ? std::next(lines_.begin()) : lines_.begin());
        it = lines_.emplace(page, linesOfPage(options_, setup_.Source(), texts_, setup_.LinesPerPage, page)).first;
    }
    return it->second;
}

QImage frmPrintPreview::renderPage(int page) {
    auto it = images_.find(page);
    if (it != images_.end())
        return it->second;
    const QSizeF paper = paperSize();
    QImage image(std::max(1, static_cast<int>(std::ceil(paper.width()))),
                 std::max(1, static_cast<int>(std::ceil(paper.height()))), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::TextAntialiasing);
        const double s = scale();
        painter.scale(s, s);
        // Lines start at the printable area's corner, as on paper.
        const QRectF printable = Printer().qprinter().pageRect(QPrinter::DevicePixel);
        const QRectF paperRect = Printer().qprinter().paperRect(QPrinter::DevicePixel);
        painter.translate(printable.topLeft() - paperRect.topLeft());
        PaintPage(painter, setup_.Layout(), pageLines(page));
    }
    if (images_.size() >= kCachedPages)
        images_.erase(images_.begin()->first == page ? std::next(images_.begin()) : images_.begin());
    images_.emplace(page, image);
    return image;
}

int frmPrintPreview::currentPage() const {
    return static_cast<int>(std::floor(-TopY / PageHeight())) + 1;
}

void frmPrintPreview::paintPicture(QPainter& painter, const QRect& area) {
    painter.fillRect(area, QColor(0x80, 0x80, 0x80));
    const int pages = pageCount();
    const double step = PageHeight();
    const int first = std::max(1, static_cast<int>(std::floor((-TopY + area.top()) / step)) + 1);
    for (int p = first; p <= pages; ++p) {
        const double top = (p - 1) * step + TopY;
        if (top > area.bottom())
            break;
        painter.drawImage(QPointF(0, top), renderPage(p));
    }
}

void frmPrintPreview::setTopY(double y) {
    const double lowest = -std::max(0, pageCount() - 1) * PageHeight();
    TopY = std::clamp(y, lowest, 0.0);
    Form_Paint();
}

void frmPrintPreview::updateCaption() {
    setWindowTitle(QStringLiteral("Print Preview - ") + QString::number(setup_.PrnZoom) + u'%');
}

void frmPrintPreview::Form_Activate() {
    setup_.SetFont();
    setup_.ScrollZoom_Change();
    updateCaption();
    TopY = 0;
    images_.clear();
}

void frmPrintPreview::Form_Resize() {
    const QSizeF paper = paperSize();
    PrintImage->resize(std::max(1, static_cast<int>(std::ceil(paper.width()))),
                       std::max(1, static_cast<int>(std::ceil(paper.height()))));
    placePicture();
}

void frmPrintPreview::placePicture() {
    HScroll1->setRange(0, std::max(0, PrintImage->width() - ViewPort->width()));
    HScroll1->setPageStep(std::max(1, ViewPort->width()));
    VScroll1->setRange(0, std::max(0, PrintImage->height() - ViewPort->height()));
    VScroll1->setPageStep(std::max(1, ViewPort->height()));
    // A picture narrower than the viewport stands in its middle.
    const int x =
        PrintImage->width() < ViewPort->width() ? (ViewPort->width() - PrintImage->width()) / 2 : -HScroll1->value();
    const int y = PrintImage->height() < ViewPort->height() ? 0 : -VScroll1->value();
    PrintImage->move(x, y);
}

void frmPrintPreview::Form_Paint() {
    for (QPushButton* b : {Command_ZoomIn, Command_ZoomOut, CmdHome, CmdPgUp, CmdLinesUp, CmdLinesDown, CmdPgDn})
        b->setEnabled(false);
    PrintImage->update();
    CmdHome->setEnabled(true);
    Command_ZoomIn->setEnabled(setup_.PrnZoom > MinZoom);
    Command_ZoomOut->setEnabled(setup_.PrnZoom < MaxZoom);
    const bool atTop = TopY >= 0;
    const bool atEnd = currentPage() >= pageCount();
    CmdPgUp->setEnabled(!atTop);
    CmdLinesUp->setEnabled(!atTop);
    CmdPgDn->setEnabled(!atEnd);
    CmdLinesDown->setEnabled(!atEnd);
}

void frmPrintPreview::CmdHome_Click() {
    setTopY(0);
    PrintImage->setFocus();
}

void frmPrintPreview::CmdLinesUp_Click() {
    setTopY(TopY + PrintImage->height() * 0.5);
}

void frmPrintPreview::CmdLinesDown_Click() {
    setTopY(TopY - PrintImage->height() * 0.5);
}

void frmPrintPreview::CmdPgUp_Click() {
    setTopY(TopY + PageHeight());
}

void frmPrintPreview::CmdPgDn_Click() {
    setTopY(TopY - PageHeight());
}

void frmPrintPreview::Command_ZoomIn_Click() {
    setup_.PrnZoom = std::max(MinZoom, setup_.PrnZoom - 10);
    Form_Activate();
    Form_Resize();
    Form_Paint();
}

void frmPrintPreview::Command_ZoomOut_Click() {
    setup_.PrnZoom = std::min(MaxZoom, setup_.PrnZoom + 10);
    Form_Activate();
    Form_Resize();
    Form_Paint();
}

void frmPrintPreview::HScroll1_Change(int) {
    placePicture();
}

void frmPrintPreview::VScroll1_Change(int) {
    placePicture();
}

void frmPrintPreview::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
        reject();
        return;
    case Qt::Key_PageDown:
        CmdPgDn_Click();
        return;
    case Qt::Key_PageUp:
        CmdPgUp_Click();
        return;
    case Qt::Key_Home:
        CmdHome_Click();
        return;
    case Qt::Key_End:
        // The last page at the top of the view, however long the report.
        setTopY(-std::max(0, pageCount() - 1) * PageHeight());
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

bool frmPrintPreview::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ViewPort && event->type() == QEvent::Resize)
        placePicture();
    if (watched == PrintImage && event->type() == QEvent::Wheel) {
        const auto* wheel = static_cast<QWheelEvent*>(event);
        setTopY(TopY + wheel->angleDelta().y() / 120.0 * PageHeight() / 8);
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void frmPrintPreview::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    Form_Resize();
}

void frmPrintPreview::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Form_Paint();
    PrintImage->setFocus();
}

} // namespace printing
