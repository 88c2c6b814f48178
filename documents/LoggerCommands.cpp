#include "documents/LoggerCommands.h"

#include "core/DMAModule.h"
#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/DocumentLinks.h"
#include "documents/MaskedEdit.h"
#include "documents/ReadingDialogs.h"
#include "documents/SmallDialogs.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "documents/frmDocument.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/TextCodec.h"
#include "platform/Twips.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QTreeView>

#include <cmath>
#include <unordered_set>

namespace {

constexpr int kHideListAbove = 100;

// The active list window, or nullptr after language text 129.
frmDMA* activeOrMessage() {
    if (IsDocumentValid(ActiveDocument))
        return ActiveDocument.data();
    ShowMessage(LoadLangString(txt::NoDocument));
    return nullptr;
}

void interact(bool enable) {
    programWindows().Interact(enable);
}

} // namespace

void AddLoggerCommand() {
    frmDMA* doc = activeOrMessage();
    if (!doc)
        return;
    frmAddNewLogger dialog(doc);
    plat::ui().execDialog(&dialog);
    if (dialog.strSerial.isEmpty())
        return;
    int32_t serial = 0;
    const bool fits = plat::vb::toInt32(plat::vb::Val(dialog.strSerial), &serial);
    if (!fits || !IsValidSerial(serial)) {
        ShowMessage((fits ? plat::vb::formatSerialQ(serial) : dialog.strSerial) + LoadLangString(txt::InvalidSerial));
        return;
    }
    if (doc->GetRecFromSerial(serial) == 0 && doc->RecordCount >= kMaxLoggers) {
        doc->RoomFor(1); // says why nothing is added
        return;
    }
    if (doc->CreateNewRecord(serial, 0, QString())) {
        programWindows().showEditor();
    } else {
        ShowMessage(plat::vb::formatSerialQ(serial) + LoadLangString(txt::AlreadyInList));
    }
}

void RemoveLoggerCommand() {
    frmDMA* doc = activeOrMessage();
    if (!doc)
        return;
    ShowStatusText(LoadLangString(doc->RemoveRecord() ? txt::Removed : txt::NotRemoved));
}

void ChangeSerialCommand() {
    frmDMA* doc = activeOrMessage();
    if (!doc)
        return;
    if (doc->SelLine < 1 || doc->SelLine > doc->rowCount()) {
        ShowMessage(LoadLangString(txt::NoSelection));
        return;
    }
    // The selected row's own record changes, found by its key rather than by its serial, which may repeat.
    const int index = doc->rowRecordIndex(doc->SelLine);
    const int32_t old = doc->localRecord(index).Serial;
    QString answer;
    if (!plat::ui().inputBox(LoadLangString(txt::ChangeSerialPrompt) + plat::vb::formatSerialQ(old), plat::appTitle(),
                             plat::vb::formatSerialQ(old), &answer) ||
        answer.isEmpty())
        return;
    const double value = plat::vb::Val(answer);
    int32_t serial = 0;
    const bool fits = plat::vb::toInt32(value, &serial);
    if (fits && serial == old) {
        ShowMessage(plat::vb::formatSerialQ(old) + LoadLangString(txt::SerialUnchanged));
        return;
    }
    if (!fits || !IsValidSerial(serial)) {
        ShowMessage((fits ? plat::vb::formatSerialQ(serial) : answer) + LoadLangString(txt::InvalidSerial));
        return;
    }
    if (doc->GetRecFromSerial(serial) != 0) {
        ShowMessage(LoadLangString(txt::SerialUsedStart) + plat::vb::formatSerialQ(serial) +
                    LoadLangString(txt::SerialUsedEnd));
        return;
    }
    doc->ChangeSerialByRec(index, serial);
    doc->listModel()->recordChanged(index);
    // A changed serial must reach the file: closing the window asks to save it.
    doc->AskForSave = true;
    ShowMessage(plat::vb::formatSerialQ(old) + LoadLangString(txt::SerialChanged) + plat::vb::formatSerialQ(serial));
}

void ChangeDeployDateCommand() {
    frmDMA* doc = activeOrMessage();
    if (!doc)
        return;
    const bool selected = doc->GetLocalRecBySelection();
    // The selected row's own logger is the one dated, also where its serial repeats in the list.
    const int index = selected ? doc->rowRecordIndex(doc->SelLine) : 0;
    if (index > 0)
        doc->GetLocalRecByIndex(kMaxLoggers, static_cast<int16_t>(index));
    LoggerRecord& slot = LoggerTable[static_cast<size_t>(kMaxLoggers)];
    DateDialog dialog(doc);
    dialog.TxtDate->setText(plat::fromAnsi(slot.Deployed));
    plat::ui().execDialog(&dialog);
    if (!dialog.Result)
        return;
    interact(false);
    const std::string date = plat::toAnsi(dialog.TxtDate->text());
    if (dialog.ChkDoAll->isChecked()) {
        for (int16_t i = 1; i <= doc->RecordCount; ++i) {
            doc->GetLocalRecByIndex(0, i);
            LoggerTable[0].Deployed = date;
            doc->PutLocalRecByIndex(0, i);
        }
        doc->ReLoad();
        doc->AskForSave = true;
    } else if (index > 0) {
        slot.Deployed = date;
        doc->PutLocalRecByIndex(kMaxLoggers, static_cast<int16_t>(index));
        doc->listModel()->recordChanged(index);
        doc->AskForSave = true;
    } else {
        ShowMessage(LoadLangString(txt::NoSelection));
    }
    interact(true);
}

FillDialog* fillDialog() {
    static QPointer<FillDialog> dialog;
    if (!dialog) {
        QWidget* parent = programWindows().mainWidget();
        dialog = new FillDialog(parent);
    }
    return dialog.data();
}

bool FillLoggers(frmDMA* document, int32_t start, int32_t count, const QString& grid, QString* report) {
    QPointer<frmDMA> doc(document);
    // The whole run is checked before anything is added: every serial must be valid, and the loggers the
    // window lacks must fit beside the ones it holds.
    std::unordered_set<int32_t> present;
    for (int i = 1; i <= doc->RecordCount; ++i)
        present.insert(doc->localRecord(i).Serial);
    long fresh = 0;
    long long serial = start;
    for (int32_t k = 1; k <= count; ++k, serial += FillIncrement) {
        if (serial > 16777215 || !IsValidSerial(static_cast<int32_t>(serial))) {
            ShowMessage(LoadLangString(txt::FillLeavesSerials) +
                        plat::vb::formatSerialQ(static_cast<int32_t>(std::min<long long>(serial, 99999999))));
            return false;
        }
        if (present.insert(static_cast<int32_t>(serial)).second && ++fresh + doc->RecordCount > kMaxLoggers)
            break;
    }
    if (!doc->RoomFor(fresh))
        return false;

    const bool useGrid = !grid.isEmpty();
    int32_t gridValue = 0;
    if (useGrid)
        plat::vb::toInt32(plat::vb::Val(grid), &gridValue);
    QString gridText = useGrid ? plat::vb::zeroPad(gridValue, 8) : QString();
    constexpr int32_t kGridWrap = 99999999;
    const bool hidden = count > kHideListAbove;
    if (hidden) {
        doc->ListViewDMA->setVisible(false);
        doc->beginRecordBatch();
    }
    serial = start;
    for (int32_t k = 1; k <= count && doc; ++k) {
        if (!doc->CreateNewRecord(static_cast<int32_t>(serial), 0, gridText))
            *report += plat::vb::formatSerialQ(static_cast<int32_t>(serial)) + u'\n';
        serial += FillIncrement;
        if (useGrid) {
            gridValue = gridValue + 1 >= kGridWrap ? 0 : gridValue + 1;
            gridText = plat::vb::zeroPad(gridValue, 8);
        }
        QCoreApplication::processEvents();
    }
    if (doc) {
        doc->endRecordBatch();
        doc->ListViewDMA->setVisible(true);
    }
    return true;
}

void FillCommand() {
    frmDMA* doc = activeOrMessage();
    if (!doc)
        return;
    FillDialog* dialog = fillDialog();
    dialog->Result = false;
    dialog->TxtIncr->setText(QString::number(FillIncrement));
    dialog->txtGridRef->setBoxText(QStringLiteral("00000000"));
    plat::ui().execDialog(dialog);
    if (!dialog->Result)
        return;
    QPointer<frmDMA> target(doc);
    const QString grid = dialog->CheckBoxUseGrid->isChecked() ? dialog->txtGridRef->Text() : QString();
    interact(false);
    QString report;
    const bool done = FillLoggers(doc, dialog->TmpSer, dialog->TmpNum, grid, &report);
    interact(true);
    if (!done || !target)
        return;
    if (report.isEmpty()) {
        ShowStatusText(LoadLangString(txt::FillComplete));
        return;
    }
    ShowMessage(LoadLangString(txt::FillIncomplete));
    ShowStatusText(LoadLangString(txt::FillIncomplete));
    auto* window = new frmDocument;
    window->setWindowTitle(LoadLangString(txt::FillReportTitle) + FileTitle(target->windowTitle()) +
                           QStringLiteral(".log"));
    window->setText(LoadLangString(txt::FillReportHeading) + u'\n' + report);
    ShowDocumentWindow(window);
}

void FindCommand() {
    ShowStatusText(QString());
    frmDMA* doc = activeOrMessage();
    if (!doc)
        return;
    QString answer;
    if (!plat::ui().inputBox(LoadLangString(txt::FindPrompt), plat::appTitle(), LastFindText, &answer))
        answer.clear();
    LastFindText = answer;
    if (!LastFindText.isEmpty())
        doc->Find(LastFindText);
}

void FindNextCommand() {
    ShowStatusText(QString());
    frmDMA* doc = activeOrMessage();
    if (!doc)
        return;
    if (!LastFindText.isEmpty())
        doc->Find(QString());
}

void AutoSizeColumnsHelper(frmDMA* document, int16_t column, float width, bool onlyIfShown) {
    QHeaderView* header = document->ListViewDMA->header();
    const int section = column - 1;
    if (section < 0 || section >= header->count())
        return;
    if (onlyIfShown && header->sectionSize(section) <= 0)
        return;
    header->resizeSection(section, std::max(0, static_cast<int>(std::lround(width))));
}

void AutoSizeColumns(int16_t column, bool& show) {
    ShowStatusText(QString());
    if (IsDocumentValid(ActiveDocument))
        AutoSizeColumnsOf(ActiveDocument.data(), column, show);
}

void AutoSizeColumnsOf(frmDMA* doc, int16_t column, bool& show) {
    if (!doc || column < -1 || column > 7)
        return;
    const double w = doc->ListViewDMA->viewport()->width();
    const double defaults[8] = {0, w / 10, w / 7, w / 11, w / 11, w / 8, w / 8, w / 10};
    if (column >= 1) {
        AutoSizeColumnsHelper(doc, column, show ? static_cast<float>(defaults[column]) : 0.F, false);
        return;
    }
    const bool onlyIfShown = column == -1;
    if (column == -1)
        show = true;
    for (int16_t c = 1; c <= 7; ++c)
        AutoSizeColumnsHelper(doc, c, show ? static_cast<float>(defaults[c]) : 0.F, onlyIfShown);
    if (show) {
        // The fixed widths of the last three columns are in the stored layout's unit (twips).
        AutoSizeColumnsHelper(doc, 8, static_cast<float>(plat::twips::toPixelsX(400)), false);
        AutoSizeColumnsHelper(doc, 9, static_cast<float>(plat::twips::toPixelsX(700)), false);
        AutoSizeColumnsHelper(doc, 10, static_cast<float>(plat::twips::toPixelsX(700)), false);
    }
    doc->FitColumnsToValues();
}

void NewWindowCommand() {
    ShowStatusText(QString());
    frmDMA* doc = activeOrMessage();
    if (!doc)
        return;
    if (doc->RecordCount < 1) {
        ShowMessage(LoadLangString(txt::NothingToCopy));
        return;
    }
    const QString name = doc->DMAName;
    if (!doc->CopyTo_DMAModule())
        return;
    for (int i = 1; i <= LoggerCount; ++i) {
        LoggerRecord& r = LoggerTable[static_cast<size_t>(i)];
        const int32_t serial = r.Serial;
        ClearLoggerRecord(r);
        r.Serial = serial;
        r.GridRef = "__ ____ ____";
        r.UserComments = "comment";
    }
    auto* window = new frmDMA;
    window->AskForSave = true;
    window->NeverBeenSaved = true;
    window->NumHistories = 50;
    window->CopyFrom_DMAModule();
    window->setWindowTitle(name);
    window->DMAName = FileTitle(name);
    ShowDocumentWindow(window);
    window->ListViewDMA->setFocus();
}

void UpdateAllAddInfoCommand() {
    if (programWindows().hasActiveDocument()) {
        ShowStatusText(LoadLangString(programWindows().updateAllAdditionalInformation()
                                          ? txt::TheAdditionalInformationWasUpdated
                                          : txt::TheAdditionalInformationWasNot));
    } else {
        ShowMessage(LoadLangString(txt::NoDocument), 0);
    }
}
