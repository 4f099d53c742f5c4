#pragma once

#include <QMenu>
#include <functional>
#include <optional>

class QAction;
class TStringGrid;

// The commands of the result table's context menu; each acts on the table's selection as the
// window's own command of that name does. An exception leaving one is shown in the error box.
struct TTableCommands {
    std::function<void()> openWork;
    std::function<void()> openAuthor;
    std::function<void()> copy;
    std::function<void()> addAuthor;
    std::function<void()> excludeAuthor;
    // Whether the work of the selection's top row is seen; nullopt when that is not known (no
    // history, no work).
    std::function<std::optional<bool>()> seen;
    // Marks the work of the selection's top row seen (true) or unseen (false).
    std::function<void(bool seen)> markSeen;
    // Whether some work of the selection is not hidden (true) / is hidden (false).
    std::function<bool(bool hidden)> canSetHidden;
    // Hides the works of the selection (true), or shows them again (false).
    std::function<void(bool hidden)> setHidden;
};

// The context menu of table, opened by the right button on a cell (a cell outside the
// selection is selected first), by the Menu key and by Shift+F10 (on the current cell). Where
// no cell is under the pointer, or the table has no current cell, it does not open. The Delete
// key on the table hides the selection's works.
class TTableMenu : public QMenu {
public:
    TTableMenu(TStringGrid* table, TTableCommands commands);

    // Opens at pos of the table's viewport on the cell there; false when there is none.
    bool OpenAt(const QPoint& pos);

    QAction* OpenWork;
    QAction* OpenAuthor;
    QAction* Copy;
    QAction* AddAuthor;
    QAction* ExcludeAuthor;
    // "Отметить просмотренным" or "Отметить непросмотренным", as the row's work is.
    QAction* MarkSeen;
    QAction* Hide;     // "Скрыть"
    QAction* Restore;  // "Вернуть"

private:
    QAction* AddCommand(const QString& text, std::function<void()> command);
    void OpenOnCurrentCell();

    TStringGrid* table;
    TTableCommands commands;
};
