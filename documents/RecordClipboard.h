#pragma once
// The record clipboard shared by every logger list window of a run. The list window's editing commands that fill
// and read it are frmDMA's members, in frmDMAEditing.cpp.
#include "core/DMAModule.h"

#include <cstdint>
#include <vector>

// Records cut or copied last, at 1..ClipboardCount (element 0 stays empty). They outlive the window they
// came from, so they can be pasted into another one.
extern std::vector<LoggerRecord> RecordClipboard;
extern int16_t ClipboardCount;
