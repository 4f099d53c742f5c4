#pragma once

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <fstream>
#include <memory>

#include "app/ErrorBox.h"
#include "app/ProgramSettings.h"
#include "app/Unit1.h"
#include "tests/support/PageGenerator.h"
#include "tests/support/ListingRows.h"

// The controls of window: its own child widgets and those of its group boxes.
inline QList<QWidget*> Controls(QWidget* window) {
    QList<QWidget*> controls = window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QGroupBox* box : window->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly)) {
        controls += box->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    }
    return controls;
}

// What a screen reader says a widget is called.
inline QString AccessibleName(QWidget* widget) {
    QAccessibleInterface* face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

// Makes window the active one, so that focus moves and key presses act as a user's would.
inline void Activate(QWidget* window) {
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
}

// While it lives, answers every file dialog: chooses path, or cancels when path is empty; counts
// the dialogs and keeps the folder the last one started in.
struct FileDialogAnswer {
    explicit FileDialogAnswer(const QString& path) {
        QObject::connect(&poll, &QTimer::timeout, [this, path] {
            if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                ++dialogs;
                startFolder = dialog->directory().absolutePath();
                dialog->selectFile(path);
                path.isEmpty() ? dialog->reject() : static_cast<QDialog*>(dialog)->accept();
            }
        });
        poll.start(10);
    }

    int dialogs = 0;
    QString startFolder;
    QTimer poll;
};

// Each test runs in a working folder of its own, with its own catalogue store and a fresh
// settings file of the program, and records the error boxes the window would show instead of
// blocking on them.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(folder.isValid());
        previousFolder = QDir::currentPath();
        QDir::setCurrent(folder.path());
        QFile::remove(TProgramSettings::Path());
        previousPresenter =
            SetErrorPresenter([this](QWidget*, const QString& title, const QString& text) {
                errors << title + "|" + text;
            });
    }
    void TearDown() override {
        form.reset();
        SetErrorPresenter(previousPresenter);
        QDir::setCurrent(previousFolder);
    }

    static void WriteFile(const std::string& name, const std::string& bytes) {
        std::ofstream(name, std::ios::binary) << bytes;
    }
    // A page of one row per size text; row i has title "T<i>" and author "/a<i % authors>/".
    static std::string PageOfSizes(const std::vector<std::string>& sizes, int authors = 1000) {
        std::string page;
        for (std::size_t i = 0; i < sizes.size(); ++i) {
            const std::string n = std::to_string(i);
            const std::string a = std::to_string(int(i) % authors);
            page += ListingRow({"/w/" + n + ".shtml", "T" + n, sizes[i], "Genre", "/a" + a + "/",
                                "Author " + a, n}) +
                    "\n";
        }
        return page;
    }
    TForm1& Open() {
        form = std::make_unique<TForm1>(store, HistoryPath());
        form->show();
        return *form;
    }
    // Handles events until the history's marks of the page shown have come.
    void WaitForMarks() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return form->MarksShown(); }, 10'000));
    }
    // The titles in the table, in row order.
    QStringList Titles() const {
        QStringList titles;
        for (int r = 1; r < form->Table1->RowCount(); ++r) {
            titles << form->Table1->Cell(0, r);
        }
        return titles;
    }

    // Each test's own history of works, beside its working folder's files.
    std::string HistoryPath() const { return folder.filePath("data/history.sqlite").toStdString(); }

    QTemporaryDir folder;
    QString previousFolder;
    ErrorPresenter previousPresenter;
    CFolianta store;
    std::unique_ptr<TForm1> form;
    QStringList errors;
};
