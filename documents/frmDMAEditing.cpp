// The logger list window's editing commands (frmDMA members): clipboard, created and removed records, search,
// records brought in from outside, the additional information of every logger, and the record editor's write-back.
#include "core/ProgramWindows.h"
#include "core/Settings.h"
#include "core/Shared.h"
#include "documents/DocumentFiles.h"
#include "documents/LatLongText.h"
#include "documents/RecordClipboard.h"
#include "documents/SmallDialogs.h"
#include "documents/frmDMA.h"
#include "documents/frmDMAEdit.h"
#include "lang/LangText.h"
#include "platform/AppInfo.h"
#include "platform/TextCodec.h"
#include "platform/UiServices.h"
#include "platform/VbRuntime.h"

#include <QItemSelectionModel>
#include <QTreeView>

#include <algorithm>
#include <unordered_set>

namespace {

// The one question both ways of removing a logger ask: its serial and first comment, No as the default.
bool confirmRemoval(const LoggerRecord& r, const QString& caption) {
    const QString question = LoadLangString(txt::RemoveQuestion) + plat::vb::formatSerialQ(r.Serial) +
                             QStringLiteral(" ?\n(") + plat::fromAnsi(r.Comment1) + u')';
    return ShowMessage(question, plat::MB_YESNO | plat::MB_ICONHAND | plat::MB_DEFBUTTON2, caption) == plat::IDYES;
}

// The record editor edits only the eight digits of a grid reference and puts them back behind the letters "AA".
// Files from the field unit and from Ambleway imports carry the grid square's own two letters: an edit keeps
// them, and only a record without letters gets "AA".
std::string KeepGridLetters(const std::string& stored, const std::string& edited) {
    auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
    if (stored.size() < 2 || edited.size() < 2 || !letter(stored[0]) || !letter(stored[1]))
        return edited;
    return stored.substr(0, 2) + edited.substr(2);
}

} // namespace

// --- clipboard -------------------------------------------------------------------------------------------

namespace {
std::vector<int> selectedPositions(const QTreeView* list) {
    std::vector<int> rows;
    for (const QModelIndex& index : list->selectionModel()->selectedRows())
        rows.push_back(index.row() + 1);
    std::sort(rows.begin(), rows.end());
    return rows;
}
} // namespace

void frmDMA::CopyRecords() {
    const std::vector<int> rows = selectedPositions(ListViewDMA);
    if (rows.empty())
        return;
    RecordClipboard.assign(rows.size() + 1, LoggerRecord());
    ClipboardCount = 0;
    for (int position : rows) {
        const int rec = rowRecordIndex(position);
        if (rec < 1)
            continue;
        ++ClipboardCount;
        RecordClipboard[static_cast<size_t>(ClipboardCount)] = localRecord(rec);
    }
}

void frmDMA::CutRecords() {
    CopyRecords();
    // Each row names its own record by its key, so exactly the selected rows go, also where serials repeat.
    std::vector<bool> marked(static_cast<size_t>(RecordCount) + 1, false);
    for (int position : selectedPositions(ListViewDMA)) {
        const int rec = rowRecordIndex(position);
        if (rec < 1 || rec > RecordCount)
            continue;
        const LoggerRecord& r = localRecord(rec);
        if (confirmRemoval(r, windowTitle()))
            marked[static_cast<size_t>(rec)] = true;
    }
    removeMarkedRecords(marked);
    ReLoad();
    SelLine = 0;
    LoadRecordIntoEditor(0);
    MakeActiveDocument();
    AskForSave = true;
}

bool frmDMA::RoomFor(long more) {
    if (RecordCount + more <= kMaxLoggers)
        return true;
    ShowMessage(LoadLangString(txt::LoggerLimit), plat::MB_OK | plat::MB_ICONEXCLAMATION, plat::appTitle());
    return false;
}

void frmDMA::PasteRecords() {
    // Records the window lacks are counted first: a paste that would pass the table's limit pastes nothing.
    std::unordered_set<int32_t> present;
    for (int i = 1; i <= RecordCount; ++i)
        present.insert(localRecord(i).Serial);
    long fresh = 0;
    for (int i = 1; i <= ClipboardCount; ++i)
        if (present.insert(RecordClipboard[static_cast<size_t>(i)].Serial).second)
            ++fresh;
    if (!RoomFor(fresh))
        return;

    beginRecordBatch();
    for (int16_t i = 1; i <= ClipboardCount; ++i) {
        const int32_t serial = RecordClipboard[static_cast<size_t>(i)].Serial;
        if (GetRecFromSerial(serial) == 0) {
            PasteRecord(i);
            continue;
        }
        // The list is brought up to date before the question, so the user sees what has been pasted so far.
        endRecordBatch();
        const int answer = ShowMessage(
            QString::number(serial) + QStringLiteral(": ") + LoadLangString(txt::PasteDuplicate), plat::MB_OKCANCEL);
        if (answer == plat::IDCANCEL)
            return;
        beginRecordBatch();
    }
    endRecordBatch();
    ListViewDMA->setFocus();
}

void frmDMA::PasteRecord(int16_t& clipboardIndex) {
    if (clipboardIndex < 1 || clipboardIndex > ClipboardCount)
        return;
    if (!RoomFor(1))
        return;
    const LoggerRecord& r = RecordClipboard[static_cast<size_t>(clipboardIndex)];
    LocalRecords.push_back(r);
    RecordCount = static_cast<int16_t>(RecordCount + 1);
    addNewRecordRow(SelLine, RecordCount);
    ShowStatusText(LoadLangString(txt::SerialPrefix) + plat::vb::formatSerialQ(r.Serial) + LoadLangString(txt::Pasted));
    SelLine = GetLineFromSerial(r.Serial);
    AskForSave = true;
}

// --- creating and removing -------------------------------------------------------------------------------

int frmDMA::AppendRecord(const LoggerRecord& record) {
    ++RecordCount;
    const int index = RecordCount;
    LocalRecords.resize(static_cast<size_t>(RecordCount) + 1);
    LocalRecords[static_cast<size_t>(index)] = record;
    const int selected = model_->recordAt(SelLine);
    model_->insertRow(model_->rowCount() + 1, index);
    if (selected > 0)
        SelLine = lineOfRecord(selected);
    return index;
}

bool frmDMA::ReplaceShownRecord(int index, const LoggerRecord& record) {
    bool found = false;
    for (int position = 1; position <= model_->rowCount() && !found; ++position)
        found = model_->recordAt(position) == index;
    if (!found)
        return false;
    LocalRecords[static_cast<size_t>(index)] = record;
    model_->recordChanged(index);
    return true;
}

void frmDMA::addNewRecordRow(int16_t position, int recordIndex) {
    model_->insertRow(position != 0 ? position : rowCount() + 1, recordIndex);
}

void frmDMA::beginRecordBatch() {
    model_->beginBatch();
}

void frmDMA::endRecordBatch() {
    if (!model_->batching())
        return;
    // A sorted list is sorted once, at the end of a batch: the remembered row moves with its record.
    const int rec = SelLine > 0 ? rowRecordIndex(SelLine) : 0;
    model_->endBatch();
    if (rec > 0 && model_->sorted()) {
        const auto& rows = model_->rows();
        const auto at = std::find(rows.begin(), rows.end(), rec);
        if (at != rows.end())
            SelLine = static_cast<int16_t>(at - rows.begin() + 1);
    }
    if (pendingSelection_) {
        pendingSelection_ = false;
        MakeVisibleListLine(SelLine);
        ListViewDMA_ItemClick(SelLine);
    }
}

bool frmDMA::CreateNewRecord(int32_t serial, int16_t position, const QString& gridDigits) {
    if (GetRecFromSerial(serial) != 0) {
        ShowStatusText(QString());
        return false;
    }
    if (!RoomFor(1))
        return false;
    LoggerRecord r = NewBlankRecord();
    r.Serial = serial;
    if (gridDigits.size() == 8)
        r.GridRef = plat::toAnsi(FormatGridRef(gridDigits));
    LocalRecords.push_back(std::move(r));
    RecordCount = static_cast<int16_t>(RecordCount + 1);
    addNewRecordRow(position, RecordCount);
    ShowStatusText(LoadLangString(txt::SerialPrefix) + plat::vb::formatSerialQ(serial) + LoadLangString(txt::Added));
    SelLine = GetLineFromSerial(serial);
    if (model_->batching()) {
        pendingSelection_ = true;
    } else {
        MakeVisibleListLine(SelLine);
        ListViewDMA_ItemClick(SelLine);
    }
    AskForSave = true;
    return true;
}

bool frmDMA::CreateNewGPSRecord(int32_t serial, int16_t position, QString& coordinates) {
    if (GetRecFromSerial(serial) != 0) {
        ShowStatusText(QString());
        return false;
    }
    if (!RoomFor(1))
        return false;
    LoggerRecord r = NewBlankRecord();
    r.Serial = serial;
    // A logger placed on the map gets a coordinate in any case.
    QString copy = coordinates;
    ValidateLatLongText(copy, coordinates, 0, LatLongGivenUp::ZeroPair);
    r.Comment2 = plat::toAnsi(coordinates);
    LocalRecords.push_back(std::move(r));
    RecordCount = static_cast<int16_t>(RecordCount + 1);
    addNewRecordRow(position, RecordCount);
    ShowStatusText(LoadLangString(txt::SerialPrefix) + plat::vb::formatSerialQ(serial) + LoadLangString(txt::Added));
    SelLine = GetLineFromSerial(serial);
    MakeVisibleListLine(SelLine);
    ListViewDMA_ItemClick(SelLine);
    AskForSave = true;
    return true;
}

bool frmDMA::CreateNewRecord2(int32_t serial, int16_t position) {
    if (!RoomFor(1))
        return false;
    LoggerRecord r = NewBlankRecord();
    r.Serial = serial;
    LocalRecords.push_back(std::move(r));
    RecordCount = static_cast<int16_t>(RecordCount + 1);
    addNewRecordRow(position, RecordCount);
    ShowStatusText(LoadLangString(txt::SerialPrefix) + plat::vb::formatSerialQ(serial) + LoadLangString(txt::Added));
    const auto& rows = model_->rows();
    const auto at = std::find(rows.begin(), rows.end(), static_cast<int>(RecordCount));
    SelLine = at == rows.end() ? int16_t(0) : static_cast<int16_t>(at - rows.begin() + 1);
    AskForSave = true;
    return true;
}

void frmDMA::RemoveRecordAt(int index) {
    if (index < 1 || index > RecordCount)
        return;
    LocalRecords.erase(LocalRecords.begin() + index);
    RecordCount = static_cast<int16_t>(RecordCount - 1);
    LoggerCount = static_cast<int16_t>(std::max(0, LoggerCount - 1));
}

void frmDMA::removeMarkedRecords(const std::vector<bool>& marked) {
    size_t out = 1;
    int removed = 0;
    for (size_t i = 1; i < LocalRecords.size(); ++i) {
        if (i < marked.size() && marked[i]) {
            ++removed;
            continue;
        }
        if (out != i)
            LocalRecords[out] = std::move(LocalRecords[i]);
        ++out;
    }
    LocalRecords.resize(out);
    RecordCount = static_cast<int16_t>(RecordCount - removed);
    LoggerCount = static_cast<int16_t>(std::max(0, LoggerCount - removed));
}

bool frmDMA::RemoveRecord() {
    if (RecordCount < 1 || SelLine < 1 || SelLine > rowCount())
        return false;
    MakeVisibleListLine(SelLine);
    const int index = rowRecordIndex(SelLine);
    LoadRecordIntoEditor(static_cast<int16_t>(index));
    const LoggerRecord& r = localRecord(index);
    if (!confirmRemoval(r, windowTitle())) {
        ListViewDMA->setFocus();
        return false;
    }
    RemovedRecord = r;
    RemoveRecordAt(index);
    ReLoad();
    SelLine = 0;
    LoadRecordIntoEditor(0);
    MakeActiveDocument();
    AskForSave = true;
    return true;
}

void frmDMA::deleteRecordByIndex(int16_t& index) {
    if (index < 1 || index > RecordCount)
        return;
    RemoveRecordAt(index);
    ReLoad();
}

// --- search ----------------------------------------------------------------------------------------------

bool frmDMA::LineContainsText(int position, const QString& text) const {
    for (int c = 0; c <= 9; ++c)
        if (rowText(position, c).contains(text, Qt::CaseSensitive))
            return true;
    return false;
}

void frmDMA::Find(const QString& text) {
    if (RecordCount < 1)
        return;
    if (!text.isEmpty()) {
        SearchNextLine = 1;
        SearchText = text;
    }
    // A window never searched before starts at its first row.
    if (SearchNextLine < 1 || SearchNextLine > RecordCount)
        SearchNextLine = 1;
    ShowStatusText(LoadLangString(txt::Searching));
    const int last = std::min<int>(RecordCount, rowCount());
    int found = 0;
    for (int p = SearchNextLine; p <= last; ++p) {
        if (LineContainsText(p, SearchText)) {
            found = p;
            break;
        }
    }
    if (found == 0) {
        ShowMessage(LoadLangString(txt::NotFound), plat::MB_OK);
        ShowStatusText(QString());
        return;
    }
    SearchNextLine = static_cast<int16_t>(found + 1);
    SelLine = static_cast<int16_t>(found);
    MakeVisibleListLine(SelLine);
    LoadRecordIntoEditor(static_cast<int16_t>(rowRecordIndex(found)));
    ShowStatusText(LoadLangString(txt::Found) + SearchText + LoadLangString(txt::FoundAtRow) + QString::number(found));
    ListViewDMA->setFocus();
}

// --- the record editor's write-back ----------------------------------------------------------------------

void frmDMA::ModifyRecordBySerialNo() {
    if (RecordCount < 1) {
        ShowMessage(LoadLangString(txt::ModifyEmpty), plat::MB_OK);
        return;
    }
    frmDMAEdit* editor = frmDMAEdit::instance();
    if (!editor)
        return;
    ModifyRecordBySerialNo(editor->recordFromBoxes());
}

void frmDMA::ModifyRecordBySerialNo(const LoggerRecord& edited) {
    if (RecordCount < 1) {
        ShowMessage(LoadLangString(txt::ModifyEmpty), plat::MB_OK);
        return;
    }
    // The selected row's own record is the one meant when it carries the serial; otherwise the first record
    // with it, as in a list where serials do not repeat.
    int index = 0;
    int position = 0;
    if (SelLine >= 1 && SelLine <= rowCount() && localRecord(rowRecordIndex(SelLine)).Serial == edited.Serial) {
        index = rowRecordIndex(SelLine);
        position = SelLine;
    } else {
        index = GetRecFromSerial(edited.Serial);
        position = GetLineFromSerial(edited.Serial);
    }
    QString message;
    if (index == 0)
        message += plat::vb::formatSerialQ(edited.Serial) + LoadLangString(txt::ModifyNoRecord) + u'\n';
    if (position == 0)
        message += plat::vb::formatSerialQ(edited.Serial) + LoadLangString(txt::ModifyNoRow) + u'\n';
    if (!message.isEmpty()) {
        ShowMessage(message, plat::MB_OK);
        return;
    }
    LoggerRecord r = edited;
    r.GridRef = KeepGridLetters(LocalRecords[static_cast<size_t>(index)].GridRef, edited.GridRef);
    r.Deployed = LocalRecords[static_cast<size_t>(index)].Deployed;
    r.Received = LocalRecords[static_cast<size_t>(index)].Received;
    LocalRecords[static_cast<size_t>(index)] = std::move(r);
    model_->recordChanged(index);
    AskForSave = true;
    MakeVisibleListLine(static_cast<int16_t>(position));
    ListViewDMA->setFocus();
    ShowStatusText(LoadLangString(txt::SerialPrefix) + plat::vb::formatSerialQ(edited.Serial) +
                   LoadLangString(txt::Modified));
}

bool frmDMA::UpdateAllAdditionalInformation() {
    frmUpdateAddInfo dialog(this);
    plat::ui().execDialog(&dialog);
    bool result = false;
    programWindows().Interact(false);
    if (dialog.Result) {
        for (int i = 1; i <= RecordCount; ++i) {
            GetLocalRecByIndex(0, static_cast<int16_t>(i));
            LoggerTable[0].UserComments = plat::toAnsi(dialog.txtAddInfoText);
            PutLocalRecByIndex(0, static_cast<int16_t>(i));
        }
        ReLoad();
        AskForSave = true;
        result = true;
    }
    programWindows().Interact(true);
    return result;
}
