#pragma once
// The main program's per-user settings (section "Settings" under the application title) and the
// program-wide values they live in while it runs.
#include <QString>

#include <cstdint>

extern bool EnHistEdit;
extern bool IgnoreFileErrs;
extern QString DefaultPath;
extern int32_t FillIncrement;
extern int16_t ComPort;
extern bool UseModem;
extern QString NumberToDial;
extern QString CataloguePath;
extern bool ForceNewPath;
extern QString ForcePath;
extern QString Address2;
extern QString AmblewayPath;
extern int16_t DownLoadCount;
extern bool WindowFollowMouse; // key "mnuWindowFollowMouse"

extern QString DescriptionText;
extern int32_t NewDocumentCounter;
extern QString LastFindText;
extern QString DecimalSeparator;

void LoadSettings();
void SaveSettings();
void SaveDefaultPath(const QString& path);

// Typed access to the section "Settings" of this program. Values that do not convert give the default.
QString GetSettingText(const QString& key, const QString& def);
bool GetSettingBool(const QString& key, bool def);
long long GetSettingInt(const QString& key, long long def, long long min, long long max);
void SaveSettingText(const QString& key, const QString& value);
void SaveSettingBool(const QString& key, bool value);
void SaveSettingInt(const QString& key, long long value);
// A failure to write the settings is said once per run (file and reason); this starts a new run's count.
void ResetSettingsSaveReport();
