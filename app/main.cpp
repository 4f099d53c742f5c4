#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "app/ErrorBox.h"
#include "app/FormStyle.h"
#include "app/Unit1.h"
#include "app/UnitAutorList.h"
#include "history/Unithistory.h"

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    InstallRussianQtTexts(application);
    QCommandLineParser options;
    options.setApplicationDescription(QStringLiteral("Отбор произведений из списка каталога"));
    options.addHelpOption();
    options.addPositionalArgument(
        QStringLiteral("PAGE"), QStringLiteral("файл страницы каталога, показанный после запуска"));
    options.process(application);
    try {
        TForm1 form(catalogue, CHistory::DefaultPath());
        Form1 = &form;
        TFormAutorList dialog;
        FormAutorList = &dialog;
        form.SetAutorListDialog(FormAutorList);
        form.show();
        if (!options.positionalArguments().isEmpty()) {
            // Once the window is up, so that a page that cannot be read is told over it.
            const QString page = options.positionalArguments().first();
            QTimer::singleShot(0, &form,
                               Guarded(&form, [&form, page] { form.OpenPageFile(page); }));
        }
        QApplication::exec();
        FormAutorList = nullptr;
        Form1 = nullptr;
    } catch (...) {
        ShowCurrentException(nullptr);
    }
    return 0;
}
