#include "app/RecordTableModel.h"

#include "app/Cp1251.h"

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
    return DecodeCp1251(record[kTableColumns[index.column()]]);
}

QVariant TRecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The header row never carries a caption.
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount) {
        return QString();
    }
    return {};
}
