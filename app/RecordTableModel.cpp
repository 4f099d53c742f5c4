#include "app/RecordTableModel.h"

#include "app/Cp1251.h"

namespace {

// The record field shown in each column: the title comes before the work's link.
constexpr int kColumnField[TRecordTableModel::kColumnCount] = {1, 0, 2, 3, 4, 5, 6};

}  // namespace

void TRecordTableModel::ShowRecords(const CFolianta& catalogue) {
    beginResetModel();
    page = catalogue.PageBuffer();
    records = catalogue.RecordsBuffer();
    rows = catalogue.ShownIndexes();
    endResetModel();
}

int TRecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows.size());
}

int TRecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TRecordTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        role != Qt::DisplayRole) {
        return {};
    }
    const TZRecord& record = (*records)[rows[std::size_t(index.row())]];
    return DecodeCp1251(record[kColumnField[index.column()]]);
}

QVariant TRecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The header row never carries a caption.
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount) {
        return QString();
    }
    return {};
}
