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

QString ReadErrorText(uint32_t code) {
    QString why;
    switch (code) {
    case ce::ERROR_DEVICE_NOT_CONNECTED:
        why = QStringLiteral("the PDA was disconnected");
        break;
    case ce::ERROR_READ_FAULT:
        why = QStringLiteral("the PDA did not give the whole file");
        break;
    case ce::ERROR_ACCESS_DENIED:
        why = QStringLiteral("the PDA refused access to the file");
        break;
    default:
        why = QStringLiteral("the PDA reported an error");
        break;
    }
    return QStringLiteral("A file could not be read from the PDA: ") + why + QStringLiteral(" (error ") +
           QString::number(code) + QStringLiteral(").");
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
        ShowLibMessage(NotConnectedText());
        return false;
    }
    DeviceHandle file;
    if (!openForRead(source, true, file))
        return false;
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
        out.cancel();
        return false;
    }
    // A device that went away during the read ends the file early; only a whole file counts.
    if (gathered != expected) {
        out.cancel();
        ShowLibMessage(ReadErrorText(ce::ERROR_READ_FAULT));
        return false;
    }
    file.reset();
    if (!written || !out.commit())
        return pathError();
    return true;
}

namespace {
// Streams the rest of a PC file into an open device file in blocks; true when all of it went in and the
// device file then holds exactly that many bytes.
bool streamToDevice(ce::Handle file, QFile& source, const std::function<void(qint64)>& progress) {
    QByteArray block(kWriteBlock, '\0');
    qint64 total = 0;
    for (;;) {
        const qint64 n = source.read(block.data(), kWriteBlock);
        if (n < 0)
            return false;
        if (n == 0)
            break;
        qint64 pos = 0;
        while (pos < n) {
            uint32_t written = 0;
            // The last block is checked like every other: a file is only copied when all of it reached the device.
            if (!ce::CeWriteFile(file, block.constData() + pos, static_cast<uint32_t>(n - pos), &written) ||
                written == 0)
                return false;
            pos += written;
            if (progress)
                progress(total + pos);
        }
        total += n;
    }
    uint32_t high = 0;
    const uint32_t low = ce::CeGetFileSize(file, &high);
    return ((static_cast<uint64_t>(high) << 32) | low) == static_cast<uint64_t>(total);
}

// Puts the finished temporary file in the target's place. An earlier copy is first moved aside and only
// deleted once the new one has its name; if the new one cannot take it, the earlier copy gets it back.
bool replaceOnDevice(const QString& temp, const QString& target) {
    const QString aside = target + QLatin1String(ce::kAsideSuffix);
    ce::CeDeleteFile(aside); // left by a run that was interrupted
    bool hadCopy = false;
    if (ce::CeMoveFile(target, aside))
        hadCopy = true;
    else if (ce::CeGetLastError() != ce::ERROR_FILE_NOT_FOUND)
        return false;
    if (!ce::CeMoveFile(temp, target)) {
        if (hadCopy)
            ce::CeMoveFile(aside, target);
        return false;
    }
    if (hadCopy)
        ce::CeDeleteFile(aside);
    return true;
}
} // namespace

UploadResult UploadToDevice(QFile& source, const QString& target, const std::function<void(qint64)>& progress) {
    const QString temp = target + QLatin1String(ce::kUploadSuffix);
    {
        DeviceHandle file(CreateDeviceFileForWrite(temp));
        if (!file.valid())
            return UploadResult::CannotCreate;
        if (!streamToDevice(file.get(), source, progress)) {
            file.reset();
            ce::CeDeleteFile(temp);
            return UploadResult::WriteFailed;
        }
    }
    if (!replaceOnDevice(temp, target)) {
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
        ShowLibMessage(NotConnectedText());
        return false;
    }
    MakeDeviceFolders(target);
    switch (UploadToDevice(in, target)) {
    case UploadResult::Done:
        return true;
    case UploadResult::CannotCreate:
        ShowLibMessage(QStringLiteral("Unable to create target file.  File=") + target);
        return false;
    case UploadResult::WriteFailed:
        break;
    }
    ShowLibMessage(QStringLiteral("Error writing to PDA file.  File=") + target);
    return false;
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
