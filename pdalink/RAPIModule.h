#pragma once
// The library's device file routines and its state for the life of the process (the message title, the
// last download run's files, the folder the upload window showed last).
#include "pdalink/CeDevice.h"
#include "pdalink/PdaSupportInterface.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <functional>

class QFile;

namespace plat {
class UiServices;
}

namespace pdalib {

// The caller's dialog services when it lent them at creation, else our own.
plat::UiServices& ui();
void setHost(const pda::PdaHost* host);

extern QString MessageTitle;
extern QStringList DownloadedFileNames;
extern QString LastUploadFolder; // where the next upload window starts; empty: the current folder

// The library's own folder: $VORD_PROGRAM_DIR when set, else the folder the library was loaded from. The
// library is installed beside the main program, so this is the program folder.
QString libraryFolder();
// The PC folder downloads land in: the library's folder & "rovemark\from" (an existing folder of any letter
// case is taken as it is).
QString downloadFolder();

// An OK box (or the style given) under the message title.
int ShowLibMessage(const QString& text, int style = 0);

inline constexpr const char* kNotConnected = "Mobile Device not connected";
// kNotConnected and where the device was looked for, so the user can tell a missing device from a device
// folder that is set wrongly or not at all.
QString NotConnectedText();
// A failed device read in words, keeping the device's error number.
QString ReadErrorText(uint32_t code);
// Why the last device call failed: the system's reason where a system call failed ("No space left on
// device"), else the device's error in words with its number. Read straight after the failing call.
QString DeviceErrorText();
// text, and on a line of its own the reason when there is one.
QString WithReason(const QString& text, const QString& reason);

// Runs a window's handler so that no exception leaves it (an exception must not cross Qt's event loop):
// a failure it did not handle itself is said in a message box and the window carries on.
void RunGuarded(const std::function<void()>& handler);

// One device session for the length of a scope; ok() when the device answered in time.
class Session {
public:
    Session();
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    bool ok() const { return ok_; }

private:
    bool ok_ = false;
};

// Closes a device file or search handle at the end of a scope.
class DeviceHandle {
public:
    explicit DeviceHandle(ce::Handle h = ce::INVALID_HANDLE_VALUE, bool search = false) : h_(h), search_(search) {}
    ~DeviceHandle() { reset(); }
    DeviceHandle(const DeviceHandle&) = delete;
    DeviceHandle& operator=(const DeviceHandle&) = delete;
    ce::Handle get() const { return h_; }
    // Hands the handle over to be closed by the caller (whose close result counts).
    ce::Handle release() {
        const ce::Handle h = h_;
        h_ = ce::INVALID_HANDLE_VALUE;
        return h;
    }
    bool valid() const { return h_ != ce::INVALID_HANDLE_VALUE; }
    void reset(ce::Handle h = ce::INVALID_HANDLE_VALUE, bool search = false);

private:
    ce::Handle h_;
    bool search_;
};

} // namespace pdalib

namespace RAPIModule {

// True when the last four characters, upper-cased, are ".CSV".
bool IsCsvName(const QString& name);

QStringList ListDeviceCsvFiles(const QString& folderSpec);
bool CopyDeviceFileToPC(const QString& source, const QString& target, pda::CallStatus* status);
bool CopyPCFileToDevice(const QString& source, const QString& target, pda::CallStatus* status);
// Needs an open session.
ce::Handle CreateDeviceFileForWrite(const QString& name);
// Creates the folders of a device file's path that are missing (needs an open session).
void MakeDeviceFolders(const QString& name);
int32_t DeleteDeviceFile(const QString& name);
bool AppendDeviceFileToPC(const QString& fileName, pda::CallStatus* status);
bool AppendTextLine(const QString& path, const QByteArray& text);
bool SpawnDeviceProgram();

// Copies the rest of an open PC file to the device file target, in blocks, through a temporary file beside
// it. The temporary file is synced to the device's disk and closed, each step checked, before it takes the
// target's name, and the new name is synced too: Done means the device keeps the file if it is unplugged
// straight after. Any failure removes the temporary file and leaves an earlier copy of the target as it was;
// reason then gets why (the system's reason where it gave one). Needs an open session; progress gets the
// bytes written.
enum class UploadResult { Done, CannotCreate, WriteFailed };
UploadResult UploadToDevice(QFile& source, const QString& target, const std::function<void(qint64)>& progress = {},
                            QString* reason = nullptr);

} // namespace RAPIModule
