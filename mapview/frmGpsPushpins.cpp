// The map window's pushpins: building them from the list rows, their symbols, names, notes and balloons,
// the "leak mode only" filter, the display options and the refresh after a record edit.
#include "core/DMAModule.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/LatLongText.h"
#include "documents/frmDMA.h"
#include "lang/LangText.h"
#include "mapview/frmGps.h"
#include "mapview/frmGpsCommon.h"
#include "platform/AppInfo.h"
#include "platform/SettingsStore.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"

#include <QCheckBox>
#include <QRadioButton>
#include <QTimer>

#include <cmath>

namespace mapview {

namespace {
using gpscommon::ignoring;
using gpscommon::isGap;
const QString kOptions = QStringLiteral("MapPointOptions");
QString option(const QString& key, const QString& def) {
    return plat::settings::get(plat::appTitle(), kOptions, key, def);
}

void saveOption(const QString& key, const QString& value) {
    plat::settings::save(plat::appTitle(), kOptions, key, value);
}

// A list row's pushpin: its position (from the lat/long column) and its level drop (level less spread, whole
// decibels). False when the row has no position that reads.
bool rowPushpin(frmDMA* doc, int row, double* latitude, double* longitude, double* drop) {
    const QString sep = DecimalSeparator.isEmpty() ? QStringLiteral(".") : DecimalSeparator;
    QString text = doc->rowText(row, 5);
    QString converted;
    ValidateLatLongText(text, converted, 1, LatLongGivenUp::NoResult);
    if (!converted.contains(u'/') || !ParseLatLong(converted, sep, latitude, longitude))
        return false;
    *drop = std::trunc(plat::vb::Val(doc->rowText(row, 8)) - plat::vb::Val(doc->rowText(row, 9)));
    return true;
}

// Keeps EventsEnabled off for the length of a bulk change and puts back what it was.
class EventsOff {
public:
    explicit EventsOff(bool& flag) : flag_(flag), before_(flag) { flag_ = false; }
    ~EventsOff() { flag_ = before_; }

private:
    bool& flag_;
    bool before_;
};
} // namespace

int frmGps::PushpinSymbol(int noLeak) const {
    const int symbol = PushpinSymbolFor(MapVersion, MapRegion, noLeak);
    if (symbol == 0)
        throw MapError(1, LoadLangString(SymbolErrorText(MapVersion)));
    return symbol;
}

QString frmGps::DigitsOnly(const QString& text) {
    QString digits;
    for (QChar c : text)
        if (c >= u'0' && c <= u'9')
            digits += c;
    while (digits.size() > 1 && digits.front() == u'0')
        digits.remove(0, 1);
    return digits.isEmpty() ? QStringLiteral("0") : digits;
}

const LoggerRecord* frmGps::recordOfSerial(const QString& serialText, int16_t* index) const {
    frmDMA* doc = document();
    if (!doc)
        return nullptr;
    const int16_t at = doc->GetRecFromSerial(static_cast<int32_t>(std::trunc(plat::vb::Val(serialText.left(8)))));
    if (index)
        *index = at;
    return at > 0 ? &doc->localRecord(at) : nullptr;
}

QString frmGps::levelAndSpread(const LoggerRecord& r) const {
    return QStringLiteral("L") + QString::number(r.Level[1]) + QStringLiteral(",S") + QString::number(r.Spread[1]);
}

void frmGps::LoadLoggerPushpins(bool leakOnly) {
    ShowWaitStatus(LoadLangString(txt::WaitBuilding));
    frmDMA* doc = document();
    if (doc) {
        const int16_t old = SerialCount;
        SerialCount = static_cast<int16_t>(std::min(doc->rowCount(), kMaxLoggers));
        if (old != SerialCount && old >= 0 && old <= kMaxLoggers)
            SerialList[static_cast<size_t>(old)].clear();
        for (int i = 1; i <= SerialCount; ++i) {
            ignoring([&] {
                double latitude = 0, longitude = 0, d = 0;
                if (!rowPushpin(doc, i, &latitude, &longitude, &d))
                    return;
                if (!leakOnly || d > 15)
                    AddLoggerPushpin(latitude, longitude, doc->rowText(i, 0), i, d);
            });
        }
    }
    ignoring([&] { ApplyDetailOptions(); });
    if (chkShowDetails->isChecked() || chkLeakDetails->isChecked())
        ignoring([&] { OpenDetailBalloons(); });
    if (Loading)
        ignoring([&] { GroupPushpinsAndZoom(); });
    HideWaitStatus();
}

void frmGps::AddLoggerPushpin(double latitude, double longitude, QString serial, int position,
                              double levelMinusSpread) {
    MapModel& map = m_MapPointControl->ActiveMap();
    const Location at = map.GetLocation(latitude, longitude, 0);
    serial = plat::vb::formatSerialQ(static_cast<int32_t>(std::trunc(plat::vb::Val(serial))));
    QString locNum, label;
    if (const LoggerRecord* r = recordOfSerial(serial)) {
        locNum = plat::fromAnsi(r->GridRef);
        label = levelAndSpread(*r);
    }
    const PushpinRef pin = map.AddPushpin(at, optDisplayLSSerialNo->isChecked() ? serial : DigitsOnly(locNum));
    registry_.Add(pin, serial, locNum, label);
    pin->setSymbol(levelMinusSpread < 16 ? PushpinSymbol(1) : PushpinSymbol(0));
    ApplyPushpinName(serial);
    if (position >= 0 && position <= kMaxLoggers)
        SerialList[static_cast<size_t>(position)] = serial;
}

void frmGps::ApplyPushpinName(const QString& serial) {
    PushpinRef pin;
    QString locNum, label;
    if (!registry_.GetDetailsBySerialNo(pin, serial, locNum, label) || !pin)
        return;
    if (optDisplayLS->isChecked())
        pin->setName(label);
    else if (optDisplayLSSerialNo->isChecked())
        pin->setName(serial + u' ' + label);
    else
        pin->setName(DigitsOnly(locNum) + u' ' + label);
}

void frmGps::ApplyNameMode() {
    EventsOff off(EventsEnabled);
    for (int i = 1; i <= SerialCount; ++i)
        if (!isGap(SerialList[static_cast<size_t>(i)]))
            ignoring([&] { ApplyPushpinName(SerialList[static_cast<size_t>(i)]); });
}

QString frmGps::BuildPushpinNote(const QString& serial) {
    PushpinRef pin;
    QString locNum, label;
    registry_.GetDetailsBySerialNo(pin, serial, locNum, label);
    const LoggerRecord* r = recordOfSerial(serial);
    QString note;
    auto add = [&](QCheckBox* box, const QString& value) {
        if (box->isChecked())
            note += value + QStringLiteral("\r\n");
    };
    if (r) {
        add(chkDisplaySerialNo, serial);
        add(chkDisplayLocNum, plat::fromAnsi(r->GridRef));
        add(chkDisplayAddress1, plat::fromAnsi(r->Comment1));
        add(chkDisplayAddress2, plat::fromAnsi(r->Comment2));
        add(chkAdditionalInfo, plat::fromAnsi(r->UserComments));
    }
    if (note.endsWith(QStringLiteral("\r\n")))
        note.chop(2);
    if (pin)
        SetPushpinNote(pin, note);
    return note;
}

void frmGps::SetPushpinNote(const PushpinRef& pin, const QString& text) {
    pin->setNote(text);
}

void frmGps::ApplyDetailOptions() {
    EventsOff off(EventsEnabled);
    const bool any = chkDisplaySerialNo->isChecked() || chkDisplayLocNum->isChecked() ||
                     chkDisplayAddress1->isChecked() || chkDisplayAddress2->isChecked() ||
                     chkAdditionalInfo->isChecked();
    if (any) {
        for (int i = 1; i <= SerialCount; ++i)
            if (!isGap(SerialList[static_cast<size_t>(i)]))
                ignoring([&] { BuildPushpinNote(SerialList[static_cast<size_t>(i)]); });
    }
    for (int16_t p = 0; p < registry_.RecordCount(); ++p) {
        PushpinRef pin;
        QString serial;
        registry_.GetPushpinDetailsByIndex(p, pin, serial);
        if (!pin)
            continue;
        if (!any)
            pin->setNote(QString());
        if (pin->BalloonState() == 1 && any)
            pin->setBalloonState(2);
        else if (pin->BalloonState() == 2 && !any)
            pin->setBalloonState(1);
    }
}

void frmGps::ApplyBalloonState(const QString& serial) {
    PushpinRef pin;
    QString locNum, label;
    if (!registry_.GetDetailsBySerialNo(pin, serial, locNum, label) || !pin)
        return;
    const bool any = chkDisplaySerialNo->isChecked() || chkDisplayLocNum->isChecked() ||
                     chkDisplayAddress1->isChecked() || chkDisplayAddress2->isChecked() ||
                     chkAdditionalInfo->isChecked();
    const int state = any ? 2 : 1;
    if (chkLeakDetails->isChecked() && pin->Symbol() == PushpinSymbol(0))
        pin->setBalloonState(state);
    if (chkShowDetails->isChecked())
        pin->setBalloonState(state);
}

void frmGps::OpenDetailBalloons() {
    for (int i = 1; i <= SerialCount; ++i) {
        const QString& entry = SerialList[static_cast<size_t>(i)];
        if (!isGap(entry) && entry.size() >= 2)
            ignoring([&] { ApplyBalloonState(entry); });
    }
}

void frmGps::CloseAllBalloons() {
    for (int i = 0; i <= SerialCount; ++i) {
        const QString& entry = SerialList[static_cast<size_t>(i)];
        if (isGap(entry) || entry.size() < 2)
            continue;
        PushpinRef pin;
        QString locNum, label;
        if (registry_.GetDetailsBySerialNo(pin, entry, locNum, label) && pin)
            pin->setBalloonState(0);
    }
}

void frmGps::chkShowDetails_Click() {
    EventsOff off(EventsEnabled);
    if (chkShowDetails->isChecked()) {
        chkLeakDetails->setChecked(false);
        ignoring([&] { OpenDetailBalloons(); });
    } else {
        CloseAllBalloons();
    }
}

void frmGps::chkLeakDetails_Click() {
    EventsOff off(EventsEnabled);
    if (chkLeakDetails->isChecked()) {
        if (chkShowDetails->isChecked()) {
            // Leak details alone: the balloons of the loggers that are not in leak close first.
            chkShowDetails->setChecked(false);
            CloseAllBalloons();
        }
        ignoring([&] { OpenDetailBalloons(); });
    } else {
        CloseAllBalloons();
    }
}

void frmGps::reapplyBalloons() {
    // A press on the map puts the balloons back to what the display boxes ask for.
    EventsOff off(EventsEnabled);
    if (chkShowDetails->isChecked() || chkLeakDetails->isChecked())
        ignoring([&] { OpenDetailBalloons(); });
    else
        CloseAllBalloons();
}

void frmGps::chkLeakOnly_Click() {
    EventsOff off(EventsEnabled);
    SelectedSerial.clear();
    SyncSuppressed = true;
    if (chkLeakOnly->isChecked()) {
        ignoring([&] { RemoveNoLeakPushpins(); });
        if (rdoAddLogger->isChecked())
            rdoSelect->setChecked(true);
        rdoAddLogger->setEnabled(false);
    } else {
        ignoring([&] { RestoreNoLeakPushpins(); });
        rdoAddLogger->setEnabled(true);
    }
    if (chkShowDetails->isChecked())
        ignoring([&] { OpenDetailBalloons(); });
    // The write-back resumes two ticks later, as after any change of the map.
    ClearTickCount = 0;
    clearTimer->start();
}

void frmGps::RemoveNoLeakPushpins() {
    const int quiet = PushpinSymbol(1);
    for (int p = registry_.RecordCount() - 1; p >= 0; --p) {
        PushpinRef pin;
        QString serial;
        registry_.GetPushpinDetailsByIndex(static_cast<int16_t>(p), pin, serial);
        if (pin && pin->Symbol() == quiet) {
            registry_.Remove(serial);
            pin->Delete();
            ForgetSerial(serial);
        }
    }
}

void frmGps::RestoreNoLeakPushpins() {
    ShowWaitStatus(LoadLangString(txt::WaitRestoring));
    frmDMA* doc = document();
    if (doc) {
        const int rows = std::min<int>(SerialCount, doc->rowCount());
        for (int i = 1; i <= rows; ++i) {
            ignoring([&] {
                double latitude = 0, longitude = 0, d = 0;
                if (!rowPushpin(doc, i, &latitude, &longitude, &d))
                    return;
                if (d < 16)
                    AddLoggerPushpin(latitude, longitude, doc->rowText(i, 0), i, d);
            });
        }
        for (int i = 1; i <= SerialCount; ++i)
            if (!isGap(SerialList[static_cast<size_t>(i)]))
                ignoring([&] { BuildPushpinNote(SerialList[static_cast<size_t>(i)]); });
    }
    HideWaitStatus();
}

bool frmGps::ForgetSerial(const QString& serial) {
    for (int i = 0; i <= kMaxLoggers; ++i)
        if (SerialList[static_cast<size_t>(i)] == serial) {
            SerialList[static_cast<size_t>(i)].clear();
            return true;
        }
    return false;
}

void frmGps::ClearAllPushpins() {
    for (int i = 1; i <= SerialCount; ++i) {
        const QString entry = SerialList[static_cast<size_t>(i)];
        if (isGap(entry))
            continue;
        ignoring([&] {
            PushpinRef pin;
            QString locNum, label;
            if (registry_.GetDetailsBySerialNo(pin, entry, locNum, label) && pin)
                pin->Delete();
        });
    }
    // Every pushpin this window placed is listed, so the registry ends empty; emptying it at once spares a
    // removal per pushpin.
    registry_.Reset();
    if (!m_MapPointControl)
        return;
    MapModel& map = m_MapPointControl->ActiveMap();
    // A data set that will not go would otherwise keep this loop turning for ever.
    while (map.DataSetCount() > 0) {
        const int before = map.DataSetCount();
        if (DataSetRef set = map.DataSetItem(before))
            set->Delete();
        if (map.DataSetCount() >= before)
            break;
    }
}

void frmGps::GroupPushpinsAndZoom() {
    MapModel& map = m_MapPointControl->ActiveMap();
    const DataSetRef set = map.AddPushpinSet(QStringLiteral("NewDataSet"));
    int moved = 0;
    PushpinRef last;
    for (int i = 1; i <= SerialCount; ++i) {
        const QString& entry = SerialList[static_cast<size_t>(i)];
        if (isGap(entry))
            continue;
        PushpinRef pin;
        QString locNum, label;
        if (registry_.GetDetailsBySerialNo(pin, entry, locNum, label) && pin && !pin->deleted()) {
            pin->MoveTo(*set);
            ++moved;
            last = pin;
        }
    }
    for (int n = map.DataSetCount(); n >= 1; --n) {
        const DataSetRef item = map.DataSetItem(n);
        if (item && item->Name() != QLatin1String("NewDataSet"))
            item->Delete();
    }
    if (moved > 0) {
        set->ZoomTo();
        last->Select();
    }
}

void frmGps::frmGPS_refreshLoggers() {
    frmDMA* doc = document();
    if (!doc || !m_MapPointControl)
        return;
    ignoring([&] { doc->ReLoad(); });
    EventsOff off(EventsEnabled);
    for (int i = 1; i <= SerialCount; ++i) {
        QString& entry = SerialList[static_cast<size_t>(i)];
        if (isGap(entry))
            continue;
        ignoring([&] {
            const QString s = plat::vb::formatSerialQ(static_cast<int32_t>(std::trunc(plat::vb::Val(entry.left(8)))));
            const LoggerRecord* r = recordOfSerial(s);
            if (!r)
                return;
            const int d = r->Level[1] - r->Spread[1];
            registry_.UpdateLocNumForSerial(s, plat::fromAnsi(r->GridRef));
            // The label follows the edited first reading too, or the name would show the old level.
            registry_.UpdateLevelAndSpreadForSerial(s, levelAndSpread(*r));
            PushpinRef pin;
            QString locNum, label;
            if (registry_.GetDetailsBySerialNo(pin, s, locNum, label) && pin)
                pin->setSymbol(d < 16 ? PushpinSymbol(1) : PushpinSymbol(0));
            ApplyPushpinName(s);
            BuildPushpinNote(s);
            entry = s;
        });
    }
}

void frmGps::frmGPS_UpdateSerial(QString& oldSerial, QString& newSerial) {
    EventsOff off(EventsEnabled);
    ignoring([&] {
        for (int i = 0; i <= kMaxLoggers; ++i)
            if (SerialList[static_cast<size_t>(i)] == oldSerial)
                SerialList[static_cast<size_t>(i)] = newSerial;
        if (m_MapPointControl)
            if (const PushpinRef named = m_MapPointControl->ActiveMap().FindPushpin(oldSerial))
                named->setName(newSerial);
        registry_.UpdateSerialNumber(oldSerial, newSerial);
        // Names carry the serial with the label; they follow the new serial at once.
        ApplyPushpinName(newSerial);
        BuildPushpinNote(newSerial);
    });
    SelectedSerial = newSerial;
}

// --- options ---------------------------------------------------------------------------------------------

void frmGps::setBox(QCheckBox* box, bool ticked) {
    if (box->isChecked() == ticked)
        return;
    box->setChecked(ticked);
    if (box == chkShowDetails)
        chkShowDetails_Click();
    else if (box == chkLeakDetails)
        chkLeakDetails_Click();
    else if (box == chkLeakOnly)
        chkLeakOnly_Click();
    else
        ApplyDetailOptions();
}

void frmGps::LoadMapOptions() {
    const QString notSet = QStringLiteral("Not Set");
    QString all = option(QStringLiteral("OptShowAllDetails"), notSet);
    QString leak = option(QStringLiteral("OptShowLeakDetails"), notSet);
    QString only = option(QStringLiteral("OptShowLeakOnly"), notSet);
    if (all == notSet || leak == notSet || only == notSet)
        all = leak = only = QStringLiteral("0");
    setBox(chkShowDetails, plat::vb::Val(all) != 0);
    setBox(chkLeakDetails, plat::vb::Val(leak) != 0);
    setBox(chkLeakOnly, plat::vb::Val(only) != 0);

    const QString mode = option(QStringLiteral("MapPointPushPinNames"), QStringLiteral("L+S&SerialNo"));
    QRadioButton* chosen = mode == QLatin1String("L+S")            ? optDisplayLS
                           : mode == QLatin1String("L+S&SerialNo") ? optDisplayLSSerialNo
                           : mode == QLatin1String("L+S&LocNum")   ? optDisplayLSLocNum
                                                                   : nullptr;
    const bool changed = chosen ? !chosen->isChecked() : true;
    for (QRadioButton* b : {optDisplayLS, optDisplayLSLocNum, optDisplayLSSerialNo}) {
        b->setAutoExclusive(false);
        b->setChecked(b == chosen);
        b->setAutoExclusive(true);
    }
    if (changed)
        ApplyNameMode();

    setBox(chkDisplaySerialNo, plat::vb::Val(option(QStringLiteral("OptSerialNo"), QStringLiteral("0"))) != 0);
    setBox(chkDisplayLocNum, plat::vb::Val(option(QStringLiteral("OptSerialLocNum"), QStringLiteral("0"))) != 0);
    setBox(chkDisplayAddress1, plat::vb::Val(option(QStringLiteral("OptSerialAddress1"), QStringLiteral("0"))) != 0);
    setBox(chkDisplayAddress2, plat::vb::Val(option(QStringLiteral("OptSerialAddress2"), QStringLiteral("0"))) != 0);
    setBox(chkAdditionalInfo,
           plat::vb::Val(option(QStringLiteral("OptSerialAdditionalInfo"), QStringLiteral("0"))) != 0);
}

void frmGps::SaveMapOptions() {
    auto value = [](QCheckBox* b) { return b->isChecked() ? QStringLiteral("1") : QStringLiteral("0"); };
    saveOption(QStringLiteral("OptShowAllDetails"), value(chkShowDetails));
    saveOption(QStringLiteral("OptShowLeakDetails"), value(chkLeakDetails));
    saveOption(QStringLiteral("OptShowLeakOnly"), value(chkLeakOnly));
    QString mode;
    if (optDisplayLS->isChecked())
        mode = QStringLiteral("L+S");
    else if (optDisplayLSSerialNo->isChecked())
        mode = QStringLiteral("L+S&SerialNo");
    else if (optDisplayLSLocNum->isChecked())
        mode = QStringLiteral("L+S&LocNum");
    saveOption(QStringLiteral("MapPointPushPinNames"), mode);
    saveOption(QStringLiteral("OptSerialNo"), value(chkDisplaySerialNo));
    saveOption(QStringLiteral("OptSerialLocNum"), value(chkDisplayLocNum));
    saveOption(QStringLiteral("OptSerialAddress1"), value(chkDisplayAddress1));
    saveOption(QStringLiteral("OptSerialAddress2"), value(chkDisplayAddress2));
    saveOption(QStringLiteral("OptSerialAdditionalInfo"), value(chkAdditionalInfo));
}

} // namespace mapview
