#include "documents/frmDocument.h"

#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/RtfText.h"
#include "platform/AppInfo.h"
#include "platform/Paths.h"
#include "platform/TextCodec.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"
#include "platform/WindowRegistry.h"
#include "lang/LangText.h"

#include <QCloseEvent>
#include <QFontDatabase>
#include <QStyle>
#include <QTextEdit>

#include <algorithm>

frmDocument::frmDocument(QWidget* parent) : plat::Form<QMdiSubWindow>(parent) {
    setObjectName(QStringLiteral("frmDocument"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(style()->standardIcon(QStyle::SP_FileIcon));
    plat::windows::add(this, QStringLiteral("frmDocument"));
    rtfText = new QTextEdit;
    rtfText->setObjectName(QStringLiteral("rtfText"));
    rtfText->setAcceptRichText(false);
    // Reports line their columns up with tabs: a fixed-pitch font keeps them in line.
    rtfText->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    rtfText->setLineWrapMode(QTextEdit::FixedPixelWidth);
    setWidget(rtfText);
    resize(plat::twips::toPixelsX(7200), plat::twips::toPixelsY(4800));
    connect(rtfText, &QTextEdit::textChanged, this, &frmDocument::rtfText_Change);
    rtfText->viewport()->installEventFilter(this);
    Form_Load();
}

frmDocument::~frmDocument() {
    plat::windows::remove(this);
}

void frmDocument::Form_Load() {
    Form_Resize();
    AskForSave = false;
}

void frmDocument::Form_Resize() {
    // Lines wrap a little inside the box's width, whatever the window's size (a minimised window too).
    rtfText->setLineWrapColumnOrWidth(std::max(1, rtfText->viewport()->width() - 4));
}

bool frmDocument::eventFilter(QObject* watched, QEvent* event) {
    // The text box gets its new size after the window's own resize: the wrap width follows the box itself.
    if (watched == rtfText->viewport() && event->type() == QEvent::Resize)
        Form_Resize();
    return QMdiSubWindow::eventFilter(watched, event);
}

void frmDocument::resizeEvent(QResizeEvent* event) {
    QMdiSubWindow::resizeEvent(event);
    Form_Resize();
}

QString frmDocument::text() const {
    return rtfText->toPlainText();
}
void frmDocument::setText(const QString& text) {
    rtfText->setPlainText(text);
}

bool frmDocument::LoadFile(const QString& path) {
    std::string bytes;
    if (!plat::readFileBytes(plat::toLocalPath(path), bytes))
        return false;
    setText(PlainTextFromRtf(bytes));
    return true;
}

bool frmDocument::SaveFile(const QString& path, QString* error) const {
    return plat::writeFileAtomically(plat::toLocalPath(path), RtfFromPlainText(text()), error);
}

void frmDocument::Form_QueryUnload(bool& cancel) {
    if (!AskForSave)
        return;
    const int answer =
        ShowMessage(LoadLangString(txt::SavePrompt) + windowTitle() + u'?',
                    plat::MB_YESNOCANCEL | plat::MB_ICONEXCLAMATION | plat::MB_DEFBUTTON2, plat::appTitle());
    if (answer == plat::IDYES)
        cancel = !SaveTextDocument(this, txt::SaveTitle); // a cancelled or failed save keeps the window and its text
    else if (answer != plat::IDNO)
        cancel = true;
}
