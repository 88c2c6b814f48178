#include "pdalink/RAPIModule.h"

#include "platform/AtomicFile.h"
#include "platform/Paths.h"
#include "platform/UiServices.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

#include <exception>

namespace pdalib {
namespace {
const pda::PdaHost* g_host = nullptr;
pda::PdaHost g_hostCopy;
} // namespace

QString MessageTitle;
QStringList DownloadedFileNames{QString()};
QString LastUploadFolder;

plat::UiServices& ui() {
    if (g_host && g_host->ui)
        return g_host->ui();
    return plat::ui();
}

void setHost(const pda::PdaHost* host) {
    if (host) {
        g_hostCopy = *host;
        g_host = &g_hostCopy;
    }
}

QString libraryFolder() {
    const QString env = qEnvironmentVariable("VORD_PROGRAM_DIR");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir(env).absolutePath());
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&libraryFolder), &info) && info.dli_fname)
        return QFileInfo(QFile::decodeName(info.dli_fname)).absolutePath();
    return QDir::currentPath();
}

QString downloadFolder() {
    return plat::resolveIn(libraryFolder(), QStringLiteral("rovemark\\from"));
}

QString NotConnectedText() {
    const QString root = ce::deviceRoot();
    if (root.isEmpty())
        return QString::fromLatin1(kNotConnected) +
               QStringLiteral("\r\nNo device folder is set: set VORD_CE_DEVICE, or Root in section [Device] of "
                              "the VordPDASupport settings, to the folder of the PDA.");
    return QString::fromLatin1(kNotConnected) + QStringLiteral("\r\nThe PDA was looked for in ") + root +
           QStringLiteral(", which must hold the file ") + QLatin1String(ce::kMarkerName) +
           QStringLiteral(" while the PDA is connected.");
}

namespace {
// A device error in words and its number.
QString deviceErrorWords(uint32_t code) {
    QString why;
    switch (code) {
    case ce::ERROR_DEVICE_NOT_CONNECTED:
        why = QStringLiteral("the PDA was disconnected");
        break;
    case ce::ERROR_READ_FAULT:
        why = QStringLiteral("the PDA did not give the whole file");
        break;
    case ce::ERROR_WRITE_FAULT:
        why = QStringLiteral("the PDA did not take the whole file");
        break;
    case ce::ERROR_ACCESS_DENIED:
        why = QStringLiteral("the PDA refused access to the file");
        break;
    case ce::ERROR_FILE_NOT_FOUND:
        why = QStringLiteral("the file is not on the PDA");
        break;
    case ce::ERROR_PATH_NOT_FOUND:
        why = QStringLiteral("the folder is not on the PDA");
        break;
    case ce::ERROR_ALREADY_EXISTS:
        why = QStringLiteral("another file of that name is on the PDA");
        break;
    default:
        why = QStringLiteral("the PDA reported an error");
        break;
    }
    return why + QStringLiteral(" (error ") + QString::number(code) + u')';
}
} // namespace

QString ReadErrorText(uint32_t code) {
    return QStringLiteral("A file could not be read from the PDA: ") + deviceErrorWords(code) + u'.';
}

QString DeviceErrorText() {
    const int system = ce::CeGetLastSystemError();
    return system != 0 ? plat::systemErrorText(system) : deviceErrorWords(ce::CeGetLastError());
}

QString WithReason(const QString& text, const QString& reason) {
    return reason.isEmpty() ? text : text + QStringLiteral("\r\n") + reason;
}

int ShowLibMessage(const QString& text, int style) {
    return ui().messageBox(text, style, MessageTitle);
}

void RunGuarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& e) {
        ShowLibMessage(QStringLiteral("The operation could not be completed: ") + QString::fromLocal8Bit(e.what()));
    } catch (...) {
        ShowLibMessage(QStringLiteral("The operation could not be completed."));
    }
}

Session::Session() {
    ok_ = ce::CeRapiInit() == ce::S_OK;
}

Session::~Session() {
    ce::CeRapiUninit();
}

void DeviceHandle::reset(ce::Handle h, bool search) {
    if (h_ != ce::INVALID_HANDLE_VALUE) {
        if (search_)
            ce::CeFindClose(h_);
        else
            ce::CeCloseHandle(h_);
    }
    h_ = h;
    search_ = search;
}

} // namespace pdalib

namespace RAPIModule {
using namespace pdalib;

namespace {
constexpr uint32_t kReadBlock = 20000;
constexpr qint64 kWriteBlock = 4096;

void raise(pda::CallStatus* status, int number, const QString& description) {
    if (status) {
        status->number = number;
        status->description = description;
    }
}

// A device failure the library said itself: the caller gets the reason (number stays 0) for its own message.
bool failedBecause(pda::CallStatus* status, const QString& reason) {
    if (status && status->ok())
        status->description = reason;
    return false;
}
// Opens a device file to read, in the caller's session, saying why when it cannot. When the search does not
// find the file, `missingEnds` ends the call there; otherwise the open is still tried.
bool openForRead(const QString& source, bool missingEnds, DeviceHandle& file) {
    {
        ce::FindData data;
        DeviceHandle find(ce::CeFindFirstFile(source, &data), true);
        if (!find.valid()) {
            ShowLibMessage(source + QStringLiteral(" not found."));
            if (missingEnds)
                return false;
        }
    }
    file.reset(ce::CeCreateFile(source, ce::GENERIC_READ, ce::OPEN_EXISTING));
    if (!file.valid()) {
        ShowLibMessage(QStringLiteral("Unable to open WinCE file"));
        return false;
    }
    return true;
}

// Reads an open device file to its end in blocks, handing each to `take`. False when a read fails (said
// here) or `take` refuses a block (said by `take`).
bool readBlocks(ce::Handle file, const std::function<bool(const QByteArray&)>& take) {
    QByteArray buffer(kReadBlock, '\0');
    for (;;) {
        uint32_t read = 0;
        if (!ce::CeReadFile(file, buffer.data(), kReadBlock, &read)) {
            ShowLibMessage(ReadErrorText(ce::CeGetLastError()));
            return false;
        }
        if (read == 0)
            return true;
        if (!take(buffer.left(read)))
            return false;
    }
}
} // namespace

bool IsCsvName(const QString& name) {
    return name.right(4).toUpper() == u".CSV";
}

QStringList ListDeviceCsvFiles(const QString& folderSpec) {
    QStringList out;
    Session session;
    if (!session.ok())
        return out;
    ce::FindData data;
    DeviceHandle find(ce::CeFindFirstFile(folderSpec + QStringLiteral("\\*"), &data), true);
    if (!find.valid() || data.name.isEmpty())
        return out;
    do {
        if (IsCsvName(data.name))
            out << data.name;
    } while (ce::CeFindNextFile(find.get(), &data));
    return out;
}

bool CopyDeviceFileToPC(const QString& source, const QString& target, pda::CallStatus* status) {
    Session session;
    if (!session.ok()) {
        const QString why = DeviceErrorText();
        ShowLibMessage(NotConnectedText());
        return failedBecause(status, why);
    }
    DeviceHandle file;
    if (!openForRead(source, true, file))
        return failedBecause(status, DeviceErrorText());
    uint32_t high = 0;
    const uint32_t low = ce::CeGetFileSize(file.get(), &high);
    const uint64_t expected = (static_cast<uint64_t>(high) << 32) | low;
    // The copy goes straight to a new file beside the target, block by block, whatever size the device
    // reports; the target is replaced only by a whole copy.
    // The error names the file and the system's reason (a full disk, a read-only folder).
    plat::AtomicFile out(plat::toLocalPath(target));
    auto pathError = [&] {
        raise(status, pda::kErrPathAccess,
              QStringLiteral("Path/File access error: ") + target + QStringLiteral(": ") + out.errorText());
        return false;
    };
    if (!out.open())
        return pathError();
    uint64_t gathered = 0;
    bool written = true;
    if (!readBlocks(file.get(), [&](const QByteArray& block) {
            gathered += static_cast<uint64_t>(block.size());
            written = written && out.write(block.constData(), block.size());
            return true;
        })) {
        const QString why = DeviceErrorText();
        out.cancel();
        return failedBecause(status, why);
    }
    // A device that went away during the read ends the file early; only a whole file counts.
    if (gathered != expected) {
        out.cancel();
        ShowLibMessage(ReadErrorText(ce::ERROR_READ_FAULT));
        return failedBecause(status, deviceErrorWords(ce::ERROR_READ_FAULT));
    }
    file.reset();
    if (!written || !out.commit())
        return pathError();
    return true;
}

namespace {
// Streams the rest of a PC file into an open device file in blocks; true when all of it went in and the
// device file then holds exactly that many bytes, else false with the reason.
bool streamToDevice(ce::Handle file, QFile& source, const std::function<void(qint64)>& progress, QString* why) {
    QByteArray block(kWriteBlock, '\0');
    qint64 total = 0;
    for (;;) {
        const qint64 n = source.read(block.data(), kWriteBlock);
        if (n < 0) {
            *why = source.errorString();
            return false;
        }
        if (n == 0)
            break;
        qint64 pos = 0;
        while (pos < n) {
            uint32_t written = 0;
            // The last block is checked like every other: a file is only copied when all of it reached the device.
            if (!ce::CeWriteFile(file, block.constData() + pos, static_cast<uint32_t>(n - pos), &written)) {
                *why = DeviceErrorText();
                return false;
            }
            if (written == 0) {
                *why = deviceErrorWords(ce::ERROR_WRITE_FAULT);
                return false;
            }
            pos += written;
            if (progress)
                progress(total + pos);
        }
        total += n;
    }
    uint32_t high = 0;
    const uint32_t low = ce::CeGetFileSize(file, &high);
    if (((static_cast<uint64_t>(high) << 32) | low) != static_cast<uint64_t>(total)) {
        *why = deviceErrorWords(ce::ERROR_WRITE_FAULT);
        return false;
    }
    return true;
}

// Puts the finished temporary file in the target's place, the new name synced to the device's disk. An
// earlier copy is first moved aside and only deleted once the new one has its name for good; if the new one
// cannot take it, or the device cannot confirm the name is on its disk, the new file goes and the earlier
// copy gets its name back.
bool replaceOnDevice(const QString& temp, const QString& target, QString* why) {
    const QString aside = target + QLatin1String(ce::kAsideSuffix);
    ce::CeDeleteFile(aside); // left by a run that was interrupted
    bool hadCopy = false;
    if (ce::CeMoveFile(target, aside))
        hadCopy = true;
    else if (ce::CeGetLastError() != ce::ERROR_FILE_NOT_FOUND) {
        *why = DeviceErrorText();
        return false;
    }
    if (!ce::CeMoveFileEx(temp, target, ce::MOVEFILE_WRITE_THROUGH)) {
        *why = DeviceErrorText();
        // Renamed, but the folder could not be synced: the copy is not done, so the file goes again.
        if (ce::CeGetLastError() == ce::ERROR_WRITE_FAULT)
            ce::CeDeleteFile(target);
        if (hadCopy)
            ce::CeMoveFile(aside, target);
        return false;
    }
    if (hadCopy)
        ce::CeDeleteFile(aside);
    return true;
}
} // namespace

UploadResult UploadToDevice(QFile& source, const QString& target, const std::function<void(qint64)>& progress,
                            QString* reason) {
    QString unused;
    QString& why = reason ? *reason : unused;
    why.clear();
    const QString temp = target + QLatin1String(ce::kUploadSuffix);
    DeviceHandle file(CreateDeviceFileForWrite(temp));
    if (!file.valid()) {
        why = DeviceErrorText();
        return UploadResult::CannotCreate;
    }
    // All of it is on the device's disk, and the device closed the file without a word of failure, before the
    // file gets its name: a card pulled or a phone unplugged right after a copy said done keeps the file.
    bool whole = streamToDevice(file.get(), source, progress, &why);
    if (whole && !ce::CeFlushFileBuffers(file.get())) {
        why = DeviceErrorText();
        whole = false;
    }
    if (whole && !ce::CeCloseHandle(file.release())) {
        why = DeviceErrorText();
        whole = false;
    }
    if (!whole || !replaceOnDevice(temp, target, &why)) {
        file.reset();
        ce::CeDeleteFile(temp);
        return UploadResult::WriteFailed;
    }
    return UploadResult::Done;
}

bool CopyPCFileToDevice(const QString& source, const QString& target, pda::CallStatus* status) {
    QFile in(plat::toLocalPath(source));
    if (!QFileInfo(in.fileName()).isFile() || !in.open(QIODevice::ReadOnly)) {
        raise(status, pda::kErrFileNotFound, QStringLiteral("File not found: ") + source);
        return false;
    }
    Session session;
    if (!session.ok()) {
        const QString why = DeviceErrorText();
        ShowLibMessage(NotConnectedText());
        return failedBecause(status, why);
    }
    MakeDeviceFolders(target);
    QString why;
    switch (UploadToDevice(in, target, {}, &why)) {
    case UploadResult::Done:
        return true;
    case UploadResult::CannotCreate:
        ShowLibMessage(WithReason(QStringLiteral("Unable to create target file.  File=") + target, why));
        return failedBecause(status, why);
    case UploadResult::WriteFailed:
        break;
    }
    ShowLibMessage(WithReason(QStringLiteral("Error writing to PDA file.  File=") + target, why));
    return failedBecause(status, why);
}

void MakeDeviceFolders(const QString& name) {
    // As the device's own software does: a folder the exchange writes into is made on first use, so a device
    // that holds nothing yet still takes its files. Folders that exist already are left as they are.
    QString folder = name;
    folder.replace(u'/', u'\\');
    const QStringList parts = folder.split(u'\\', Qt::SkipEmptyParts);
    QString path;
    for (qsizetype i = 0; i + 1 < parts.size(); ++i) {
        path += u'\\' + parts[i];
        ce::CeCreateDirectory(path);
    }
}

ce::Handle CreateDeviceFileForWrite(const QString& name) {
    return ce::CeCreateFile(name, ce::GENERIC_WRITE, ce::CREATE_ALWAYS);
}

int32_t DeleteDeviceFile(const QString& name) {
    Session session;
    if (!session.ok())
        return 0;
    return ce::CeDeleteFile(name) ? 1 : 0;
}

bool AppendTextLine(const QString& path, const QByteArray& text) {
    QFile f(plat::toLocalPath(path));
    // Unbuffered, so a full disk shows in the write's count here and not in a flush at close that nobody sees.
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    return f.write(text) == text.size() && f.write("\r\n", 2) == 2;
}

bool AppendDeviceFileToPC(const QString& fileName, pda::CallStatus* status) {
    const QString source = QStringLiteral("patroldata.csv");
    Session session;
    if (!session.ok()) {
        ShowLibMessage(NotConnectedText());
        return false;
    }
    // A missing file is said, and the open then says its own error.
    DeviceHandle file;
    if (!openForRead(source, false, file))
        return false;
    return readBlocks(file.get(), [&](const QByteArray& block) {
        if (AppendTextLine(fileName, block))
            return true;
        raise(status, pda::kErrPathAccess, QStringLiteral("Path/File access error: ") + fileName);
        return false;
    });
}

bool SpawnDeviceProgram() {
    return false;
}

} // namespace RAPIModule
