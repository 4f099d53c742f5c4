#include "app/FormStyle.h"

#include <QCoreApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QPushButton>
#include <QTranslator>
#include <QValidator>

namespace {
// Metric-compatible with the common sans-serif dialog fonts the layout was drawn for.
constexpr const char* kFontFamily = "Liberation Sans";
constexpr int kFontPixelSize = 10;

// Keeps a one-line edit on one line: a line break that comes in with pasted or set text becomes
// a space.
class NoLineBreaks : public QValidator {
public:
    using QValidator::QValidator;

    State validate(QString& input, int&) const override {
        for (QChar& c : input) {
            if (c == u'\r' || c == u'\n') {
                c = u' ';
            }
        }
        return Acceptable;
    }
};

}  // namespace

void ApplyFormStyle(QWidget* window) {
    QFont font(kFontFamily);
    font.setPixelSize(kFontPixelSize);
    window->setFont(font);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    window->setPalette(palette);
    window->setAutoFillBackground(true);
}

QPushButton* MakeButton(const QString& caption, QRect designed, QWidget* parent) {
    auto* button = new QPushButton(caption, parent);
    button->setGeometry(designed);
    return button;
}

QLineEdit* MakeLineEdit(int maxLength, QRect designed, QWidget* parent) {
    auto* edit = new QLineEdit(parent);
    edit->setMaxLength(maxLength);
    edit->setValidator(new NoLineBreaks(edit));
    edit->setGeometry(designed);
    return edit;
}

void InstallRussianQtTexts(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::Russian), QStringLiteral("qtbase"), QStringLiteral("_"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        QCoreApplication::installTranslator(translator);
    } else {
        delete translator;
    }
}
