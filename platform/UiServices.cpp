#include "platform/UiServices.h"

namespace plat {
namespace {

// Without a window system every question goes unanswered: boxes give 0, dialogs are cancelled. Programs with
// windows install the Qt implementation (platform/QtUi.h) at start-up.
CancellingUi g_headless;
UiServices* g_default = nullptr;
UiServices* g_current = nullptr;

} // namespace

UiServices& ui() {
    if (g_current)
        return *g_current;
    return g_default ? *g_default : g_headless;
}

void setUi(UiServices* services) {
    g_current = services;
}

void setDefaultUi(UiServices* services) {
    g_default = services;
}

} // namespace plat
