#include "app/CheckListBox.h"

#include <QResizeEvent>

namespace {

// Runs a change of the program's own without raising the user's tick event.
class ProgramChange {
public:
    explicit ProgramChange(int& depth) : depth(depth) { ++depth; }
    ~ProgramChange() { --depth; }

private:
    int& depth;
};

}  // namespace

TCheckListBox::TCheckListBox(int columns, int itemHeight, QWidget* parent)
    : QListWidget(parent), columns(columns), itemHeight(itemHeight) {
    setFlow(QListView::TopToBottom);
    setWrapping(true);
    setResizeMode(QListView::Adjust);
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
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

QString TCheckListBox::ItemText(int index) const { return item(index)->text(); }

bool TCheckListBox::Checked(int index) const { return item(index)->checkState() == Qt::Checked; }

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
