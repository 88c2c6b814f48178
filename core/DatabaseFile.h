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

// The operating system's reason for the last failed write ("No space left on device"), for messages that need
// more than the code.
QString LastWriteErrorText();
// The message for a failed write of path: the code's text, ":", then the file and the system's reason on lines
// of their own.
QString DatabaseWriteFailureText(int32_t code, const QString& path);
