// What the window keeps across runs, the page files it opens and the table's context menu.
#include <QHeaderView>
#include <QMimeData>
#include <QProcess>
#include <QStandardItemModel>

#include "app/TableMenu.h"
#include "history/Unithistory.h"
#include "tests/gui/WindowFixture.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestDesktop.h"

namespace {

using testdesktop::Args;

void WriteProgramSettings(const std::string& bytes) {
    QDir().mkpath(QFileInfo(TProgramSettings::Path()).absolutePath());
    std::ofstream(TProgramSettings::Path().toStdString(), std::ios::binary) << bytes;
}

// What a window keeps across runs, in words.
QStringList Kept(const TForm1& w) {
    const QHeaderView* header = w.Table1->horizontalHeader();
    QStringList kept{QString::asprintf(
        "%dx%d, %d of %d columns, sort %d %d, unseen %d, proxy %d", w.width(), w.height(),
        w.Table1->columnWidth(0), header->count() - header->hiddenSectionCount(),
        header->sortIndicatorSection(), int(header->sortIndicatorOrder()),
        int(w.UnseenCheck->isChecked()), int(w.ProxyCheck->isChecked()))};
    kept << w.ProxyServer->text() + ":" + w.ProxyPort->text();
    for (int i = 0; i < w.ComboBox1->count(); ++i) {
        kept << w.ComboBox1->itemText(i);
    }
    return kept;
}

TEST_F(WindowTest, TheNextRunComesBackAsTheLastWasLeft) {
    WriteFile("short.shtml", PageOfSizes({"2k", "30k", "1k"}));
    TForm1& first = Open();
    first.resize(760, 520);
    const QHeaderView* header = first.Table1->horizontalHeader();
    first.Table1->setColumnWidth(0, 250);
    for (int click = 0; click < 2; ++click) {  // by size, descending
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          {header->sectionViewportPosition(2) + 5, 5});
    }
    first.UnseenCheck->setChecked(true);
    // Refused at once, but typed and used all the same: the last ten are kept, newest first.
    for (int i = 0; i < 12; ++i) {
        first.ComboBox1->setEditText(QStringLiteral("http://127.0.0.1:1/p%1").arg(i));
        first.Button2->click();
    }
    first.ProxyCheck->setChecked(true);
    first.ProxyServer->setText("proxy.lan");
    first.ProxyPort->setText("3128");
    const QStringList left = Kept(first);
    ASSERT_EQ(left.size(), 2 + 2 + 10) << "the two designed addresses, then ten typed";
    EXPECT_EQ(left[4] + " " + left[13], "http://127.0.0.1:1/p11 http://127.0.0.1:1/p2");
    ASSERT_TRUE(first.close());
    form.reset();
    EXPECT_EQ(Kept(Open()), left);
    EXPECT_EQ(Titles(), QStringList({"T1", "T0", "T2"}));
}

TEST_F(WindowTest, DamagedOrForeignSettingsReadAsTheDesignedValues) {
    QStandardItemModel model(1, 3);
    QTableView other;  // another table's columns: three, one hidden
    other.setModel(&model);
    other.horizontalHeader()->hideSection(1);
    const struct {
        const char* label;
        std::string file;
        QByteArray columns;
    } rows[] = {
        {"no INI at all", std::string("\0\xff[[=\n\x01@Variant(\x7f", 15), {}},
        {"values of other kinds",
         "[window]\ngeometry=@Rect(0 0 10 10)\n[table]\ncolumns=text\nsortColumn=7\n"
         "sortOrder=ascending\nunseenOnly=1\n[proxy]\nused=yes\nserver=a, b\nport=@Size(1 2)\n"
         "[addresses]\ntyped=@Point(1 2)\n[site]\nhost=user@real.example/path\n",
         {}},
        {"another table's columns", "", other.horizontalHeader()->saveState()},
    };
    const QStringList designed = Kept(Open());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        form.reset();
        WriteProgramSettings(row.file);
        if (!row.columns.isEmpty()) {
            TProgramSettings().setValue("table/columns", row.columns);
        }
        EXPECT_EQ(Kept(Open()), designed);
    }
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(WindowTest, LinksLeadToTheSiteOfTheSettingsOrOfTheLastFetch) {
    WriteFile("short.shtml", ListingRow({"/w/0.shtml", "T0", "1k", "G", "/a0/", "N0", "x"}));
    const std::string page = ListingRow({"/w/1.shtml", "T1", "1k", "G", "/a1/", "N1", "x"});
    ScriptedServer server({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                                std::to_string(page.size()) + "\r\n\r\n" + page)}});
    WriteProgramSettings("[site]\nhost=real.example:8080\n");
    Open().OpenWork();
    EXPECT_EQ(form->ComboBox1->itemText(1), "http://real.example:8080/long.shtml");
    EXPECT_EQ(testdesktop::WaitForRecord(), Args{"real.example:8080/w/0.shtml"});
    form->ComboBox1->setEditText(QString::fromStdString(server.Address("/short.shtml")));
    form->Button2->click();
    // A page read from a file afterwards: its links lead to the site last fetched from.
    for (const char* link : {"/w/1.shtml", "/w/0.shtml"}) {
        form->OpenWork();
        EXPECT_EQ(testdesktop::WaitForRecord(), Args{server.Address(link)});
        form->OpenPageFile("short.shtml");
    }
}

TEST_F(WindowTest, APageFileComesFromTheDialogADropOrTheCommandLine) {
    TForm1& w = Open();
    QDir().mkdir("pages");
    WriteFile("pages/p.html", PageOfSizes({"1k", "2k"}));
    {
        const FileDialogAnswer choose(QDir::current().filePath("pages/p.html"));
        w.Button1->click();  // no "H:\long.shtml" here
    }
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"}));
    WriteFile("H:\\long.shtml", PageOfSizes({"7k"}));
    const FileDialogAnswer cancel({});
    w.Button1->click();
    EXPECT_EQ(Titles(), QStringList({"T0"}));
    w.OpenPageAction->trigger();
    EXPECT_EQ(cancel.dialogs, 1) << "Ctrl+O only";
    EXPECT_EQ(cancel.startFolder, QDir::current().filePath("pages")) << "the last folder";

    QMimeData dropped;
    dropped.setUrls({QUrl::fromLocalFile(QDir::current().filePath("pages"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
    QApplication::sendEvent(&w, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &dropped, Qt::LeftButton, {});
    QApplication::sendEvent(&w, &drop);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !errors.isEmpty(); }));
    EXPECT_TRUE(errors[0].endsWith(
        QString::fromUtf8("«%1»: это папка, а не файл.").arg(QDir::current().filePath("pages"))));

    QProcess program;  // with the run's own XDG folders
    program.start(FOLIANTA_PROGRAM, {QDir::current().filePath("pages/p.html")});
    const std::string history = CHistory::DefaultPath();
    EXPECT_TRUE(QTest::qWaitFor([&] {
        try {
            return QFile::exists(QString::fromStdString(history)) &&
                   CDatabase(history, 1000).Integer("SELECT count(*) FROM works WHERE link = "
                                                    "CAST('/w/1.shtml' AS BLOB)") == 1;
        } catch (const CHistoryError&) {
            return false;  // not made yet
        }
    })) << "the page named on the command line is loaded and its works recorded";
    program.kill();
    program.waitForFinished();
}

TEST_F(WindowTest, TheTableMenuActsOnTheRowUnderThePointerOfASortedTable) {
    WriteFile("short.shtml", PageOfSizes({"2k", "30k", "1k"}));
    TForm1& w = Open();
    WaitForMarks();
    w.Table1HeaderClick(2);  // T2, T0, T1
    const auto openOnRow = [&](int row) {
        const QPoint at = w.Table1->visualRect(w.Table1->model()->index(row - 1, 0)).center();
        QContextMenuEvent click(QContextMenuEvent::Mouse, at,
                                w.Table1->viewport()->mapToGlobal(at));
        QApplication::sendEvent(w.Table1->viewport(), &click);
        EXPECT_TRUE(w.Table1Menu->isVisible());
        EXPECT_EQ(w.Table1->Selection(), (TGridRect{0, row, 0, row}));
    };
    openOnRow(2);
    w.Table1Menu->AddAuthor->trigger();
    ASSERT_EQ(store.autorList1.size(), 1u);
    EXPECT_STREQ(store.autorList1[0].link, "/a0/");
    w.Table1Menu->OpenWork->trigger();
    EXPECT_EQ(testdesktop::WaitForRecord(), Args{FOLIANTA_SITE_HOST "/w/0.shtml"});
    for (const char* mark : {"Отметить просмотренным", "Отметить непросмотренным"}) {
        openOnRow(3);
        EXPECT_EQ(w.Table1Menu->MarkSeen->text(), QString::fromUtf8(mark));
        w.Table1Menu->MarkSeen->trigger();
    }
    EXPECT_EQ(w.UnseenCheck->text(), QString::fromUtf8("Только непросмотренные (2)"))
        << "T0 seen once opened, T1 seen and unseen again";
}

}  // namespace
