#pragma once

#include <QAbstractTableModel>
#include <QTableView>
#include <functional>
#include <vector>

// A rectangle of grid cells, in grid coordinates (row 0 is the fixed header row).
struct TGridRect {
    int Left = 0;
    int Top = 1;
    int Right = 0;
    int Bottom = 1;
    bool operator==(const TGridRect&) const = default;
};

// A read-only grid of text cells with one fixed header row. Grid row 0 is the view's horizontal
// header; grid row r (from 1) is model row r - 1, so a grid without data rows still shows its
// header. The cells come from any table model. From the keyboard: arrows move inside the grid,
// Tab and Shift+Tab move the focus on along the window's tab order, Enter or Return acts as a
// double click on the current cell, and Ctrl+C copies SelectedText to the clipboard. Cells are
// drawn by the toolkit's stock delegate, on one line, with an ellipsis where the text does not fit.
class TStringGrid : public QTableView {
public:
    TStringGrid(QAbstractItemModel* cells, bool rangeSelect, int rowHeight, QWidget* parent);

    int ColCount() const { return model()->columnCount(); }
    // Rows including the header row.
    int RowCount() const { return model()->rowCount() + 1; }
    // The text of a cell; row 0 is the header. Outside the grid: the empty text.
    QString Cell(int col, int row) const;
    void SetColWidths(const std::vector<int>& widths);
    // The selected cells; with nothing selected, the current cell, else the first data cell.
    TGridRect Selection() const;
    // Selects the rectangle (grid coordinates), as a user's click or drag would.
    void Select(const TGridRect& rect);
    // The cells of Selection() as text: one line per row, each ended by a line feed, cells
    // separated by tabs; a tab or line break inside a cell becomes a space, so the shape holds.
    // Empty when the grid has no data rows.
    QString SelectedText() const;
    // Puts SelectedText on the clipboard, as Ctrl+C does; an empty grid leaves it alone.
    void CopySelection() const;

    // Raised by a double click on a cell and by Enter or Return while a cell is current.
    std::function<void()> onDblClick;

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

// Cells held as texts, for small grids whose program writes them one by one; row 0 holds the
// header texts.
class TStringGridModel : public QAbstractTableModel {
public:
    TStringGridModel(int colCount, int rowCount, QObject* parent);

    // Rows including the header row (at least 1). New rows are empty; cut rows are dropped.
    void SetRowCount(int rows);
    // Sets a cell of row 0 (header) or of a data row; outside the grid it does nothing.
    void SetCell(int col, int row, const QString& text);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    int colCount;
    std::vector<std::vector<QString>> rows;  // rows[0] is the header
};
