#include "core/Settings.h"

#include "core/DMAModule.h"
#include "core/ProgramWindows.h"
#include "core/Shared.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"

#include <cmath>

bool EnHistEdit = false;
bool IgnoreFileErrs = false;
QString DefaultPath;
int32_t FillIncrement = 1;
int16_t ComPort = 1;
bool UseModem = false;
QString NumberToDial = QStringLiteral("1234567890");
QString CataloguePath = QStringLiteral("C:\\");
bool ForceNewPath = false;
QString ForcePath = QStringLiteral("C:\\");
QString Address2 = QStringLiteral("0");
QString AmblewayPath = QStringLiteral("C:\\tessaly\\qdata");
int16_t DownLoadCount = 1;
bool WindowFollowMouse = false;

QString DescriptionText;
int32_t NewDocumentCounter = 0;
QString LastFindText;
QString DecimalSeparator = QStringLiteral(".");

namespace {
const QString kSection = QStringLiteral("Settings");

QString boolText(bool v) {
    return v ? QStringLiteral("True") : QStringLiteral("False");
}

// Settings that cannot be written (a read-only or full settings folder) are said once per run: every later
// key would fail the same way, and the shut-down writes a dozen of them.
bool g_saveFailureShown = false;
} // namespace

QString GetSettingText(const QString& key, const QString& def) {
    return plat::settings::get(plat::appTitle(), kSection, key, def);
}

bool GetSettingBool(const QString& key, bool def) {
    const QString v = GetSettingText(key, QString()).trimmed();
    if (v.compare(QStringLiteral("True"), Qt::CaseInsensitive) == 0)
        return true;
    if (v.compare(QStringLiteral("False"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double d = v.toDouble(&ok);
    return ok ? d != 0 : def;
}

long long GetSettingInt(const QString& key, long long def, long long min, long long max) {
    const QString v = GetSettingText(key, QString()).trimmed();
    bool ok = false;
    const double d = v.toDouble(&ok);
    if (!ok || !std::isfinite(d))
        return def;
    const long long r = std::llround(d);
    return (r < min || r > max) ? def : r;
}

void SaveSettingText(const QString& key, const QString& value) {
    QString reason;
    if (plat::settings::save(plat::appTitle(), kSection, key, value, &reason) || g_saveFailureShown)
        return;
    g_saveFailureShown = true;
    ShowMessage(LoadLangString(txt::FileNotWritten) + QStringLiteral(":\n") +
                    plat::settings::filePath(plat::appTitle()) + u'\n' + reason,
                0);
}
void ResetSettingsSaveReport() {
    g_saveFailureShown = false;
}
void SaveSettingBool(const QString& key, bool value) {
    SaveSettingText(key, boolText(value));
}
void SaveSettingInt(const QString& key, long long value) {
    SaveSettingText(key, QString::number(value));
}

void LoadSettings() {
    DescriptionText = LoadLangString(txt::AcousticLeakNoiseLoggerManagement);
    NewDocumentCounter = 0;

    EnHistEdit = GetSettingBool(QStringLiteral("EnHistEdit"), false);
    IgnoreFileErrs = GetSettingBool(QStringLiteral("IgnoreFileErrs"), false);
    DefaultPath = GetSettingText(QStringLiteral("DefaultPath"), QString());
    FillIncrement = static_cast<int32_t>(GetSettingInt(QStringLiteral("FillIncrement"), 1, INT32_MIN, INT32_MAX));
    ComPort = static_cast<int16_t>(GetSettingInt(QStringLiteral("ComPort"), 1, INT16_MIN, INT16_MAX));
    UseModem = GetSettingBool(QStringLiteral("UseModem"), false);
    NumberToDial = GetSettingText(QStringLiteral("NumberToDial"), QStringLiteral("1234567890"));
    CataloguePath = GetSettingText(QStringLiteral("CataloguePath"), QStringLiteral("C:\\"));
    ForceNewPath = GetSettingBool(QStringLiteral("ForceNewPath"), false);
    ForcePath = GetSettingText(QStringLiteral("ForcePath"), QStringLiteral("C:\\"));
    Address2 = GetSettingText(QStringLiteral("Address2"), QStringLiteral("0"));
    AmblewayPath = GetSettingText(QStringLiteral("AmblewayPath"), QStringLiteral("C:\\tessaly\\qdata"));
    DownLoadCount = static_cast<int16_t>(GetSettingInt(QStringLiteral("DownLoadCount"), 1, INT16_MIN, INT16_MAX));
    WindowFollowMouse = GetSettingBool(QStringLiteral("mnuWindowFollowMouse"), false);

    ProgramWindows& windows = programWindows();
    windows.setFollowMouseChecked(WindowFollowMouse);
    for (int i = 1; i <= 4; ++i)
        windows.setMruCaption(i, GetSettingText(QStringLiteral("MRU%1").arg(i), QString()));
    for (int i = 1; i <= 4; ++i)
        if (!windows.mruCaption(i).isEmpty())
            windows.setMruVisible(i, true);

    LoggerTable[kMaxLoggers].Serial = 99999999;
    LastFindText.clear();
    DecimalSeparator = GetDecimalSeparator();
}

void SaveSettings() {
    ProgramWindows& windows = programWindows();
    double l = 0, t = 0, w = 0, h = 0;
    if (windows.hasMainWindow() && !windows.isMinimized()) {
        windows.placementTwips(&l, &t, &w, &h);
        // Single-precision twips, as the window's own placement is kept.
        SaveSettingText(QStringLiteral("MainLeft"), QString::number(static_cast<float>(l)));
        SaveSettingText(QStringLiteral("MainTop"), QString::number(static_cast<float>(t)));
        SaveSettingText(QStringLiteral("MainWidth"), QString::number(static_cast<float>(w)));
        SaveSettingText(QStringLiteral("MainHeight"), QString::number(static_cast<float>(h)));
    }
    SaveSettingInt(QStringLiteral("FillIncrement"), FillIncrement);
    SaveSettingInt(QStringLiteral("ComPort"), ComPort);
    SaveSettingBool(QStringLiteral("UseModem"), UseModem);
    SaveSettingText(QStringLiteral("NumberToDial"), NumberToDial);
    SaveSettingInt(QStringLiteral("DownLoadCount"), DownLoadCount);
    SaveSettingText(QStringLiteral("CataloguePath"), CataloguePath);
    SaveSettingBool(QStringLiteral("EnHistEdit"), EnHistEdit);
    SaveSettingBool(QStringLiteral("IgnoreFileErrs"), IgnoreFileErrs);
    SaveSettingBool(QStringLiteral("mnuWindowFollowMouse"), WindowFollowMouse);
    if (windows.hasMainWindow())
        for (int i = 1; i <= 4; ++i)
            SaveSettingText(QStringLiteral("MRU%1").arg(i), windows.mruCaption(i));
}

void SaveDefaultPath(const QString& path) {
    // Paths of this system use "/", stored Windows ones "\": the last of either ends the folder.
    const qsizetype p = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    if (p < 0)
        return;
    DefaultPath = path.left(p + 1);
    SaveSettingText(QStringLiteral("DefaultPath"), DefaultPath);
}
