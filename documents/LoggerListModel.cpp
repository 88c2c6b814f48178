#include "documents/LoggerListModel.h"

#include "core/Shared.h"
#include "platform/TextCodec.h"
#include "platform/VbRuntime.h"

#include <algorithm>
#include <numeric>

QString FormatReadingValue(int16_t value) {
    const QString digits = QString::number(value);
    return value < 10 ? u' ' + digits : digits;
}

QString LoggerRowText(const LoggerRecord& r, int column) {
    switch (column) {
    case 0:
        return plat::vb::formatSerialQ(r.Serial);
    case 1:
        return GridRefDigits(plat::fromAnsi(r.GridRef));
    case 2:
        return plat::fromAnsi(r.Deployed);
    case 3:
        return plat::fromAnsi(r.Received);
    case 4:
        return plat::fromAnsi(r.Comment1);
    case 5:
        return plat::fromAnsi(r.Comment2);
    case 6:
        return plat::fromAnsi(r.ReadingDate[1]);
    case 7:
        return plat::fromAnsi(r.ReadingStatus[1]);
    case 8:
        return FormatReadingValue(r.Level[1]);
    case 9:
        return FormatReadingValue(r.Spread[1]);
    case 10:
        return plat::fromAnsi(r.UserComments);
    default:
        return QString();
    }
}

LoggerListModel::LoggerListModel(const std::vector<LoggerRecord>* records, QObject* parent)
    : QAbstractTableModel(parent), records_(records) {
    for (int i = 0; i < kColumns; ++i)
        captions_ << QString();
}

int LoggerListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int LoggerListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumns;
}

QVariant LoggerListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= static_cast<int>(rows_.size()))
        return {};
    const int rec = rows_[static_cast<size_t>(index.row())];
    if (rec < 1 || rec >= static_cast<int>(records_->size()))
        return {};
    if (role == Qt::DisplayRole || (role == Qt::ToolTipRole && index.column() == 10))
        return LoggerRowText((*records_)[static_cast<size_t>(rec)], index.column());
    if (role == Qt::TextAlignmentRole && (index.column() == 8 || index.column() == 9))
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

QVariant LoggerListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < kColumns)
        return captions_[section];
    if (orientation == Qt::Horizontal && role == Qt::TextAlignmentRole && (section == 8 || section == 9))
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return QAbstractTableModel::headerData(section, orientation, role);
}

void LoggerListModel::setCaption(int column, const QString& caption) {
    if (column < 0 || column >= kColumns || captions_[column] == caption)
        return;
    captions_[column] = caption;
    emit headerDataChanged(Qt::Horizontal, column, column);
}

void LoggerListModel::clearRows() {
    beginResetModel();
    rows_.clear();
    endResetModel();
}

void LoggerListModel::fillRows(int count) {
    beginResetModel();
    rows_.resize(static_cast<size_t>(std::max(count, 0)));
    std::iota(rows_.begin(), rows_.end(), 1);
    if (sorted_)
        applySort();
    endResetModel();
}

void LoggerListModel::setRows(std::vector<int> rows) {
    if (!batching_)
        beginResetModel();
    rows_ = std::move(rows);
    if (sorted_ && !batching_)
        applySort();
    if (!batching_)
        endResetModel();
}

void LoggerListModel::beginBatch() {
    if (batching_)
        return;
    beginResetModel();
    batching_ = true;
}

void LoggerListModel::endBatch() {
    if (!batching_)
        return;
    batching_ = false;
    if (sorted_)
        applySort();
    endResetModel();
}

void LoggerListModel::insertRow(int position, int recordIndex) {
    const int at = std::clamp(position - 1, 0, static_cast<int>(rows_.size()));
    if (batching_) {
        rows_.insert(rows_.begin() + at, recordIndex);
        return;
    }
    beginInsertRows({}, at, at);
    rows_.insert(rows_.begin() + at, recordIndex);
    endInsertRows();
    if (sorted_)
        resortKeepingRows();
}

void LoggerListModel::removeRowAt(int position) {
    if (position < 1 || position > static_cast<int>(rows_.size()))
        return;
    if (batching_) {
        rows_.erase(rows_.begin() + (position - 1));
        return;
    }
    beginRemoveRows({}, position - 1, position - 1);
    rows_.erase(rows_.begin() + (position - 1));
    endRemoveRows();
}

int LoggerListModel::recordAt(int position) const {
    if (position < 1 || position > static_cast<int>(rows_.size()))
        return 0;
    return rows_[static_cast<size_t>(position - 1)];
}

void LoggerListModel::recordChanged(int recordIndex) {
    if (batching_)
        return;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i] == recordIndex)
            emit dataChanged(index(static_cast<int>(i), 0), index(static_cast<int>(i), kColumns - 1));
}

void LoggerListModel::sortBy(int column, Qt::SortOrder order) {
    sorted_ = true;
    sortColumn_ = std::clamp(column, 0, kColumns - 1);
    order_ = order;
    resortKeepingRows();
}

void LoggerListModel::resortKeepingRows() {
    emit layoutAboutToBeChanged();
    const QModelIndexList before = persistentIndexList();
    std::vector<int> oldRecords;
    oldRecords.reserve(static_cast<size_t>(before.size()));
    for (const QModelIndex& i : before)
        oldRecords.push_back(rows_[static_cast<size_t>(i.row())]);
    applySort();
    // Selected rows stay selected wherever their records move to.
    std::vector<int> rowOf(records_->size() + 1, -1);
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i] >= 0 && rows_[i] < static_cast<int>(rowOf.size()) && rowOf[static_cast<size_t>(rows_[i])] < 0)
            rowOf[static_cast<size_t>(rows_[i])] = static_cast<int>(i);
    QModelIndexList after;
    for (qsizetype k = 0; k < before.size(); ++k) {
        const int rec = oldRecords[static_cast<size_t>(k)];
        const int row = rec >= 0 && rec < static_cast<int>(rowOf.size()) ? rowOf[static_cast<size_t>(rec)] : -1;
        after << (row >= 0 ? index(row, before[k].column()) : QModelIndex());
    }
    changePersistentIndexList(before, after);
    emit layoutChanged();
}

void LoggerListModel::applySort() {
    // The list sorts the texts it shows, without regard to letter case; equal texts keep their order.
    std::vector<std::pair<QString, int>> keyed;
    keyed.reserve(rows_.size());
    for (int rec : rows_) {
        const bool valid = rec >= 1 && rec < static_cast<int>(records_->size());
        keyed.emplace_back(valid ? LoggerRowText((*records_)[static_cast<size_t>(rec)], sortColumn_) : QString(), rec);
    }
    const bool descending = order_ == Qt::DescendingOrder;
    std::stable_sort(keyed.begin(), keyed.end(), [descending](const auto& a, const auto& b) {
        const int c = QString::compare(a.first, b.first, Qt::CaseInsensitive);
        return descending ? c > 0 : c < 0;
    });
    for (size_t i = 0; i < rows_.size(); ++i)
        rows_[i] = keyed[i].second;
}
