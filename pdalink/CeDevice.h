#pragma once
// The hand-held as the PDA link library reaches it: a folder stands for the device. The calls keep the shape
// of the device's remote file API (sessions, find handles, file handles, a last-error code) so the library's
// routines read as they do against a real device.
//
// The device root is $VORD_CE_DEVICE, else the setting Root in section Device of the per-user settings of
// "VordPDASupport". The device is connected while the root holds the marker file ".cedevice". That file may
// also hold fault settings (one "Key=Value" per line) that a test or a trial run can use:
//   ConnectDelayMs=n      the connection comes up n ms after a session starts
//   ConnectFails=1        the connection attempt ends with a failure code
//   FailOpen=pattern      opening a matching file for reading fails
//   FailCreate=pattern    creating a matching file for writing fails
//   FailRead=pattern      reads of a matching file fail (from read FailReadAt, default 1)
//   FailWrite=pattern     writes to a matching file fail (from write FailWriteAt, default 1)
//   ShortWrite=pattern    write ShortWriteAt (default 1) to a matching file takes only half the bytes
//   LoseAfterCalls=n      the device goes away (the marker is removed) after n reads and writes
// Patterns match file names without regard to case ('*' and '?'). A file the library is uploading is written
// under a temporary name (the file's name and kUploadSuffix) and renamed when whole; patterns match it by the
// name it is going to get.
//
// The device's files are opened, written, synced, closed and renamed through plat::FileCalls, the calls every
// writer of the program uses, so a test can make any one of those steps fail as a disk or a card would.
//
// Every session start waits for the device at most SessionWaitMs ($VORD_CE_SESSION_WAIT_MS, default 3000),
// so a device that goes away never blocks its caller for long.
#include <QString>

#include <cstdint>
#include <vector>

namespace ce {

using Handle = intptr_t;
inline constexpr Handle INVALID_HANDLE_VALUE = -1;

inline constexpr uint32_t FILE_ATTRIBUTE_DIRECTORY = 0x10;
inline constexpr uint32_t FILE_ATTRIBUTE_NORMAL = 0x80;
inline constexpr uint32_t GENERIC_READ = 0x80000000u;
inline constexpr uint32_t GENERIC_WRITE = 0x40000000u;
inline constexpr uint32_t CREATE_ALWAYS = 2;
inline constexpr uint32_t OPEN_EXISTING = 3;
inline constexpr uint32_t MOVEFILE_WRITE_THROUGH = 0x8;
inline constexpr uint32_t WAIT_OBJECT_0 = 0;
inline constexpr uint32_t WAIT_TIMEOUT = 258;

inline constexpr uint32_t ERROR_FILE_NOT_FOUND = 2;
inline constexpr uint32_t ERROR_PATH_NOT_FOUND = 3;
inline constexpr uint32_t ERROR_ACCESS_DENIED = 5;
inline constexpr uint32_t ERROR_INVALID_HANDLE = 6;
inline constexpr uint32_t ERROR_NO_MORE_FILES = 18;
inline constexpr uint32_t ERROR_WRITE_FAULT = 29;
inline constexpr uint32_t ERROR_READ_FAULT = 30;
inline constexpr uint32_t ERROR_ALREADY_EXISTS = 183;
inline constexpr uint32_t ERROR_DEVICE_NOT_CONNECTED = 1167;

inline constexpr int32_t S_OK = 0;
inline constexpr int32_t E_FAIL = static_cast<int32_t>(0x80004005u);

struct FindData {
    uint32_t attributes = 0;
    uint64_t size = 0;
    QString name; // at most 259 UTF-16 units; never holds '\', '/' or NUL
};

// A connection attempt started by CeRapiInitEx; its outcome comes with the wait.
struct RapiInit {
    Handle event = INVALID_HANDLE_VALUE;
    int32_t hr = E_FAIL;
};

// Names the library gives a file being uploaded, and an earlier copy while the new one takes its place.
inline constexpr const char* kUploadSuffix = ".~up";
inline constexpr const char* kAsideSuffix = ".~old";

QString deviceRoot();
inline constexpr const char* kMarkerName = ".cedevice";

// Starts a session: waits (bounded) for the device. S_OK, or E_FAIL when no device came.
int32_t CeRapiInit();
// Starts a connection attempt without waiting for it.
int32_t CeRapiInitEx(RapiInit* init);
// Waits up to ms for the attempt: WAIT_OBJECT_0 once it ended (init->hr then tells how), else WAIT_TIMEOUT.
uint32_t CeWaitForInit(RapiInit* init, uint32_t ms);
int32_t CeRapiUninit();

// pattern: a device path whose last component may hold '*' and '?'. Lists files and folders.
Handle CeFindFirstFile(const QString& pattern, FindData* data);
bool CeFindNextFile(Handle find, FindData* data);
bool CeFindClose(Handle find); // tolerates INVALID_HANDLE_VALUE

Handle CeCreateFile(const QString& name, uint32_t access, uint32_t disposition);
bool CeReadFile(Handle file, char* buffer, uint32_t toRead, uint32_t* read);
bool CeWriteFile(Handle file, const char* buffer, uint32_t toWrite, uint32_t* written);
uint32_t CeGetFileSize(Handle file, uint32_t* high);
// Puts what was written to a file on the device's disk. A device whose file system cannot sync (it refuses
// with EINVAL) keeps nothing back, so that is no failure.
bool CeFlushFileBuffers(Handle file);
// Ends a handle. Closing a file opened for writing can fail (a card or a network file system reports a failed
// write only then): false with the error then, though the handle is gone all the same.
bool CeCloseHandle(Handle handle);
uint32_t CeGetLastError();
// The system's errno behind the last error, or 0 when the call failed for a reason of the device's own (no
// device, a name it cannot hold, a fault setting).
int CeGetLastSystemError();
// Makes a folder, its entry synced to the device's disk (when only that sync fails the folder is there and the
// error is ERROR_WRITE_FAULT).
bool CeCreateDirectory(const QString& path);
bool CeDeleteFile(const QString& path);
// Renames a file; fails (ERROR_ALREADY_EXISTS) when newName is taken.
bool CeMoveFile(const QString& existingName, const QString& newName);
// CeMoveFile; with MOVEFILE_WRITE_THROUGH it returns only once the new name is on the device's disk (the
// folder is synced). When only that sync fails the file has its new name and the error is ERROR_WRITE_FAULT.
bool CeMoveFileEx(const QString& existingName, const QString& newName, uint32_t flags);

// What the library did to the device in this process, so tests can check that every call ends its session
// and closes its handles.
struct Counters {
    int sessionsOpen = 0;
    int handlesOpen = 0;
    long long sessionsStarted = 0;
    long long handlesOpened = 0;
    std::vector<uint32_t> readSizes;  // toRead of every CeReadFile
    std::vector<uint32_t> writeSizes; // toWrite of every CeWriteFile
};
Counters counters();
void resetCounters();

} // namespace ce
