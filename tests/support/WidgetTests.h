#pragma once
// Support for tests that make windows: the offscreen application with the dialog side of the scripted UI, and
// the window thread's events run until a condition holds. Test programs that link the widget test support
// (vord_test_widgets) have them; GUI-free ones do not.
#include "TestEnv.h"

#include <functional>

// Makes sure a QApplication exists (offscreen in tests) for widget tests, with the scripted UI's dialog side.
void ensureApplication();

// Runs the window thread's events (where queued notifications arrive) until done() holds, at most ms; false when the
// time ran out.
bool pumpUntil(const std::function<bool()>& done, int ms = 10000);
