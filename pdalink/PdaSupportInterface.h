#pragma once
// What callers see of the PDA link library libVordPDASupport.so. Callers include this header only; they never
// link the library. They create the object by its ProgID through the component registry (PdaSupportClient.h),
// which loads the library at run time and calls its exported factory.
#include <QString>
#include <QStringList>

#include <cstdint>

namespace plat {
class UiServices;
}

namespace pda {

inline constexpr const char* kProgId = "VordalinPDASupport.PDASupport";
inline constexpr const char* kLibraryFileName = "libVordPDASupport.so";
inline constexpr const char* kRegistrarFileName = "vordregsvr";

// Error numbers a call or a creation can end with (0: none).
inline constexpr int kErrFileNotFound = 53;  // a PC source file cannot be read
inline constexpr int kErrPathAccess = 75;    // a PC target file cannot be written
inline constexpr int kErrCannotCreate = 429; // the object cannot be created (not registered, library broken)

// How a call ended. A method that fails on the device shows its own message and returns False or an empty
// result with number 0; number is set only where a PC file cannot be read or written, the case the caller
// must tell apart from a device failure. A copy that returns False gives the reason in description either way
// (the system's where it gave one), for the caller's own message.
struct CallStatus {
    int number = 0;
    QString description;
    bool ok() const { return number == 0; }
};

// The nine methods, in their fixed order. Every call is one complete device session: nothing is held
// between calls. Methods that take an application title make it the title of the library's messages.
class IPDASupport {
public:
    virtual ~IPDASupport() = default;

    // Appends the device file "patroldata.csv" to the PC file fileName.
    virtual bool GetFileFromCeDevice_PDASup(const QString& fileName, CallStatus* status) = 0;
    virtual bool SpawnCeProg_PDASup() = 0;
    // True only when the device connection is really up within waitTimeMs; otherwise the library says
    // "Mobile Device not connected" and returns False.
    virtual bool HandHeldPresent(const QString& appTitle, int32_t waitTimeMs) = 0;
    // Shows the download window modally at left/top (twips). The full PC paths of the files copied, or one
    // empty string when nothing was copied.
    virtual QStringList BrowsePDA(const QString& appTitle, const QString& String619, const QString& String620,
                                  const QString& String621, const QString& String622, const QString& String623,
                                  const QString& String624, const QString& String625, const QString& String626,
                                  const QString& String627, const QString& String628, const QString& String630,
                                  const QString& String634, int16_t left, int16_t top, CallStatus* status) = 0;
    // Shows the upload window modally at left/top (twips).
    virtual void DMAUpload(const QString& appTitle, const QString& String626, const QString& String632,
                           const QString& String633, const QString& String634, int16_t left, int16_t top,
                           CallStatus* status) = 0;
    // Names (no folder) of the device folder's entries ending ".CSV" in any case, in the device's order; an
    // empty list when there are none.
    virtual QStringList GetPDAFileList(const QString& folderSpec) = 0;
    // True only when the PC file holds the whole device file.
    virtual bool CopyPDAFileToPC(const QString& sourceFilespec, const QString& targetFilespec, CallStatus* status) = 0;
    // True only when the device file holds the whole PC file.
    virtual bool CopyPCFileToPDA(const QString& sourceFilespec, const QString& targetFilespec, CallStatus* status) = 0;
    // The device's delete result: non-zero when the file was deleted.
    virtual int32_t DeletePDAFile(const QString& fullFilespec) = 0;
};

// What the calling program lends the library: its dialog services, asked for on every use so that the
// library's message boxes and modal windows go where the caller's own go.
struct PdaHost {
    int version = 1;
    plat::UiServices& (*ui)() = nullptr;
};

// Exported by the library (extern "C"):
//   pda::IPDASupport* VordCreateObject(const char* progId, const pda::PdaHost* host);  nullptr: unknown ProgID
//   int DllRegisterServer();    0 on success: writes the ProgID's entry naming this library
//   int DllUnregisterServer();  0 on success
using CreateObjectFn = IPDASupport* (*)(const char*, const PdaHost*);
using RegisterServerFn = int (*)();
inline constexpr const char* kCreateObjectSymbol = "VordCreateObject";
inline constexpr const char* kRegisterSymbol = "DllRegisterServer";
inline constexpr const char* kUnregisterSymbol = "DllUnregisterServer";

// Folders on the device that the library and its callers exchange files through.
inline constexpr const char* kDeviceExportFolder = "\\My Documents\\Rovemark Export";
inline constexpr const char* kDeviceImportFolder = "\\My Documents\\Rovemark Import";
inline constexpr const char* kDeviceAutoImportFolder = "\\My Documents\\Rovemark AutoImport";

} // namespace pda
