#pragma once
// Area database files (.pdb), CSV exports and field-unit transfer files: reader, writer, error texts and the
// duplicate-serial report. They work on LoggerTable / LoggerCount.
#include <QString>

#include <cstdint>
#include <string>

enum DatabaseCode : int32_t {
    DbOk = 0,
    DbNoSuchFile = 2,
    DbReadFailure = 3,
    DbWriteFailure = 4,
    DbNothingAfterTitles = 7,
};

int32_t ReadDatabaseFile(const QString& path);
int32_t WriteDatabaseFile(const QString& path, bool fieldUnitBanner, bool csvColumns);
bool DatabaseFileExists(const QString& path);
QString DatabaseErrorText(int32_t code, bool withLine);
// Next field of a line from a 1-based position, which moves past the field's comma. maxLength -1: no limit.
std::string SplitCsvField(const std::string& line, int16_t& position, int16_t maxLength);
QString BuildLoadReport();

// What tells whether a file on disk is still the one a list was read from or written to, without reading it:
// the file's device and inode, its size and its modification time.
struct FileStamp {
    bool exists = false;
    uint64_t device = 0;
    uint64_t inode = 0;
    int64_t size = 0;
    int64_t modifiedNs = 0;

    bool operator==(const FileStamp&) const = default;
    // The same file (not necessarily the same contents): device and inode agree.
    bool sameFile(const FileStamp& other) const {
        return exists && other.exists && device == other.device && inode == other.inode;
    }
};
// The stamp of the file a path names now (the path resolved as the reader resolves it); links are followed.
FileStamp FileStampOf(const QString& path);
// The stamp of the file the last successful ReadDatabaseFile read, taken when it opened the file.
FileStamp LastReadFileStamp();

// The operating system's reason for the last failed write ("No space left on device"), for messages that need
// more than the code.
QString LastWriteErrorText();
// The message for a failed write of path: the code's text, ":", then the file and the system's reason on lines
// of their own.
QString DatabaseWriteFailureText(int32_t code, const QString& path);
