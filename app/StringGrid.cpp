#include "app/StringGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>

namespace {

// Tabs and line feeds part the cells and rows of copied text, so inside a cell they are spaces.
QString CopiedCell(QString text) {
    for (QChar& c : text) {
        if (c == u'\t' || c == u'\r' || c == u'\n') {
            c = u' ';
        }
    }
    return text;
}

}  // namespace

TStringGrid::TStringGrid(QAbstractItemModel* cells, bool rangeSelect, int rowHeight,
                         QWidget* parent)
    : QTableView(parent) {
    setModel(cells);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setSelectionMode(rangeSelect ? QAbstractItemView::ContiguousSelection
                                 : QAbstractItemView::SingleSelection);
    setWordWrap(false);
    // Tab belongs to the window's tab order, not to moving between cells.
    setTabKeyNavigation(false);
    connect(this, &QAbstractItemView::doubleClicked, this, [this] {
        if (onDblClick) {
            onDblClick();
        }
    });
    verticalHeader()->hide();
    // Fixed row heights: sizing rows to their contents would visit every row of a large page.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(rowHeight);
    horizontalHeader()->setFixedHeight(rowHeight);
    horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(1);
}

QString TStringGrid::Cell(int col, int row) const {
    if (row == 0) {
        return model()->headerData(col, Qt::Horizontal, Qt::DisplayRole).toString();
    }
    return model()->index(row - 1, col).data(Qt::DisplayRole).toString();
}

void TStringGrid::SetColWidths(const std::vector<int>& widths) {
    for (std::size_t c = 0; c < widths.size(); ++c) {
        setColumnWidth(int(c), widths[c]);
    }
}

TGridRect TStringGrid::Selection() const {
    const QItemSelection selection = selectionModel()->selection();
    if (!selection.isEmpty()) {
        TGridRect r{INT_MAX, INT_MAX, -1, -1};
        for (const QItemSelectionRange& range : selection) {
            r.Left = qMin(r.Left, range.left());
            r.Top = qMin(r.Top, range.top() + 1);
            r.Right = qMax(r.Right, range.right());
            r.Bottom = qMax(r.Bottom, range.bottom() + 1);
        }
        return r;
    }
    const QModelIndex current = currentIndex();
    if (current.isValid()) {
        return {current.column(), current.row() + 1, current.column(), current.row() + 1};
    }
    return {};
}

void TStringGrid::Select(const TGridRect& rect) {
    const QModelIndex topLeft = model()->index(rect.Top - 1, rect.Left);
    const QModelIndex bottomRight = model()->index(rect.Bottom - 1, rect.Right);
    setCurrentIndex(topLeft);
    selectionModel()->select(QItemSelection(topLeft, bottomRight),
                             QItemSelectionModel::ClearAndSelect);
}

QString TStringGrid::SelectedText() const {
    QString text;
    if (model()->rowCount() == 0) {
        return text;
    }
    const TGridRect cells = Selection();
    for (int row = cells.Top; row <= cells.Bottom; ++row) {
        for (int col = cells.Left; col <= cells.Right; ++col) {
            if (col > cells.Left) {
                text += u'\t';
            }
            text += CopiedCell(Cell(col, row));
        }
        text += u'\n';
    }
    return text;
}

void TStringGrid::CopySelection() const {
    if (const QString text = SelectedText(); !text.isEmpty()) {
        QGuiApplication::clipboard()->setText(text);
    }
}

void TStringGrid::keyPressEvent(QKeyEvent* event) {
    // The view's own copy takes the current cell only.
    if (event->matches(QKeySequence::Copy)) {
        CopySelection();
        event->accept();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && onDblClick && currentIndex().isValid()) {
        event->accept();
        onDblClick();
        return;
    }
    QTableView::keyPressEvent(event);
}

TStringGridModel::TStringGridModel(int colCount, int rowCount, QObject* parent)
    : QAbstractTableModel(parent), colCount(colCount) {
    rows.assign(std::size_t(qMax(1, rowCount)), std::vector<QString>(std::size_t(colCount)));
}

void TStringGridModel::SetRowCount(int count) {
    const int wanted = qMax(1, count);
    const int now = int(rows.size());
    if (wanted > now) {
        beginInsertRows({}, now - 1, wanted - 2);
        rows.resize(std::size_t(wanted), std::vector<QString>(std::size_t(colCount)));
        endInsertRows();
    } else if (wanted < now) {
        beginRemoveRows({}, wanted - 1, now - 2);
        rows.resize(std::size_t(wanted));
        endRemoveRows();
    }
}

void TStringGridModel::SetCell(int col, int row, const QString& text) {
    if (col < 0 || col >= colCount || row < 0 || row >= int(rows.size())) {
        return;
    }
    rows[std::size_t(row)][std::size_t(col)] = text;
    if (row == 0) {
        emit headerDataChanged(Qt::Horizontal, col, col);
    } else {
        const QModelIndex i = index(row - 1, col);
        emit dataChanged(i, i, {Qt::DisplayRole});
    }
}

int TStringGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows.size()) - 1;
}

int TStringGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : colCount;
}

QVariant TStringGridModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid) ||
        role != Qt::DisplayRole) {
        return {};
    }
    return rows[std::size_t(index.row()) + 1][std::size_t(index.column())];
}

QVariant TStringGridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= colCount) {
        return {};
    }
    return rows[0][std::size_t(section)];
}
