#include <QClipboard>
#include <QContextMenuEvent>
#include <QMimeData>
#include <QProcess>

#include "app/TableMenu.h"
#include "tests/gui/WindowFixture.h"
#include "tests/support/TestDesktop.h"

namespace {

TEST_F(WindowTest, ReadFromFileAsksForAPageOnlyWithoutTheFixedFile) {
    TForm1& w = Open();
    QDir().mkdir("pages");
    WriteFile("pages/p.html", PageOfSizes({"1k", "2k"}));
    {
        const FileDialogAnswer choose(QDir::current().filePath("pages/p.html"));
        w.Button1->click();
        EXPECT_EQ(choose.dialogs, 1);
    }
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"}));
    EXPECT_EQ(w.UnseenCheck->text(), QString::fromUtf8("Только непросмотренные (2)"));
    {
        const FileDialogAnswer cancel({});
        w.OpenPageAction->trigger();
        EXPECT_EQ(cancel.startFolder, QDir::current().filePath("pages")) << "the last folder";
    }
    WriteFile("H:\\long.shtml", PageOfSizes({"7k"}));
    const FileDialogAnswer none({});
    w.Button1->click();
    EXPECT_EQ(none.dialogs, 0);
    EXPECT_EQ(Titles(), QStringList({"T0"}));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(WindowTest, APageFileThatCannotBeReadIsToldByNameAndReason) {
    WriteFile("short.shtml", PageOfSizes({"1k"}));
    TForm1& w = Open();
    QDir().mkdir("folder.shtml");
    const struct {
        const char* path;
        const char* reason;
    } rows[] = {
        {"missing.shtml", "файл или папка не найдены"},
        {"folder.shtml", "это папка, а не файл"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.path);
        errors.clear();
        QMimeData dropped;
        dropped.setUrls({QUrl::fromLocalFile(QDir::current().filePath(row.path))});
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(&w, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
        QApplication::sendEvent(&w, &drop);
        ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); })) << "told once dropped";
        EXPECT_EQ(errors.size(), 1);
        EXPECT_TRUE(errors[0].contains(
            QString::fromUtf8("Не удалось прочитать страницу из «%1»: %2")
                .arg(QDir::current().filePath(row.path), QString::fromUtf8(row.reason))))
            << errors[0].toStdString();
        EXPECT_EQ(Titles(), QStringList({"T0"})) << "the page shown stays";
    }
}

TEST_F(WindowTest, TheProgramShowsAndRecordsThePageNamedOnItsCommandLine) {
    WriteFile("page.shtml", PageOfSizes({"1k", "2k"}));
    QProcess program;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", folder.filePath("data"));
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    program.setProcessEnvironment(environment);
    program.start(FOLIANTA_PROGRAM, {QDir::current().filePath("page.shtml")});
    ASSERT_TRUE(program.waitForStarted());
    const std::string history = folder.filePath("data/folianta/history.sqlite").toStdString();
    bool recorded = false;
    for (int wait = 0; wait < 200 && !recorded; ++wait) {
        QTest::qWait(50);
        recorded = QFile::exists(QString::fromStdString(history)) &&
                   CHistory(history, std::time(nullptr)).Details("/w/1.shtml").has_value();
    }
    program.kill();
    program.waitForFinished();
    EXPECT_TRUE(recorded) << "the works of the page are in the history";
}

TEST_F(WindowTest, TheTableMenuActsOnTheRowUnderThePointerOfASortedTable) {
    WriteFile("short.shtml", PageOfSizes({"2k", "30k", "1k"}));
    TForm1& w = Open();
    w.Table1HeaderClick(2);
    ASSERT_EQ(Titles(), QStringList({"T2", "T0", "T1"}));
    const auto openOnRow = [&](int row) {
        w.Table1Menu->hide();
        const QPoint at = w.Table1->visualRect(w.Table1->model()->index(row - 1, 0)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at,
                                w.Table1->viewport()->mapToGlobal(at));
        QApplication::sendEvent(w.Table1->viewport(), &click);
        EXPECT_TRUE(w.Table1Menu->isVisible());
        EXPECT_EQ(w.Table1->Selection(), (TGridRect{0, row, 0, row}));
    };
    openOnRow(2);
    w.Table1Menu->AddAuthor->trigger();
    w.Table1Menu->ExcludeAuthor->trigger();
    ASSERT_EQ(store.autorList1.size(), 1u);
    EXPECT_STREQ(store.autorList1[0].link, "/a0/");
    EXPECT_STREQ(store.autorList2[0].link, "/a0/");
    w.Table1Menu->OpenWork->trigger();
    EXPECT_EQ(testdesktop::WaitForRecord(), testdesktop::Args{FOLIANTA_SITE_HOST "/w/0.shtml"});
    w.Table1Menu->OpenAuthor->trigger();
    EXPECT_EQ(testdesktop::WaitForRecord(), testdesktop::Args{FOLIANTA_SITE_HOST "/a0/"});
    w.Table1Menu->Copy->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "T0\n");
    EXPECT_EQ(w.Table1Menu->Copy->shortcut(), QKeySequence(QKeySequence::Copy));

    openOnRow(3);
    EXPECT_EQ(w.Table1Menu->MarkSeen->text(), QString::fromUtf8("Отметить просмотренным"));
    w.Table1Menu->MarkSeen->trigger();
    EXPECT_EQ(w.UnseenCheck->text(), QString::fromUtf8("Только непросмотренные (1)"))
        << "T0 was seen when opened";
    openOnRow(3);
    EXPECT_EQ(w.Table1Menu->MarkSeen->text(), QString::fromUtf8("Отметить непросмотренным"));
    w.Table1Menu->MarkSeen->trigger();
    EXPECT_EQ(w.UnseenCheck->text(), QString::fromUtf8("Только непросмотренные (2)"));

    w.Table1Menu->hide();
    ASSERT_NO_FATAL_FAILURE(Activate(&w));
    w.Table1->setFocus();
    w.Table1->setCurrentIndex(w.Table1->model()->index(0, 5));
    QTest::keyClick(w.Table1, Qt::Key_F10, Qt::ShiftModifier);
    EXPECT_TRUE(w.Table1Menu->isVisible()) << "Shift+F10 opens it on the current cell";
    EXPECT_EQ(w.Table1->Selection(), (TGridRect{5, 1, 5, 1}));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

}  // namespace
