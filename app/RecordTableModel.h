#pragma once

#include <QAbstractTableModel>
#include <functional>
#include <memory>
#include <vector>

#include "catalogue/Unitfolianta_view.h"

// The cells of the result table: one row per shown work record, seven columns (title, work link,
// size, genre, author link, author name, last cell). It holds a copy of the shown record numbers
// and a share of the records and of the page text they point into, so its rows stay readable
// whatever is loaded later; texts are decoded only when a cell is drawn.
class TRecordTableModel : public QAbstractTableModel {
public:
    static constexpr int kColumnCount = TZRecord::kFieldCount;

    explicit TRecordTableModel(QObject* parent) : QAbstractTableModel(parent) {}

    // Replaces every row by the records view shows now, in order. marks, when given, holds the
    // history's TWorkMark bits of every record of the page: an unseen work is drawn bold, an
    // opened one in the palette's dimmed text colour.
    void ShowRecords(const CRecordView& view,
                     std::shared_ptr<const std::vector<std::uint8_t>> marks = nullptr);
    // Takes new marks for the page shown (null: none) and redraws every row with them.
    void SetMarks(std::shared_ptr<const std::vector<std::uint8_t>> marks);

    // The tooltip of an unseen work's title cell, given the record's number and its marks.
    std::function<QString(std::uint32_t, std::uint8_t)> titleTip;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    std::shared_ptr<const char[]> page;
    std::shared_ptr<const std::vector<TZRecord>> records;
    std::vector<std::uint32_t> rows;  // record numbers in records
    std::shared_ptr<const std::vector<std::uint8_t>> marks;  // by record number; may be null
};
