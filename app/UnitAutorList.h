#pragma once

#include <QWidget>

// The author-list dialog: a modeless window of its own, created hidden at start-up; closing it
// only hides it.
class TFormAutorList : public QWidget {
public:
    explicit TFormAutorList(QWidget* parent = nullptr);
};

extern TFormAutorList* FormAutorList;
