#include <QApplication>

#include "app/ErrorBox.h"
#include "app/Unit1.h"
#include "app/UnitAutorList.h"
#include "history/Unithistory.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    try {
        TForm1 form(catalogue, CHistory::DefaultPath());
        Form1 = &form;
        TFormAutorList dialog;
        FormAutorList = &dialog;
        form.SetAutorListDialog(FormAutorList);
        form.show();
        QApplication::exec();
        FormAutorList = nullptr;
        Form1 = nullptr;
    } catch (...) {
        ShowCurrentException(nullptr);
    }
    return 0;
}
