#include "documents/PrintSeams.h"

#include "platform/UiServices.h"

#include <memory>

std::function<frmPrintSetup*(QWidget*)> printing::createPrintSetup;
std::function<void(QWidget*)> printing::pageSetup;

void ShowPrintSetup(QWidget* parent) {
    if (!printing::createPrintSetup)
        return;
    std::unique_ptr<frmPrintSetup> dialog(printing::createPrintSetup(parent));
    if (dialog)
        plat::ui().execDialog(dialog.get());
}

void ShowPageSetupDialog(QWidget* owner) {
    if (printing::pageSetup)
        printing::pageSetup(owner);
}
