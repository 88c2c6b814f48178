#include "transfer/PdaCommands.h"

#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "platform/AppInfo.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"
#include "lang/LangText.h"

#include <QWidget>

#include <algorithm>
#include <cmath>

PdaCommands::PdaCommands(QWidget* mainWindow) : main_(mainWindow) {}

void PdaCommands::CreatePdaSupport(bool& created) {
    created = pda::CreatePdaSupport(PdaSupportObject, [] {
        // The main program's own box, shown directly rather than through ShowMessage: no title of its own.
        return plat::ui().messageBox(ExpandNewlines(LoadLangString(txt::PdaLibraryMissing)),
                                     plat::MB_RETRYCANCEL | plat::MB_ICONEXCLAMATION, QString());
    });
}

void PdaCommands::LibraryWindowPosition(double left, double top, double width, double height, int16_t* x, int16_t* y) {
    // A window on a wide desktop can lie beyond what 16 bits hold; it is kept at the edge of the range.
    auto to16 = [](double v) { return static_cast<int16_t>(std::clamp(std::nearbyint(v), -32768.0, 32767.0)); };
    *x = to16(left + width / 3.0);
    *y = to16(top + height / 3.0);
}

void PdaCommands::windowPosition(int16_t* x, int16_t* y) const {
    if (!main_) {
        *x = *y = 0;
        return;
    }
    const QRect g = main_->frameGeometry();
    LibraryWindowPosition(plat::twips::fromPixelsX(g.x()), plat::twips::fromPixelsY(g.y()),
                          plat::twips::fromPixelsX(g.width()), plat::twips::fromPixelsY(g.height()), x, y);
}

void PdaCommands::mnuRovemarkDownloadPatrol_Click() {
    if (!PdaSupportCreated) {
        CreatePdaSupport(PdaSupportCreated);
        if (!PdaSupportCreated)
            return;
    }
    const QString title = plat::appTitle();
    QStringList names{QString()};
    if (PdaSupportObject->HandHeldPresent(title, 1000)) {
        int16_t left = 0, top = 0;
        windowPosition(&left, &top);
        pda::CallStatus status;
        names = PdaSupportObject->BrowsePDA(
            title, LoadLangString(txt::PdaDownloadCaption), LoadLangString(txt::PdaDownloadHeading),
            LoadLangString(txt::PdaDownloadButton), LoadLangString(txt::PdaCloseButton),
            LoadLangString(txt::PdaNothingChosen), LoadLangString(txt::PdaCannotOpen),
            LoadLangString(txt::PdaEmptyFile), LoadLangString(txt::PdaReplaceQuestion), LoadLangString(txt::PdaReading),
            LoadLangString(txt::PdaReadFailed), LoadLangString(txt::PdaUnexpectedError),
            LoadLangString(txt::PdaFilesCopied), left, top, &status);
        if (!status.ok()) {
            ShowMessage(status.description);
            return;
        }
    }
    if (names.size() == 1 && names.front().isEmpty())
        return;
    // Downloaded files are ordinary logger files; one that fails to open is reported by the reader and skipped.
    for (const QString& path : names)
        if (!path.isEmpty())
            OpenDocument(path);
}

void PdaCommands::mnuRovemarkUploadDMA_Click() {
    if (!PdaSupportCreated)
        CreatePdaSupport(PdaSupportCreated);
    if (PdaSupportCreated && PdaSupportObject->HandHeldPresent(plat::appTitle(), 1000))
        ExportFileToPDA();
}

void PdaCommands::ExportFileToPDA() {
    if (!PdaSupportObject)
        return;
    int16_t left = 0, top = 0;
    windowPosition(&left, &top);
    pda::CallStatus status;
    PdaSupportObject->DMAUpload(plat::appTitle(), LoadLangString(txt::PdaReplaceQuestion),
                                LoadLangString(txt::PdaCannotCreate), LoadLangString(txt::PdaWriteFailed),
                                LoadLangString(txt::PdaFilesCopied), left, top, &status);
}
