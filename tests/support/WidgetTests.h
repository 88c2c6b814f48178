#pragma once
// Support for tests that make windows: the offscreen application (ensureApplication, declared in TestEnv.h)
// with the dialog side of the scripted UI.
#include "TestEnv.h"
