#pragma once
#include <memory>

#include "commserver/HistoryLog.h"
#include "commserver/app/ServerEngine.h"

namespace quendar {
// The link engine the program runs, writing its events to history.
std::unique_ptr<ServerEngine> MakeServerEngine(comms::HistoryLog& history);
} // namespace quendar
