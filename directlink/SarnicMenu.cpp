#include "directlink/SarnicMenu.h"

#include "directlink/frmSarnicSetup.h"
#include "platform/UiServices.h"

namespace directlink {
void ShowSarnicSetup(QWidget* parent) {
    frmSarnicSetup form(parent);
    plat::ui().execDialog(&form);
    // However the window ended (a scripted run never calls its close step), no port stays open behind it.
    form.Form_Unload();
}
} // namespace directlink
