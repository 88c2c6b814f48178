// Editing loggers on the map: the map's notifications, the pop-up menus, new loggers placed by a click, and
// the write-back of moved and deleted pushpins into the list window's records.
#include "core/DMAModule.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/LatLongText.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "lang/LangText.h"
#include "mapview/frmAddNewGPSLogger.h"
#include "mapview/frmGps.h"
#include "mapview/frmGpsCommon.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"

#include <QCheckBox>
#include <QMenu>
#include <QRadioButton>
#include <QTimer>

#include <cmath>

namespace mapview {

namespace {
using gpscommon::ignoring;
using gpscommon::isGap;
int32_t serialNumber(const QString& text) {
    double value = plat::vb::Val(text.left(8));
    int32_t serial = 0;
    return plat::vb::toInt32(std::trunc(value), &serial) ? serial : 0;
}
} // namespace

// --- notifications ---------------------------------------------------------------------------------------

void frmGps::m_MapPointControl_SelectionChange(Pushpin* now, Pushpin*) {
    if (!EventsEnabled)
        return;
    SelectionTypeName = now ? QStringLiteral("Pushpin") : QString();
    // Only a registered pushpin selected now names a logger: anything else leaves no logger to edit or
    // delete, so a later Delete can never reach the logger selected before.
    QString serial, locNum, label;
    if (now && registry_.GetDetailsByPushpinObjRef(now, serial, locNum, label))
        SelectedSerial = serial;
    else
        SelectedSerial.clear();
}

void frmGps::m_MapPointControl_MapChange() {
    if (!EventsEnabled)
        return;
    if (!Loading && !SyncSuppressed) {
        ignoring([&] { SyncSelectedPushpin(); });
        if (frmDMA* doc = document())
            ignoring([&] { doc->ReLoad(); });
    }
    ClearTickCount = 0;
    clearTimer->start();
}

void frmGps::m_MapPointControl_MouseButton(int button, int shift, int x, int y) {
    if (!EventsEnabled)
        return;
    if (button == 1) {
        if (rdoAddLogger->isChecked() || shift >= 1)
            PromptNewLoggerAt(x, y);
        if (shift == 0)
            rdoSelect->setChecked(true);
    } else if (button == 2) {
        const bool pinChosen = !SelectedSerial.isEmpty() && SelectionTypeName == QLatin1String("Pushpin");
        lastPopup_ = pinChosen ? mnuGpsRightClick : mnuZoom;
        if (m_MapPointControl)
            lastPopup_->popup(m_MapPointControl->mapToGlobal(QPoint(x, y)));
    }
}

void frmGps::m_MapPointControl_PointerPressed(int, int, int, int, bool&) {
    if (!EventsEnabled)
        return;
    reapplyBalloons();
    NoteRefreshPending = true;
    Timer1->start();
}

void frmGps::m_MapPointControl_PointerDoubleClicked(int, int, int, int, bool&) {
    if (!EventsEnabled)
        return;
    if (frmDMA* doc = document())
        doc->AskForSave = true;
}

// --- Edit and Delete -------------------------------------------------------------------------------------

void frmGps::mnuGpsEdit_Click() {
    SyncSuppressed = false;
    frmDMA* doc = document();
    if (!doc || SelectedSerial.isEmpty())
        return;
    setMainEnabled(true);
    const int32_t serial = serialNumber(SelectedSerial);
    const int16_t index = doc->GetRecFromSerial(serial);
    // The list's selected line is a row position: after a sort it differs from the record's index.
    doc->SelLine = doc->GetLineFromSerial(serial);
    ignoring([&] { FillRecordEditor(index); });
    setMainEnabled(false);
}

void frmGps::FillRecordEditor(int16_t index) {
    frmDMA* doc = document();
    if (!doc || index < 1)
        return;
    doc->LoadRecordIntoEditor(index);
    if (frmDMAEdit* editor = frmDMAEdit::instance())
        editor->showEditor();
}

void frmGps::MnuGpsDelete_Click() {
    DeleteSelectedPushpin();
}

void frmGps::DeleteSelectedPushpin() {
    if (SelectedSerial.isEmpty())
        return;
    ignoring([&] {
        PushpinRef pin;
        QString locNum, label;
        if (registry_.GetDetailsBySerialNo(pin, SelectedSerial, locNum, label) && pin)
            pin->Delete();
        registry_.Remove(SelectedSerial);
        SyncSelectedPushpin();
    });
    SelectedSerial.clear();
}

// --- write-back ------------------------------------------------------------------------------------------

void frmGps::SyncSelectedPushpin() {
    syncSerial(SelectedSerial, true);
}

void frmGps::SyncAllPushpins() {
    for (int i = 1; i <= SerialCount; ++i) {
        const QString entry = SerialList[static_cast<size_t>(i)];
        if (isGap(entry))
            continue;
        ignoring([&] { syncSerial(entry, false); });
    }
}

void frmGps::syncSerial(const QString& entry, bool full) {
    frmDMA* doc = document();
    if (!doc)
        return;
    const int32_t serial = serialNumber(entry);
    PushpinRef pin;
    QString locNum, label;
    registry_.GetDetailsBySerialNo(pin, entry, locNum, label);
    if (!pin || pin->Name().isEmpty()) {
        // The pushpin is gone (deleted here or by the Delete key on the map): so is its logger.
        doc->AskForSave = true;
        int16_t position = doc->GetRecFromSerial(serial);
        if (position > 0 && !entry.isEmpty()) {
            doc->deleteRecordByIndex(position);
            registry_.Remove(entry);
            if (full) {
                ClearAllPushpins();
                // Rebuilt as the filter box says, so "leak mode only" stays true to its tick.
                LoadLoggerPushpins(chkLeakOnly->isChecked());
            }
        }
        if (full) {
            doc->ReLoad();
            if (entry == SelectedSerial) {
                SelectedSerial.clear();
                SelectionTypeName.clear();
            }
        }
        return;
    }
    // Only a pushpin the user moved changes its logger's coordinate: opening and closing the map must not
    // rewrite stored coordinates (and lose their further digits).
    if (!pin->moved())
        return;
    const int16_t index = doc->GetRecFromSerial(serial);
    if (index < 1)
        return;
    const QString sep = DecimalSeparator.isEmpty() ? QStringLiteral(".") : DecimalSeparator;
    const Location at = pin->location();
    QString text = FormatCoordinate(at.Latitude, sep) + u'/' + FormatCoordinate(at.Longitude, sep);
    QString converted;
    ValidateLatLongText(text, converted, 0, LatLongGivenUp::NoResult);
    if (converted.isEmpty())
        return;
    doc->GetLocalRecByIndex(kMaxLoggers, index);
    LoggerTable[static_cast<size_t>(kMaxLoggers)].Comment2 = plat::toAnsi(converted);
    doc->PutLocalRecByIndex(kMaxLoggers, index);
    doc->listModel()->recordChanged(index);
    if (full)
        BuildPushpinNote(plat::vb::formatSerialQ(serial));
}

// --- new loggers -----------------------------------------------------------------------------------------

void frmGps::PromptNewLoggerAt(int X, int Y) {
    if (!IsDocumentValid(ActiveDocument)) {
        ShowMessage(LoadLangString(txt::NoDocument));
        return;
    }
    frmAddNewGPSLogger* dialog = frmAddNewGPSLogger::instance(this);
    dialog->show();
    dialog->raise();
    dialog->frmAddnewGPSLogger_Setxy(X, Y);
}

void frmGps::frmGPS_NewLogger(int X, int Y, const QString& strSerial) {
    frmDMA* doc = document();
    // Nothing typed places nothing (and leaves every logger as it is).
    if (!doc || !m_MapPointControl || strSerial.isEmpty())
        return;
    int32_t serial = 0;
    if (!plat::vb::toInt32(std::trunc(plat::vb::Val(strSerial)), &serial) || !IsValidSerial(serial)) {
        ShowMessage(plat::vb::formatSerialQ(serial) + LoadLangString(txt::InvalidSerial));
        return;
    }
    const QString sep = DecimalSeparator.isEmpty() ? QStringLiteral(".") : DecimalSeparator;
    const Location at = m_MapPointControl->ActiveMap().XYToLocation(X, Y);
    QString text = FormatCoordinate(at.Latitude, sep) + u'/' + FormatCoordinate(at.Longitude, sep);
    const bool known = doc->GetRecFromSerial(serial) != 0;
    if (known || !doc->CreateNewGPSRecord(serial, 0, text)) {
        if (known)
            ShowMessage(plat::vb::formatSerialQ(serial) + LoadLangString(txt::AlreadyInList));
        return;
    }
    ignoring([&] { PlaceNewLoggerPushpin(X, Y, plat::vb::formatSerialQ(serial)); });
    setMainEnabled(true);
    if (frmDMAEdit* editor = frmDMAEdit::instance())
        editor->showEditor();
    setMainEnabled(false);
}

void frmGps::PlaceNewLoggerPushpin(int X, int Y, const QString& serial) {
    if (SerialCount >= kMaxLoggers)
        return;
    if (LoggerCount < kMaxLoggers)
        LoggerCount = static_cast<int16_t>(LoggerCount + 1);
    SerialCount = static_cast<int16_t>(SerialCount + 1);
    MapModel& map = m_MapPointControl->ActiveMap();
    const Location at = map.XYToLocation(X, Y);
    QString locNum, label;
    if (const LoggerRecord* r = recordOfSerial(serial)) {
        locNum = plat::fromAnsi(r->GridRef);
        label = levelAndSpread(*r);
    }
    const PushpinRef pin = map.AddPushpin(at, optDisplayLSSerialNo->isChecked() ? serial : DigitsOnly(locNum));
    pin->setSymbol(PushpinSymbol(1));
    registry_.Add(pin, serial, locNum, label);
    ApplyBalloonState(serial);
    pin->Select();
    SerialList[static_cast<size_t>(SerialCount)] = serial;
}

} // namespace mapview
