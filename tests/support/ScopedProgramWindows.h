#pragma once
// Registers a ProgramWindows for the length of a scope. The windows registered before (or the quiet stand-in)
// come back when the scope ends, also when a failed assertion ends a test early: no test's registration
// reaches the next test.
#include "core/ProgramWindows.h"

class ScopedProgramWindows {
public:
    explicit ScopedProgramWindows(ProgramWindows* windows) : previous_(registered()) {
        RegisterProgramWindows(windows);
    }
    ~ScopedProgramWindows() { RegisterProgramWindows(previous_); }
    ScopedProgramWindows(const ScopedProgramWindows&) = delete;
    ScopedProgramWindows& operator=(const ScopedProgramWindows&) = delete;

private:
    // The windows registered now, or nullptr while the quiet stand-in answers.
    static ProgramWindows* registered() {
        ProgramWindows* now = &programWindows();
        RegisterProgramWindows(nullptr);
        ProgramWindows* quiet = &programWindows();
        ProgramWindows* windows = now == quiet ? nullptr : now;
        RegisterProgramWindows(windows);
        return windows;
    }
    ProgramWindows* previous_;
};
