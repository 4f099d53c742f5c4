#pragma once

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "app/StringGrid.h"
#include "catalogue/Unitfolianta.h"

class TAnchors;

// The author-list dialog: a modeless window of its own, created hidden at start-up, that edits a
// working copy of one of the catalogue's author lists and writes it back on "Применить". Closing
// it only hides it. Nothing here refilters the result table.
class TFormAutorList : public QWidget {
public:
    // Builds the designed window, hidden, bound to no list.
    explicit TFormAutorList(QWidget* parent = nullptr);

    // Takes a copy of list to edit, binds the dialog to list for "Применить", shows the copy
    // and brings the dialog to the front. list must outlive the binding (the catalogue's lists
    // live for the whole run); unapplied edits of an earlier opening are dropped.
    void OpenList(TAutorList& list);
    // Rewrites the grid from editList: the header row, then one row per entry; an empty list
    // shows one blank row.
    void FillGrid();
    // "Добавить": appends the three edits' texts as a new entry of the working copy.
    void AddClick();
    // "Удалить": removes the entry of the selection's top row from the working copy, if it has
    // one.
    void DelClick();
    // "Применить": the bound list becomes a copy of the working copy; nothing before the first
    // OpenList.
    void SetClick();

    TStringGrid* AL;
    QGroupBox* GroupBox1;
    QPushButton* Del;
    QPushButton* Add;
    QLineEdit* NameEdit;
    QLabel* Label1;
    QLineEdit* LinkEdit;
    QLabel* Label2;
    QPushButton* Set;
    QLineEdit* CommnentEdit;
    QLabel* Label3;

    // The working copy every edit of the dialog changes.
    TAutorList editList;
    // The list "Применить" replaces; not owned, null until the first OpenList.
    TAutorList* targetList = nullptr;

private:
    TStringGridModel* alCells;
    TAnchors* anchors;
};

extern TFormAutorList* FormAutorList;
