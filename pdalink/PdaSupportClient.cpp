#include "pdalink/PdaSupportClient.h"

#include "platform/AppInfo.h"
#include "platform/ComponentRegistry.h"
#include "platform/UiServices.h"

#include <QFile>
#include <QProcess>

#include <dlfcn.h>

namespace pda {
namespace {

CreateOutcome cannotCreate(const QString& why) {
    CreateOutcome out;
    out.number = kErrCannotCreate;
    out.description = QStringLiteral("ActiveX component can't create object: ") + why;
    return out;
}

const PdaHost& host() {
    static const PdaHost h{1, &plat::ui};
    return h;
}

} // namespace

CreateOutcome CreateObject(const QString& progId) {
    const QString library = plat::components::libraryFor(progId);
    if (library.isEmpty())
        return cannotCreate(progId + QStringLiteral(" is not registered"));
    // The file checked is the file loaded: with links resolved, in a folder only root or we may change.
    const plat::components::LibraryCheck check = plat::components::checkLibrary(library);
    if (!check.refusal.isEmpty()) {
        CreateOutcome out;
        out.number = kErrCannotCreate;
        out.refused = true;
        out.description = QStringLiteral("The PDA link library ") + library +
                          (check.file != library ? QStringLiteral(" (a link to ") + check.file + u')' : QString()) +
                          QStringLiteral(" was not loaded: ") + check.refusal + u'.';
        return out;
    }
    // Loaded once and kept for the life of the process: the objects' code and the library's windows live in
    // it, and a library is never unloaded under an object that may still be in use.
    const QString file = check.file.isEmpty() ? library : check.file;
    void* handle = ::dlopen(QFile::encodeName(file).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return cannotCreate(QString::fromLocal8Bit(::dlerror()));
    auto factory = reinterpret_cast<CreateObjectFn>(::dlsym(handle, kCreateObjectSymbol));
    if (!factory)
        return cannotCreate(library + QStringLiteral(" has no ") + QLatin1String(kCreateObjectSymbol));
    IPDASupport* object = factory(progId.toUtf8().constData(), &host());
    if (!object)
        return cannotCreate(library + QStringLiteral(" does not provide ") + progId);
    CreateOutcome out;
    out.object = PdaSupportObject(object);
    return out;
}

QString LibraryPath() {
    return plat::programDir() + u'/' + QLatin1String(kLibraryFileName);
}

QString RegistrarPath() {
    return plat::programDir() + u'/' + QLatin1String(kRegistrarFileName);
}

void RegisterPDASupport(int waitMs) {
    QProcess registrar;
    registrar.setProgram(RegistrarPath());
    registrar.setArguments({QStringLiteral("/s"), LibraryPath()});
    registrar.setProcessChannelMode(QProcess::ForwardedChannels);
    registrar.start();
    if (!registrar.waitForStarted(waitMs))
        return;
    if (!registrar.waitForFinished(waitMs)) {
        // A registrar still busy after that long is stopped rather than left behind; the caller's next
        // attempt (or the user's Retry) starts it again.
        registrar.kill();
        registrar.waitForFinished(waitMs);
    }
}

bool CreatePdaSupport(PdaSupportObject& object, const std::function<int()>& askRetry) {
    bool firstFailure = true;
    QString refusalSaid;
    for (;;) {
        CreateOutcome made = CreateObject();
        if (made.number == 0) {
            object = std::move(made.object);
            return true;
        }
        if (made.refused && made.description != refusalSaid) {
            plat::ui().messageBox(made.description, plat::MB_ICONEXCLAMATION, plat::appTitle());
            refusalSaid = made.description;
        }
        if (!firstFailure && askRetry() != plat::IDRETRY)
            return false;
        firstFailure = false;
        RegisterPDASupport();
    }
}

} // namespace pda
