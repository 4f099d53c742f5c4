#include "app/DownloadProgress.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLocale>
#include <QProgressDialog>

#include "app/FormStyle.h"

namespace {

// The bar's steps when the length is known: tenths of a percent.
constexpr int kBarSteps = 1000;
// The widest the address may be drawn before its middle is elided.
constexpr int kAddressWidth = 360;

QString Bytes(std::int64_t count) {
    return QLocale(QLocale::Russian, QLocale::Russia).toString(qlonglong(count));
}

}  // namespace

TDownloadProgress::TDownloadProgress(QWidget* parent, QString address)
    : parent(parent), address(std::move(address)) {
    running.start();
}

TDownloadProgress::~TDownloadProgress() = default;

bool TDownloadProgress::Progress(std::int64_t received, std::int64_t length) {
    if (!dialog && running.elapsed() >= kShowAfterMs) {
        ShowDialog();
    }
    if (!dialog) {
        // Input is kept for later rather than dropped: a click made now is handled after the get.
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        return false;
    }
    ShowProgress(received, length);
    QApplication::processEvents();
    return dialog->wasCanceled();
}

void TDownloadProgress::ShowDialog() {
    dialog = std::make_unique<QProgressDialog>(parent);
    ApplyFormStyle(dialog.get());
    dialog->setWindowTitle(QApplication::applicationName());
    dialog->setWindowModality(Qt::ApplicationModal);
    dialog->setCancelButtonText(QStringLiteral("Отмена"));
    // The dialog stays up until the get ends, at a full bar too.
    dialog->setAutoReset(false);
    dialog->setAutoClose(false);
    dialog->setMinimumDuration(0);
    dialog->show();
}

void TDownloadProgress::ShowProgress(std::int64_t received, std::int64_t length) {
    const QString shownAddress =
        QFontMetrics(dialog->font()).elidedText(address, Qt::ElideMiddle, kAddressWidth);
    QString text = QStringLiteral("Чтение со страници\n%1\n").arg(shownAddress);
    if (length > 0) {
        text += QStringLiteral("Получено %1 из %2 байт").arg(Bytes(received), Bytes(length));
        dialog->setRange(0, kBarSteps);
        dialog->setValue(int(std::min(received, length) * kBarSteps / length));
    } else {
        text += QStringLiteral("Получено %1 байт").arg(Bytes(received));
        dialog->setRange(0, 0);  // a busy bar: the share is unknown
    }
    dialog->setLabelText(text);
}
