#include "app/RecordTableModel.h"

#include <QFont>
#include <QPalette>

#include "app/Cp1251.h"
#include "history/Unithistory.h"

void TRecordTableModel::ShowRecords(const CRecordView& view,
                                    std::shared_ptr<const std::vector<std::uint8_t>> workMarks) {
    beginResetModel();
    page = view.Page();
    records = view.RecordsBuffer();
    rows = view.Shown();
    marks = std::move(workMarks);
    endResetModel();
}

void TRecordTableModel::SetMarks(std::shared_ptr<const std::vector<std::uint8_t>> workMarks) {
    marks = std::move(workMarks);
    if (!rows.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, kColumnCount - 1),
                         {Qt::FontRole, Qt::ForegroundRole, Qt::ToolTipRole});
    }
}

int TRecordTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows.size());
}

int TRecordTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant TRecordTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const std::uint32_t number = rows[std::size_t(index.row())];
    const TZRecord& record = (*records)[number];
    const std::uint8_t mark = marks && number < marks->size() ? (*marks)[number] : 0;
    switch (role) {
        case Qt::DisplayRole:
            return DecodeCp1251(record[kTableColumns[index.column()]]);
        case Qt::FontRole:
            if (mark & (kUnseen | kHidden)) {
                QFont font;  // only the weight and the stroke: the rest stays the view's
                font.setBold(mark & kUnseen);
                font.setStrikeOut(mark & kHidden);
                return font;
            }
            return {};
        case Qt::ForegroundRole:
            if ((mark & kOpened) && !(mark & kUnseen)) {
                return QPalette().brush(QPalette::PlaceholderText);
            }
            return {};
        case Qt::ToolTipRole:
            if ((mark & kUnseen) && kTableColumns[index.column()] == TZRecord::kTitle && titleTip) {
                return titleTip(number, mark);
            }
            return {};
        default:
            return {};
    }
}

QVariant TRecordTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    // The header row never carries a caption.
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < kColumnCount) {
        return QString();
    }
    return {};
}
