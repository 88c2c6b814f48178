#pragma once
// The logger list window: one open area file, its own copy of the loggers and the list that shows them.
#include "core/DMAModule.h"
#include "core/DatabaseFile.h"
#include "documents/LoggerListModel.h"
#include "platform/FormClose.h"

#include <QMdiSubWindow>
#include <QStringList>

#include <cstdint>
#include <vector>

class QTreeView;

// The record a new logger starts from: serial 99999999, an empty grid reference, the default first comment.
LoggerRecord NewBlankRecord();

class frmDMA : public plat::Form<QMdiSubWindow> {
    Q_OBJECT
public:
    explicit frmDMA(QWidget* parent = nullptr);
    ~frmDMA() override;

    // Column names: the prefixes of the settings that hold each column's width and position.
    static const char* const kColumnNames[LoggerListModel::kColumns];

    // Window properties other parts read and write.
    bool AskForSave = false;
    bool NeverBeenSaved = false;
    QString DMAName;
    int16_t RecordCount = 0;
    int16_t SelLine = 0;
    int16_t NumHistories = 0;
    bool AutoSize = false;
    // The window's file as it was when the window last read or wrote it; a save compares the file on disk with
    // it, so that changes made meanwhile by another window or program are not replaced unasked.
    FileStamp DiskStamp;

    QTreeView* ListViewDMA = nullptr;

    // Record exchange through slots of the logger table.
    void GetLocalRec(int32_t serial, int16_t slot);
    void GetLocalRecByIndex(long slot, int16_t index);
    void PutLocalRecByIndex(long slot, int16_t index);
    bool GetLocalRecBySelection();
    void CopyFrom_DMAModule();
    // False (with a message) when the window holds more loggers than the table and the files can take.
    bool CopyTo_DMAModule();
    void ReLoad();
    // The toolbar's Back and Forward buttons. Despite the names, NextLine sends Page Up to the list (a page
    // back, towards the first logger) and PrevLine sends Page Down (a page on, towards the last).
    void NextLine();
    void PrevLine();

    void UpdateCommentsColumnHeader();
    void ChangeSerialByRec(long index, int32_t serial);
    int16_t GetRecFromSerial(int32_t serial) const;
    int16_t GetLineFromSerial(int32_t serial) const;
    void MakeVisibleListLine(int16_t line);

    void MakeActiveDocument();
    void ReleaseActiveDocument();
    void LoadRecordIntoEditor(int16_t index);

    // Record editing (frmDMAEditing.cpp): the clipboard, created and removed records, search, records brought in
    // from outside, every logger's additional information and the write-back of the record editor. Positions are
    // 1-based list positions, indices 1-based record indices. A new editing command joins them there.
    void CopyRecords();
    void CutRecords();
    void PasteRecords();
    void PasteRecord(int16_t& clipboardIndex);
    bool CreateNewRecord(int32_t serial, int16_t position, const QString& gridDigits);
    bool CreateNewGPSRecord(int32_t serial, int16_t position, QString& coordinates);
    bool CreateNewRecord2(int32_t serial, int16_t position);
    bool RemoveRecord();
    void deleteRecordByIndex(int16_t& index);
    void Find(const QString& text);
    // Writes the record editor's boxes and readings over the record with the editor's serial.
    void ModifyRecordBySerialNo();
    void ModifyRecordBySerialNo(const LoggerRecord& edited);
    // Many creations in a row (a fill) reach the list as one redraw, and the record editor shows only the last.
    void beginRecordBatch();
    void endRecordBatch();
    // Room for this many more loggers; false (after a message) when the window would pass the table's limit.
    bool RoomFor(long more);
    // Adds the record as the last row (the caller has asked RoomFor first) and returns its record index; in a
    // sorted list the new row can land above the selected one, and the selection stays on its logger.
    int AppendRecord(const LoggerRecord& record);
    // Puts the record over the one at index when a row of the list shows it; false (nothing changed) when no row
    // does.
    bool ReplaceShownRecord(int index, const LoggerRecord& record);
    // Asks for a text and puts it into every logger's additional information; false when the user cancelled.
    bool UpdateAllAdditionalInformation();

    int16_t SearchNextLine = 0;
    QString SearchText;
    // The logger RemoveRecord took out last, kept by the window itself: the logger table's slots are the other
    // windows' exchange area, and the table's records are a file's between a read or write and the copy.
    LoggerRecord RemovedRecord;

    // What the list shows, for the printing and map windows (and tests): 1-based row positions.
    int rowCount() const;
    int rowRecordIndex(int position) const;
    QString rowKey(int position) const;
    QString rowText(int position, int column) const;
    QString columnCaption(int column) const; // column 1..11
    const LoggerRecord& localRecord(int index) const;
    LoggerListModel* listModel() const { return model_; }

    // List events, named as the handlers of the window.
    void ListViewDMA_ItemClick(int position);
    void ListViewDMA_DblClick();
    void ListViewDMA_ColumnClick(int column); // 1-based column number
    void ListViewDMA_GotFocus();
    void ListViewDMA_LostFocus();
    void Form_MouseMove();
    void Form_Activate();
    void Form_Resize();
    // Widens every shown column that is narrower than its widest value.
    void FitColumnsToValues();

    bool mouseFocusTaken() const { return MouseFocusTaken; }

protected:
    void Form_QueryUnload(bool& cancel) override;
    void Form_Unload() override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Form_Load();
    bool validIndex(long index) const { return index >= 1 && index <= RecordCount; }
    static bool validSlot(long slot) { return slot >= 0 && slot <= kMaxLoggers; }
    int listWidthPixels() const;
    void selectRow(int position);
    // Scrolls the list until the row is whole inside the part of it that can be seen.
    void scrollIntoSight(const QModelIndex& index);
    void onCurrentRowChanged(int row);
    void RemoveRecordAt(int index);
    // Removes the records whose indices are marked, keeping the order of the others, in one pass.
    void removeMarkedRecords(const std::vector<bool>& marked);
    bool LineContainsText(int position, const QString& text) const;
    void addNewRecordRow(int16_t position, int recordIndex);
    // The 1-based list position of the row showing a record (0 when none does).
    int16_t lineOfRecord(int recordIndex) const;
    bool pendingSelection_ = false;

    std::vector<LoggerRecord> LocalRecords;
    LoggerListModel* model_ = nullptr;
    QWidget* body_ = nullptr;
    bool MouseFocusTaken = false;
    bool programmatic_ = false;
};
