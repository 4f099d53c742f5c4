#include "app/CheckListBox.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QStyledItemDelegate>

namespace {

// Runs a change of the program's own without raising the user's tick event.
class ProgramChange {
public:
    explicit ProgramChange(int& depth) : depth(depth) { ++depth; }
    ~ProgramChange() { --depth; }

private:
    int& depth;
};

// Draws an item as a tick box that fits the item height and the text right after it, with the
// narrow margins of a classic check list, so that long genre names fit their column.
class CompactCheckDelegate : public QStyledItemDelegate {
public:
    CompactCheckDelegate(int itemHeight, QObject* parent)
        : QStyledItemDelegate(parent), boxSize(itemHeight - 2) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QStyle* style = option.widget ? option.widget->style() : QApplication::style();
        QStyleOptionButton box;
        box.rect = BoxRect(option.rect);
        box.state = QStyle::State_Enabled | (Checked(index) ? QStyle::State_On : QStyle::State_Off);
        style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, option.widget);
        const QRect text =
            option.rect.adjusted(box.rect.right() + kGap - option.rect.left(), 0, 0, 0);
        painter->setFont(option.font);
        painter->setPen(option.palette.color(QPalette::Text));
        painter->drawText(
            text, Qt::AlignVCenter | Qt::AlignLeft | Qt::TextSingleLine,
            option.fontMetrics.elidedText(index.data().toString(), Qt::ElideRight, text.width()));
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        return {kMargin + boxSize + kGap +
                    option.fontMetrics.horizontalAdvance(index.data().toString()) + kMargin,
                boxSize + 2};
    }

    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override {
        const bool clickOnBox =
            event->type() == QEvent::MouseButtonRelease &&
            static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton &&
            BoxRect(option.rect).contains(static_cast<QMouseEvent*>(event)->position().toPoint());
        const bool space = event->type() == QEvent::KeyPress &&
                           static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space;
        if (!clickOnBox && !space) {
            return false;
        }
        return model->setData(index, Checked(index) ? Qt::Unchecked : Qt::Checked,
                              Qt::CheckStateRole);
    }

private:
    static constexpr int kMargin = 2;
    static constexpr int kGap = 3;

    static bool Checked(const QModelIndex& index) {
        return index.data(Qt::CheckStateRole).toInt() == Qt::Checked;
    }
    QRect BoxRect(const QRect& item) const {
        return {item.left() + kMargin, item.top() + (item.height() - boxSize) / 2, boxSize,
                boxSize};
    }

    int boxSize;
};

}  // namespace

TCheckListBox::TCheckListBox(int columns, int itemHeight, QWidget* parent)
    : QListWidget(parent), columns(columns), itemHeight(itemHeight) {
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setItemDelegate(new CompactCheckDelegate(itemHeight, this));
    connect(this, &QListWidget::itemChanged, this, [this](QListWidgetItem*) {
        if (programChanges == 0 && onClickCheck) {
            onClickCheck();
        }
    });
    UpdateGrid();
}

void TCheckListBox::Clear() {
    ProgramChange change(programChanges);
    clear();
}

void TCheckListBox::AddItem(const QString& text) {
    ProgramChange change(programChanges);
    auto* item = new QListWidgetItem(text, this);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
}

QString TCheckListBox::ItemText(int index) const {
    return item(index)->text();
}

bool TCheckListBox::Checked(int index) const {
    return item(index)->checkState() == Qt::Checked;
}

void TCheckListBox::SetChecked(int index, bool checked) {
    ProgramChange change(programChanges);
    item(index)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
}

void TCheckListBox::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    UpdateGrid();
}

void TCheckListBox::UpdateGrid() {
    setGridSize(QSize(qMax(1, viewport()->width() / columns), itemHeight));
}
