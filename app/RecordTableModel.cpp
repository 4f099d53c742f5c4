#include "app/RecordTableModel.h"

#include "app/Cp1251.h"

namespace {

// The record field shown in each column: the title comes before the work's link.
constexpr int kColumnField[TRecordTableModel::kColumnCount] = {1, 0, 2, 3, 4, 5, 6};

}  // namespace

void TRecordTableModel::ShowRecords(const CFolianta& catalogue) {
    beginResetModel();
    page = catalogue.PageBuffer();
    rows.clear();
    rows.reserve(std::size_t(catalogue.ShownCount()));
    for (int m = 0; m < catalogue.ShownCount(); ++m) {
        rows.push_back(catalogue.ShownAt(m));
    }
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
    return DecodeCp1251(rows[std::size_t(index.row())][kColumnField[index.column()]]);
}

QVariant TRecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The header row never carries a caption.
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount) {
        return QString();
    }
    return {};
}
