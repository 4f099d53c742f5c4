#pragma once

#include <QElapsedTimer>
#include <QString>
#include <memory>

#include "net/UnitHttp.h"

class QProgressDialog;
class QWidget;

// The window side of a running get. It keeps the program's windows painting while the get
// waits, and once the get has run for kShowAfterMs it shows a modal progress dialog with the
// address, the bytes received, the share done when the length is known, and a cancel button
// that cancels the get. Before the dialog shows, input stays queued; once it shows, it blocks
// input to every other window: either way no other handler runs while the get does.
class TDownloadProgress final : public TFetchMonitor {
public:
    static constexpr int kShowAfterMs = 500;

    // parent: the window the dialog belongs to; address: as the user typed it.
    TDownloadProgress(QWidget* parent, QString address);
    // Closes the dialog.
    ~TDownloadProgress() override;

    bool Progress(std::int64_t received, std::int64_t length) override;

private:
    void ShowDialog();
    void ShowProgress(std::int64_t received, std::int64_t length);

    QWidget* parent;
    QString address;
    QElapsedTimer running;
    std::unique_ptr<QProgressDialog> dialog;
};
