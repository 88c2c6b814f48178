// The library's one creatable class and the entry points the component registry and the registrar use.
#include "pdalink/FrmDMAUpload.h"
#include "pdalink/PdaSupportInterface.h"
#include "pdalink/RAPIModule.h"
#include "pdalink/frmBrowsePDA.h"
#include "platform/AtomicFile.h"
#include "platform/ComponentRegistry.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"

#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

#define VORD_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
using namespace pdalib;

// Shows one of the library's windows at the caller's position (in twips) until the user closes it. A failure
// the window did not handle is said here and goes no further.
template <class Form> void runForm(Form& form, int16_t left, int16_t top) {
    RunGuarded([&] {
        form.move(plat::twips::toPixelsX(left), plat::twips::toPixelsY(top));
        form.Form_Load();
        ui().execDialog(&form);
    });
}

class PDASupport final : public pda::IPDASupport {
public:
    bool GetFileFromCeDevice_PDASup(const QString& fileName, pda::CallStatus* status) override {
        return RAPIModule::AppendDeviceFileToPC(fileName, status);
    }

    bool SpawnCeProg_PDASup() override { return RAPIModule::SpawnDeviceProgram(); }

    bool HandHeldPresent(const QString& appTitle, int32_t waitTimeMs) override {
        MessageTitle = appTitle;
        ce::RapiInit init;
        ce::CeRapiInitEx(&init);
        const uint32_t wait = ce::CeWaitForInit(&init, static_cast<uint32_t>(std::max<int32_t>(0, waitTimeMs)));
        // Present only when the attempt ended in time and ended well: a failed attempt leaves no device to talk to.
        const bool up = wait == ce::WAIT_OBJECT_0 && init.hr == ce::S_OK;
        ce::CeRapiUninit();
        if (!up)
            ShowLibMessage(NotConnectedText());
        return up;
    }

    QStringList BrowsePDA(const QString& appTitle, const QString& String619, const QString& String620,
                          const QString& String621, const QString& String622, const QString& String623,
                          const QString& String624, const QString& String625, const QString& String626,
                          const QString& String627, const QString& String628, const QString& String630,
                          const QString& String634, int16_t left, int16_t top, pda::CallStatus* status) override {
        MessageTitle = appTitle;
        frmBrowsePDA form;
        form.String619 = String619;
        form.String620 = String620;
        form.String621 = String621;
        form.String622 = String622;
        form.String623 = String623;
        form.String624 = String624;
        form.String625 = String625;
        form.String626 = String626;
        form.String627 = String627;
        form.String628 = String628;
        form.String630 = String630;
        form.String634 = String634;
        runForm(form, left, top);
        return DownloadedFileNames;
    }

    void DMAUpload(const QString& appTitle, const QString& String626, const QString& String632,
                   const QString& String633, const QString& String634, int16_t left, int16_t top,
                   pda::CallStatus* status) override {
        MessageTitle = appTitle;
        FrmDMAUpload form;
        form.String626 = String626;
        form.String632 = String632;
        form.String633 = String633;
        form.String634 = String634;
        runForm(form, left, top);
    }

    QStringList GetPDAFileList(const QString& folderSpec) override {
        return RAPIModule::ListDeviceCsvFiles(folderSpec);
    }

    bool CopyPDAFileToPC(const QString& sourceFilespec, const QString& targetFilespec,
                         pda::CallStatus* status) override {
        return RAPIModule::CopyDeviceFileToPC(sourceFilespec, targetFilespec, status);
    }

    bool CopyPCFileToPDA(const QString& sourceFilespec, const QString& targetFilespec,
                         pda::CallStatus* status) override {
        return RAPIModule::CopyPCFileToDevice(sourceFilespec, targetFilespec, status);
    }

    int32_t DeletePDAFile(const QString& fullFilespec) override { return RAPIModule::DeleteDeviceFile(fullFilespec); }
};

QString ownPath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ownPath), &info) && info.dli_fname)
        return QFileInfo(QFile::decodeName(info.dli_fname)).absoluteFilePath();
    return {};
}

} // namespace

VORD_EXPORT pda::IPDASupport* VordCreateObject(const char* progId, const pda::PdaHost* host) {
    if (!progId || QString::fromUtf8(progId).compare(QLatin1String(pda::kProgId), Qt::CaseInsensitive) != 0)
        return nullptr;
    setHost(host);
    return new PDASupport;
}

VORD_EXPORT int DllRegisterServer() {
    const QString path = ownPath();
    if (path.isEmpty())
        return 1;
    return plat::components::registerServer(QLatin1String(pda::kProgId), path) ? 0 : 1;
}

VORD_EXPORT int DllUnregisterServer() {
    plat::components::unregisterServer(QLatin1String(pda::kProgId));
    return 0;
}

// Tests and trial runs read what the library did to the device (sessions and handles still open).
VORD_EXPORT void VordCeDeviceCounters(int* sessionsOpen, int* handlesOpen, long long* sessionsStarted) {
    const ce::Counters c = ce::counters();
    if (sessionsOpen)
        *sessionsOpen = c.sessionsOpen;
    if (handlesOpen)
        *handlesOpen = c.handlesOpen;
    if (sessionsStarted)
        *sessionsStarted = c.sessionsStarted;
}

// Tests make one file step fail (a sync, a close) inside the library, which keeps its own copy of the
// platform layer: the calls given carry the library's device and PC file writes from now on (nullptr: the
// system's). Returns the ones in force before.
VORD_EXPORT plat::FileCalls* VordSetFileCalls(plat::FileCalls* calls) {
    return plat::setFileCalls(calls);
}
