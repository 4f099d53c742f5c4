#pragma once

#include <QAbstractTableModel>
#include <memory>
#include <vector>

#include "catalogue/Unitfolianta.h"

// The cells of the result table: one row per shown work record, seven columns (title, work link,
// size, genre, author link, author name, last cell). It holds a copy of the shown record numbers
// and a share of the records and of the page text they point into, so its rows stay readable
// whatever is loaded later; texts are decoded only when a cell is drawn.
class TRecordTableModel : public QAbstractTableModel {
public:
    static constexpr int kColumnCount = TZRecord::kFieldCount;

    explicit TRecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

    // Replaces every row by the records catalogue shows now, in order.
    void ShowRecords(const CFolianta& catalogue);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const char[]> page;
    std::shared_ptr<const std::vector<TZRecord>> records;
    std::vector<std::uint32_t> rows;  // record numbers in records
};
