#pragma once
// The server's windows, one file per group. Controls keep the names of their roles so that tests can drive them.
#include "commserver/app/AboutDialogs.h"      // About, the start-up banner
#include "commserver/app/HistoryDialogs.h"    // History Log, History Event Types, Logged Event Detail
#include "commserver/app/LinkDialogs.h"       // Link Information, Activity
#include "commserver/app/SettingsDialogs.h"   // Settings, Advanced Link Settings
#include "commserver/app/StatisticsDialogs.h" // Port Diagnostics, RS232 Error Statistics
