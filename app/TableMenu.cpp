#include "app/TableMenu.h"

#include <QKeySequence>
#include <QShortcut>

#include "app/ErrorBox.h"
#include "app/StringGrid.h"

TTableMenu::TTableMenu(TStringGrid* table, TTableCommands commands)
    : QMenu(table), table(table), commands(std::move(commands)) {
    OpenWork = AddCommand(QStringLiteral("Открыть произведение"), this->commands.openWork);
    OpenAuthor = AddCommand(QStringLiteral("Открыть страницу автора"), this->commands.openAuthor);
    Copy = AddCommand(QStringLiteral("Копировать"), this->commands.copy);
    // Shown beside the item only: the grid itself answers the key.
    Copy->setShortcut(QKeySequence::Copy);
    Copy->setShortcutContext(Qt::WidgetShortcut);
    addSeparator();
    AddAuthor = AddCommand(QStringLiteral("Добавить автора"), this->commands.addAuthor);
    ExcludeAuthor = AddCommand(QStringLiteral("Исключить автора"), this->commands.excludeAuthor);
    addSeparator();
    MarkSeen = AddCommand(QString(), [this] {
        if (const std::optional<bool> seen = this->commands.seen()) {
            this->commands.markSeen(!*seen);
        }
    });
    Hide = AddCommand(QStringLiteral("Скрыть"), [this] { this->commands.setHidden(true); });
    Hide->setShortcut(Qt::Key_Delete);  // shown beside the item; the table's shortcut below acts
    Hide->setShortcutContext(Qt::WidgetShortcut);
    Restore = AddCommand(QStringLiteral("Вернуть"), [this] { this->commands.setHidden(false); });

    table->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(table, &QWidget::customContextMenuRequested, this, &TTableMenu::OpenAt);
    for (const QKeySequence& key :
         {QKeySequence(Qt::Key_Menu), QKeySequence(Qt::SHIFT | Qt::Key_F10)}) {
        connect(new QShortcut(key, table, nullptr, nullptr, Qt::WidgetShortcut),
                &QShortcut::activated, this, &TTableMenu::OpenOnCurrentCell);
    }
    connect(new QShortcut(Qt::Key_Delete, table, nullptr, nullptr, Qt::WidgetShortcut),
            &QShortcut::activated, this,
            Guarded(table, [this] { this->commands.setHidden(true); }));
}

QAction* TTableMenu::AddCommand(const QString& text, std::function<void()> command) {
    QAction* action = addAction(text);
    connect(action, &QAction::triggered, this, Guarded(table, std::move(command)));
    return action;
}

bool TTableMenu::OpenAt(const QPoint& pos) {
    const QModelIndex cell = table->indexAt(pos);
    if (!cell.isValid()) {
        return false;
    }
    if (!table->selectionModel()->isSelected(cell)) {
        const int row = cell.row() + 1;
        table->Select({cell.column(), row, cell.column(), row});
    }
    const std::optional<bool> seen = commands.seen();
    MarkSeen->setText(seen && *seen ? QStringLiteral("Отметить непросмотренным")
                                    : QStringLiteral("Отметить просмотренным"));
    MarkSeen->setEnabled(seen.has_value());
    Hide->setEnabled(commands.canSetHidden(true));
    Restore->setEnabled(commands.canSetHidden(false));
    popup(table->viewport()->mapToGlobal(pos));
    return true;
}

void TTableMenu::OpenOnCurrentCell() {
    const QModelIndex current = table->currentIndex();
    if (current.isValid()) {
        table->scrollTo(current);
        OpenAt(table->visualRect(current).center());
    }
}
