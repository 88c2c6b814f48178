#pragma once
// How a program gets at the PDA link library: creation by ProgID through the component registry (the library
// is loaded at run time, never linked), the registrar run, and the create-register-retry loop that the main
// program and the auto-sync utility share.
#include "pdalink/PdaSupportInterface.h"

#include <QString>

#include <functional>
#include <memory>

namespace pda {

using PdaSupportObject = std::shared_ptr<IPDASupport>;

struct CreateOutcome {
    PdaSupportObject object;
    int number = 0; // 0, or kErrCannotCreate
    QString description;
    // The registered library was not loaded because another user could have put it there (its owner or
    // mode, or its folder's); description names the file and says why.
    bool refused = false;
};

// Looks the ProgID up in the component registry, loads the library it names and asks it for the object.
// A missing entry, a library that does not load or lacks the factory, a factory that refuses the ProgID, or a
// library that may not be loaded (plat::components::checkLibrary) all end with error 429.
CreateOutcome CreateObject(const QString& progId = QLatin1String(kProgId));

// The library and the registrar as installed in the program folder.
QString LibraryPath();
QString RegistrarPath();

inline constexpr int kRegistrarWaitMs = 30000;

// Starts the registrar on the program folder's library (silently) and waits for it to finish, at most waitMs.
// The caller learns whether it worked only by creating the object again. The registrar loads the library and
// the toolkit with it, which takes well over a second on a busy machine; the limit only keeps a registrar that
// never ends from holding the caller.
void RegisterPDASupport(int waitMs = kRegistrarWaitMs);

// The create-register-retry loop: the first failure registers the library without a word and tries again;
// every later failure asks askRetry (which shows the Retry/Cancel box and returns plat::IDRETRY or
// plat::IDCANCEL): Retry registers again and tries again, Cancel gives up. True once object holds the object.
// A library refused for its owner or mode is said in a message box (once for each file and reason) before the
// loop goes on, since nothing else would tell the user why the registered library is not used.
bool CreatePdaSupport(PdaSupportObject& object, const std::function<int()>& askRetry);

} // namespace pda
