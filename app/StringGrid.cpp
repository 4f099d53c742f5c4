#include "app/StringGrid.h"

#include <QApplication>
#include <QClipboard>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTextLayout>
#include <QtMath>
#include <utility>

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

// Draws a cell as the stock delegate does (background, selection, focus frame from the style;
// the text on one line, cut with the elide mode where it does not fit), but shapes the text once
// where it fits instead of three times: text shaping is most of a table's paint, and the table
// is painted after every change of the filter.
class TSingleLineDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        QStyleOptionViewItem cell = option;
        initStyleOption(&cell, index);
        // Two kinds of cell are left to the stock drawing, being rare: a text of several lines
        // (its line feeds became line separators), and the current cell, whose focus frame the
        // style may draw over the text.
        if ((cell.state & QStyle::State_HasFocus) || cell.text.contains(QChar::LineSeparator)) {
            QStyledItemDelegate::paint(painter, option, index);
            return;
        }
        const QString text = std::exchange(cell.text, QString());
        const QWidget* widget = cell.widget;
        const QStyle* style = widget ? widget->style() : QApplication::style();
        // Drawn without its text, the cell costs the style no text layout.
        style->drawControl(QStyle::CE_ItemViewItem, &cell, painter, widget);
        if (text.isEmpty()) {
            return;
        }
        const int margin = style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, widget) + 1;
        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &cell, widget)
                               .adjusted(margin, 0, -margin, 0);
        painter->save();
        painter->setClipRect(cell.rect);
        painter->setPen(cell.palette.color(
            TextGroup(cell.state),
            cell.state & QStyle::State_Selected ? QPalette::HighlightedText : QPalette::Text));
        QTextLayout line(text, cell.font, painter->device());
        line.setTextOption(LineOptions(cell));
        if (LayOut(line, area.width()) > area.width()) {
            line.setText(cell.fontMetrics.elidedText(text, cell.textElideMode, area.width()));
            LayOut(line, area.width());
        }
        const int height = qCeil(line.lineAt(0).height());
        const QRect placed =
            QStyle::alignedRect(cell.direction, cell.displayAlignment & Qt::AlignVertical_Mask,
                                QSize(area.width(), height), area);
        line.draw(painter, QPointF(area.x(), placed.y()));
        painter->restore();
    }

private:
    static QPalette::ColorGroup TextGroup(QStyle::State state) {
        if (!(state & QStyle::State_Enabled)) {
            return QPalette::Disabled;
        }
        return state & QStyle::State_Active ? QPalette::Normal : QPalette::Inactive;
    }

    static QTextOption LineOptions(const QStyleOptionViewItem& cell) {
        QTextOption options;
        options.setWrapMode(QTextOption::ManualWrap);
        options.setTextDirection(cell.direction);
        options.setAlignment(QStyle::visualAlignment(cell.direction, cell.displayAlignment));
        return options;
    }

    // Lays the whole text out as one line width wide; returns the width the text needs.
    static qreal LayOut(QTextLayout& line, int width) {
        line.beginLayout();
        QTextLine only = line.createLine();
        only.setLineWidth(width);
        line.endLayout();
        return only.naturalTextWidth();
    }
};

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
    setItemDelegate(new TSingleLineDelegate(this));
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

void TStringGrid::keyPressEvent(QKeyEvent* event) {
    // The view's own copy takes the current cell only.
    if (event->matches(QKeySequence::Copy)) {
        if (const QString text = SelectedText(); !text.isEmpty()) {
            QGuiApplication::clipboard()->setText(text);
        }
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
