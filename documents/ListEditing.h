#pragma once
// The record clipboard shared by every logger list window of a run, and the check of coordinate texts that
// new loggers placed from the map go through. The editing operations themselves are frmDMA's members.
#include "core/DMAModule.h"

#include <QString>

#include <cstdint>
#include <vector>

// Records cut or copied last, at 1..ClipboardCount (element 0 stays empty). They outlive the window they
// came from, so they can be pasted into another one.
extern std::vector<LoggerRecord> RecordClipboard;
extern int16_t ClipboardCount;

// Asks until input is a latitude/longitude pair ("51.5/-0.12"; an empty answer gives "0.0/0.0") and writes
// it to output with the decimal mark turned: mode 1 to the user's separator, any other mode to ".".
int16_t ValidateLatLongText(QString& input, QString& output, int16_t& mode);
