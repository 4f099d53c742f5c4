// The main window's page files: the one function that loads them, and the three ways a reader
// names one besides the fixed file: the file dialog, a drop and the command line (main.cpp).
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMimeData>
#include <QTimer>
#include <cerrno>

#include "app/ErrorBox.h"
#include "app/FileError.h"
#include "app/Unit1.h"

namespace {

constexpr const char* kPageReadFailed = "Не удалось прочитать страницу из";
const QString kPageFolderKey = QStringLiteral("files/pageFolder");

// The first local file of a drop; empty when it holds none.
QString DroppedFile(const QMimeData* data) {
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) {
            return url.toLocalFile();
        }
    }
    return {};
}

}  // namespace

void TForm1::OpenPageFile(const QString& path) {
    if (!store.LoadPage(QFile::encodeName(path).constData())) {
        const int error = errno;
        ThrowFileError(kPageReadFailed, path.toUtf8().constData(), error);
    }
    shownAddress.clear();  // a fetched page sets it again
    RecordHistory();
    Button4Click();
}

void TForm1::ChoosePageFile() {
    const QString path = QFileDialog::getOpenFileName(
        this, QStringLiteral("Открыть страницу"), programSettings.Text(kPageFolderKey),
        QStringLiteral("Страницы каталога (*.shtml *.html);;Все файлы (*)"));
    if (path.isEmpty()) {
        return;
    }
    programSettings.setValue(kPageFolderKey, QFileInfo(path).absolutePath());
    OpenPageFile(path);
}

void TForm1::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedFile(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void TForm1::dropEvent(QDropEvent* event) {
    const QString path = DroppedFile(event->mimeData());
    if (path.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // Once the drop is over: the file manager that dragged it waits until then, and an error
    // box would keep it waiting.
    QTimer::singleShot(0, this, Guarded(this, [this, path] { OpenPageFile(path); }));
}
