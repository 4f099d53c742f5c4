#include <QHeaderView>
#include <QScreen>
#include <QStandardItemModel>
#include <QTableView>

#include "tests/gui/WindowFixture.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TestDesktop.h"

namespace {

void WriteProgramSettings(const std::string& bytes) {
    QDir().mkpath(QFileInfo(TProgramSettings::Path()).absolutePath());
    std::ofstream(TProgramSettings::Path().toStdString(), std::ios::binary) << bytes;
}

TEST_F(WindowTest, TheNextRunComesBackAsTheLastWasLeft) {
    WriteFile("short.shtml", PageOfSizes({"2k", "30k", "1k"}));
    TForm1& first = Open();
    first.resize(760, 520);
    first.Table1->horizontalHeader()->resizeSection(0, 250);
    const QHeaderView* header = first.Table1->horizontalHeader();
    for (int click = 0; click < 2; ++click) {  // by size, descending
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          {header->sectionViewportPosition(2) + 5, 5});
    }
    first.UnseenCheck->setChecked(true);
    // Refused at once, but typed and used all the same: the last ten are kept, newest first.
    for (int i = 0; i < 12; ++i) {
        first.ComboBox1->setEditText(QStringLiteral("http://127.0.0.1:1/p%1.shtml").arg(i));
        first.Button2->click();
    }
    first.ProxyCheck->setChecked(true);
    first.ProxyServer->setText("proxy.lan");
    first.ProxyPort->setText("3128");
    ASSERT_TRUE(first.close());
    form.reset();

    TForm1& w = Open();
    EXPECT_EQ(w.size(), QSize(760, 520));
    EXPECT_EQ(w.Table1->columnWidth(0), 250);
    EXPECT_EQ(w.Table1->columnWidth(1), 170);
    EXPECT_EQ(w.Table1->horizontalHeader()->sortIndicatorSection(), 2);
    EXPECT_EQ(w.Table1->horizontalHeader()->sortIndicatorOrder(), Qt::DescendingOrder);
    EXPECT_EQ(Titles(), QStringList({"T1", "T0", "T2"}));
    EXPECT_TRUE(w.UnseenCheck->isChecked());
    EXPECT_TRUE(w.ProxyCheck->isChecked());
    EXPECT_EQ(w.ProxyServer->text(), "proxy.lan");
    EXPECT_EQ(w.ProxyPort->text(), "3128");
    ASSERT_EQ(w.ComboBox1->count(), 12);
    EXPECT_TRUE(w.ComboBox1->itemText(0).endsWith("/short.shtml")) << "the designed items first";
    EXPECT_EQ(w.ComboBox1->itemText(2), "http://127.0.0.1:1/p11.shtml");
    EXPECT_EQ(w.ComboBox1->itemText(11), "http://127.0.0.1:1/p2.shtml");
    EXPECT_EQ(w.ComboBox1->currentIndex(), 0);
}

TEST_F(WindowTest, AWindowLeftOffEveryScreenComesBackOntoOne) {
    Open().move(9000, 9000);
    ASSERT_TRUE(form->close());
    form.reset();
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.intersects(Open().frameGeometry())) << form->x() << "," << form->y();
}

TEST_F(WindowTest, DamagedOrForeignSettingsReadAsTheDesignedValues) {
    // A header state of another table: three columns, one hidden.
    QStandardItemModel model(1, 3);
    QTableView other;
    other.setModel(&model);
    other.horizontalHeader()->hideSection(1);
    const QByteArray foreign = other.horizontalHeader()->saveState();
    QByteArray flipped = Open().Table1->horizontalHeader()->saveState();
    flipped[flipped.size() / 2] = char(~flipped[flipped.size() / 2]);
    form.reset();
    const struct {
        const char* label;
        std::string file;
        QByteArray columns;
    } rows[] = {
        {"no INI at all", std::string("\0\xff[[=\n\x01@Variant(\x7f", 15), {}},
        {"values of other kinds",
         "[window]\ngeometry=@Rect(0 0 10 10)\n[table]\ncolumns=text\nsortColumn=2\n"
         "sortOrder=sideways\nunseenOnly=1\n[proxy]\nused=yes\nserver=a, b\nport=@Size(1 2)\n"
         "[addresses]\ntyped=@Point(1 2)\n[site]\nhost=a b/c\n",
         {}},
        {"a column out of range", "[table]\nsortColumn=7\nsortOrder=ascending\n", {}},
        {"a header state cut short", "", flipped.left(flipped.size() / 3)},
        {"a header state with a byte flipped", "", flipped},
        {"another table's header state", "", foreign},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        WriteProgramSettings(row.file);
        if (!row.columns.isEmpty()) {
            TProgramSettings().setValue("table/columns", row.columns);
        }
        TForm1& w = Open();
        EXPECT_EQ(w.size(), QSize(877, 549));
        const QHeaderView* header = w.Table1->horizontalHeader();
        for (int c = 0; c < 7; ++c) {
            EXPECT_FALSE(header->isSectionHidden(c));
        }
        EXPECT_EQ(w.Table1->columnWidth(0), 193);
        EXPECT_TRUE(header->sectionsClickable());
        EXPECT_EQ(header->sortIndicatorSection(), -1);
        EXPECT_FALSE(w.UnseenCheck->isChecked());
        EXPECT_FALSE(w.ProxyCheck->isChecked());
        EXPECT_EQ(w.ProxyServer->text(), "localhost");
        EXPECT_EQ(w.ProxyPort->text(), "8080");
        EXPECT_EQ(w.ComboBox1->count(), 2);
        EXPECT_EQ(w.ComboBox1->itemText(0), "http://" FOLIANTA_SITE_HOST "/short.shtml");
        EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
        form.reset();
    }
}

TEST_F(WindowTest, LinksLeadToTheSiteOfTheSettingsOrOfTheLastFetch) {
    WriteFile("short.shtml", ListingRow({"/w/0.shtml", "T0", "1k", "G", "/a0/", "N0", "x"}));
    const struct {
        const char* host;
        std::string site;  // of the designed addresses
        std::string link;  // of the work opened
    } rows[] = {
        {"", "http://" FOLIANTA_SITE_HOST, FOLIANTA_SITE_HOST},
        {"real.example", "http://real.example", "real.example"},
        {"real.example:8080", "http://real.example:8080", "real.example:8080"},
        {"user@real.example", "http://" FOLIANTA_SITE_HOST, FOLIANTA_SITE_HOST},
        {"real.example/path", "http://" FOLIANTA_SITE_HOST, FOLIANTA_SITE_HOST},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.host);
        WriteProgramSettings(std::string("[site]\nhost=") + row.host + "\n");
        TForm1& w = Open();
        EXPECT_EQ(w.ComboBox1->itemText(0).toStdString(), row.site + "/short.shtml");
        EXPECT_EQ(w.ComboBox1->itemText(1).toStdString(), row.site + "/long.shtml");
        w.Table1->Select({0, 1, 0, 1});
        w.OpenWork();
        EXPECT_EQ(testdesktop::WaitForRecord(), testdesktop::Args{row.link + "/w/0.shtml"});
        form.reset();
    }

    const std::string page = ListingRow({"/w/1.shtml", "T1", "1k", "G", "/a1/", "N1", "x"});
    ScriptedServer server({{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: " +
                                                std::to_string(page.size()) + "\r\n\r\n" + page)}});
    TForm1& w = Open();
    w.ComboBox1->setEditText(QString::fromStdString(server.Address("/short.shtml")));
    w.Button2->click();
    ASSERT_EQ(Titles(), QStringList({"T1"})) << errors.join("\n").toStdString();
    const std::string fetchedFrom = server.Address("");
    // A page read from a file afterwards: its links lead to the site last fetched from.
    for (const bool fromFile : {false, true}) {
        if (fromFile) {
            w.OpenPageFile("short.shtml");
        }
        w.Table1->Select({0, 1, 0, 1});
        w.OpenWork();
        EXPECT_EQ(testdesktop::WaitForRecord(),
                  testdesktop::Args{fetchedFrom + (fromFile ? "/w/0.shtml" : "/w/1.shtml")});
    }
}

}  // namespace
