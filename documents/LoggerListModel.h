#pragma once
// The logger list window's table: the row format of a logger and the model that shows a window's records.
#include "core/DMAModule.h"

#include <QAbstractTableModel>
#include <QStringList>

#include <cstdint>
#include <vector>

// Text of a reading level or spread in the list: a blank before values below 10, so the column lines up.
QString FormatReadingValue(int16_t value);
// The text of one list column (0..10) for a record.
QString LoggerRowText(const LoggerRecord& record, int column);
// The list's rows over the window's records. A row holds only the index of its record (its key), so filling
// a list of thousands of loggers costs one integer per row and texts are made only for rows on screen.
class LoggerListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kColumns = 11;
    LoggerListModel(const std::vector<LoggerRecord>* records, QObject* parent);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setCaption(int column, const QString& caption);
    QString caption(int column) const { return captions_.value(column); }

    void clearRows();
    // Rows 1..count showing records 1..count, in the current sort order.
    void fillRows(int count);
    // Inserts a row for a record before the 1-based position (past the end: appended); re-sorted when on.
    void insertRow(int position, int recordIndex);
    void removeRowAt(int position);
    // Record index of the row at a 1-based position (0 when there is no such row).
    int recordAt(int position) const;
    // Redraws the rows that show a record after it changed.
    void recordChanged(int recordIndex);
    // The rows as record indices in display order, and a whole new set of them in one reset.
    const std::vector<int>& rows() const { return rows_; }
    void setRows(std::vector<int> rows);
    // Between these two, row changes reach the list as one reset at the end instead of one redraw each;
    // nothing may select or scroll rows meanwhile.
    void beginBatch();
    void endBatch();
    bool batching() const { return batching_; }

    // Sorting as text on one column; later fills and inserts keep the order.
    void sortBy(int column, Qt::SortOrder order);
    bool sorted() const { return sorted_; }
    Qt::SortOrder sortOrder() const { return order_; }

private:
    void applySort();
    // Sorts again; rows the view remembers (selection, current row) follow their records.
    void resortKeepingRows();

    const std::vector<LoggerRecord>* records_;
    std::vector<int> rows_; // record index per displayed row
    QStringList captions_;
    bool sorted_ = false;
    bool batching_ = false;
    int sortColumn_ = 0;
    Qt::SortOrder order_ = Qt::AscendingOrder;
};
