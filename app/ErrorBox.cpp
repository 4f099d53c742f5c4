#include "app/ErrorBox.h"

#include <QApplication>
#include <QMessageBox>

#include "app/Cp1251.h"

namespace {

ErrorPresenter& Presenter() {
    static ErrorPresenter presenter;
    return presenter;
}

}  // namespace

QString WithFullStop(const QString& message) {
    if (message.isEmpty() || message.back() <= QChar(u'.')) {
        return message;
    }
    return message + u'.';
}

void ShowErrorBox(QWidget* parent, const QString& message) {
    const QString title = QApplication::applicationName();
    const QString text = WithFullStop(message);
    if (Presenter()) {
        Presenter()(parent, title, text);
        return;
    }
    QMessageBox::critical(parent, title, text, QMessageBox::Ok);
}

ErrorPresenter SetErrorPresenter(ErrorPresenter presenter) {
    return std::exchange(Presenter(), std::move(presenter));
}

void ShowCurrentException(QWidget* parent) {
    QString message;
    try {
        throw;
    } catch (const std::exception& e) {
        message = DecodeCp1251(e.what());
    } catch (...) {
    }
    ShowErrorBox(parent, message);
}
