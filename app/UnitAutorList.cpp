#include "app/UnitAutorList.h"

#include "app/FormStyle.h"

TFormAutorList* FormAutorList = nullptr;

TFormAutorList::TFormAutorList(QWidget* parent) : QWidget(parent, Qt::Window) {
    ApplyFormStyle(this);
    setWindowTitle(QStringLiteral("Список авторов"));
    // Only closing the main window ends the program, whether the dialog is shown or not.
    setAttribute(Qt::WA_QuitOnClose, false);
    move(192, 283);
    resize(747, 179);
}
