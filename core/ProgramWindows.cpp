#include "core/ProgramWindows.h"

namespace {
ProgramWindows g_quiet;
ProgramWindows* g_registered = nullptr;
} // namespace

ProgramWindows& programWindows() {
    return g_registered ? *g_registered : g_quiet;
}

void RegisterProgramWindows(ProgramWindows* windows) {
    g_registered = windows;
}
