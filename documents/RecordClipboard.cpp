#include "documents/RecordClipboard.h"

std::vector<LoggerRecord> RecordClipboard(1);
int16_t ClipboardCount = 0;
