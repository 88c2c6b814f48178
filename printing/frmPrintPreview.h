#pragma once
// The print preview: the report's pages as they come out of the printer, drawn by the same page painter from
// the same lines, scaled by a zoom of 10 to 200 percent. The picture is one page in size; the buttons move the
// report through it by half pictures and by whole pages. Escape closes the window.
#include "printing/PagePainter.h"

#include <QDialog>
#include <QImage>

#include <map>
#include <vector>

class QFrame;
class QPushButton;
class QScrollBar;

namespace printing {

class frmPrintSetup;

class frmPrintPreview : public QDialog {
    Q_OBJECT
public:
    static constexpr int MinZoom = 10;
    static constexpr int MaxZoom = 200;
    static constexpr int PageGap = 12; // pixels of background between two pages

    frmPrintPreview(frmPrintSetup& setup, QWidget* parent = nullptr);
    ~frmPrintPreview() override;

    QFrame* ButtonFrame = nullptr;
    QPushButton* Command_ZoomIn = nullptr;  // smaller
    QPushButton* Command_ZoomOut = nullptr; // larger
    QPushButton* CmdHome = nullptr;
    QPushButton* CmdLinesUp = nullptr;
    QPushButton* CmdLinesDown = nullptr;
    QPushButton* CmdPgUp = nullptr;
    QPushButton* CmdPgDn = nullptr;
    QWidget* ViewPort = nullptr;
    QWidget* PrintImage = nullptr;
    QScrollBar* VScroll1 = nullptr;
    QScrollBar* HScroll1 = nullptr;

    // Where the report is shown from: 0 at the top of the first page, negative further down (picture pixels).
    double TopY = 0;
    // Distance from one page's top to the next one's, in picture pixels.
    double PageHeight() const;
    // The number of pages of the report (the same as on paper).
    int pageCount();
    // The lines the preview draws on a page (1-based).
    const std::vector<ReportLine>& pageLines(int page);
    // One page as the preview shows it at the current zoom.
    QImage renderPage(int page);
    // The page shown at the top of the picture.
    int currentPage() const;

    void Form_Activate();
    void Form_Resize();
    void Form_Paint();
    void CmdHome_Click();
    void CmdLinesUp_Click();
    void CmdLinesDown_Click();
    void CmdPgUp_Click();
    void CmdPgDn_Click();
    void Command_ZoomIn_Click();
    void Command_ZoomOut_Click();
    void HScroll1_Change(int value);
    void VScroll1_Change(int value);

    // Draws the visible part of the report onto the picture (its paint handler).
    void paintPicture(QPainter& painter, const QRect& area);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    double scale() const;     // picture pixels per printer device unit
    QSizeF paperSize() const; // in picture pixels
    void setTopY(double y);
    void updateCaption();
    void placePicture();

    frmPrintSetup& setup_;
    ReportOptions options_;
    ReportTexts texts_;
    int pageCount_ = -1;
    std::map<int, std::vector<ReportLine>> lines_;
    std::map<int, QImage> images_;
};

} // namespace printing
