#include <sys/stat.h>
#include <unistd.h>
#include <QAbstractItemModelTester>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QHeaderView>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <filesystem>
#include <functional>
#include <string_view>

#include "app/Cp1251.h"
#include "app/HistoryService.h"
#include "app/RecordTableModel.h"
#include "filter/Unitfilter.h"
#include "tests/gui/WindowFixture.h"
#include "tests/support/FileTesting.h"

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST_F(WindowTest, StartsWithTheDesignedControlsAndNoPage) {
    TForm1& w = Open();
    EXPECT_EQ(w.windowTitle(), "Folianta");
    EXPECT_EQ(w.size(), QSize(877, 549));
    EXPECT_EQ(w.Table1->RowCount(), 1) << "the header row only";
    EXPECT_EQ(w.Table1->ColCount(), 7);
    EXPECT_EQ(w.SizeMaxEdit->text(), U("1000К"));
    EXPECT_EQ(w.SizeMaxEdit->text().back().unicode(), 0x041A) << "Cyrillic Ka";
    EXPECT_EQ(w.SizeMinEdit->text(), "100K");
    EXPECT_EQ(w.ProxyServer->text(), "localhost");
    EXPECT_EQ(w.ProxyPort->text(), "8080");
    EXPECT_EQ(w.ComboBox1->count(), 2);
    EXPECT_TRUE(w.ComboBox1->currentText().startsWith("http://"));
    EXPECT_TRUE(w.ComboBox1->currentText().endsWith("/short.shtml"));
    EXPECT_TRUE(w.ComboBox1->itemText(1).endsWith("/long.shtml"));
    EXPECT_TRUE(w.Button4->isHidden());
    ASSERT_EQ(w.ZanrList->Count(), 31);
    EXPECT_EQ(w.ZanrList->ItemText(0), U("Байки"));
    EXPECT_EQ(w.ZanrList->ItemText(30), U("Юмор"));
    for (int i = 0; i < w.ZanrList->Count(); ++i) {
        EXPECT_FALSE(w.ZanrList->Checked(i));
    }
    for (const QCheckBox* box : {w.SizeMaxCheck, w.SizeMinCheck, w.AutorCheck, w.NotAutorCheck,
                                 w.ZanrCheck, w.ProxyCheck}) {
        EXPECT_FALSE(box->isChecked()) << box->text().toStdString();
    }
    const QDialogButtonBox qtButtons(QDialogButtonBox::Cancel);
    EXPECT_EQ(qtButtons.button(QDialogButtonBox::Cancel)->text(), U("Отмена")) << "Qt's own texts";
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(WindowTest, StartsWithEveryRecordOfShortShtml) {
    // The page is Windows-1251: write the genre as such.
    WriteFile("short.shtml", ListingRow({"/a/b/w.shtml", "Title", "12k", ToCp1251("Проза"), "/a/b/",
                                         "Name", "7"}) +
                                 "\n" + PageOfSizes({"1k", "2k"}));
    TForm1& w = Open();
    ASSERT_EQ(w.Table1->RowCount(), 4);
    const QStringList row1 = {"Title", "/a/b/w.shtml", "12k", U("Проза"), "/a/b/", "Name", "7"};
    for (int c = 0; c < TZRecord::kFieldCount; ++c) {
        EXPECT_EQ(w.Table1->Cell(c, 1), row1[c]) << "column " << c;
        EXPECT_EQ(w.Table1->Cell(c, 0), "") << "the header row stays blank";
    }
    EXPECT_EQ(Titles(), QStringList({"Title", "T0", "T1"}));
}

TEST_F(WindowTest, StartUpPassesOverAStartFileThatIsNoRegularFile) {
    const struct Case {
        const char* label;
        const char* name;
        std::function<void(const char*)> make;
    } cases[] = {
        {"a FIFO page", "short.shtml", [](const char* name) { mkfifo(name, 0600); }},
        {"a folder page", "short.shtml", [](const char* name) { mkdir(name, 0700); }},
        {"a device page", "short.shtml", [](const char* name) { MakeDevice(name); }},
        {"a FIFO settings file", "Settings.ini", [](const char* name) { mkfifo(name, 0600); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        form.reset();
        std::filesystem::remove_all("short.shtml");
        std::filesystem::remove_all("Settings.ini");
        const bool pageFile = std::string_view(c.name) == "short.shtml";
        if (!pageFile) {
            WriteFile("short.shtml", PageOfSizes({"1k", "2k"}));
        }
        c.make(c.name);
        EXPECT_TRUE(ReturnsAtOnce(c.name, [&] { Open(); }));
        EXPECT_EQ(form->Table1->RowCount(), pageFile ? 1 : 3);
        EXPECT_TRUE(errors.isEmpty());
    }
}

TEST_F(WindowTest, EveryFilterControlRefiltersAtOnce) {
    WriteFile("short.shtml", PageOfSizes({"5k", "50k", "500k", "5000k"}));
    TForm1& w = Open();
    ASSERT_EQ(w.Table1->RowCount(), 5);

    w.SizeMaxEdit->setText("100k");
    EXPECT_EQ(w.Table1->RowCount(), 5) << "the bound has no effect while its switch is clear";
    QTest::mouseClick(w.SizeMaxCheck, Qt::LeftButton, {}, QPoint(5, w.SizeMaxCheck->height() / 2));
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"}));

    // Every keystroke refilters: below "1" and "10" no size sorts, below "10k" only "5k" does.
    w.SizeMaxEdit->clear();
    EXPECT_EQ(w.Table1->RowCount(), 1) << "an empty upper bound shows nothing";
    const QStringList afterKey[] = {{}, {}, {"T0"}};
    for (int i = 0; i < 3; ++i) {
        QTest::keyClick(w.SizeMaxEdit, "10k"[i]);
        EXPECT_EQ(Titles(), afterKey[i]) << "after key " << i;
    }

    w.SizeMaxCheck->setChecked(false);
    w.SizeMinEdit->setText("50k");
    w.SizeMinCheck->setChecked(true);
    EXPECT_EQ(Titles(), QStringList({"T2", "T3"})) << "a size equal to the bound is not shown";
    w.SizeMaxCheck->setChecked(true);
    w.SizeMaxEdit->setText("50k");
    EXPECT_EQ(Titles(), QStringList()) << "equal size rejected by both bounds";
    w.SizeMinEdit->clear();
    w.SizeMaxCheck->setChecked(false);
    EXPECT_EQ(w.Table1->RowCount(), 5) << "an empty lower bound passes every non-empty size";
}

TEST_F(WindowTest, AuthorAndGenreSwitchesFollowTheirLists) {
    std::string page = PageOfSizes({"1k", "2k", "3k", "4k"}, 2);  // authors /a0/ and /a1/
    const std::string prose = ToCp1251("Проза");
    page += ListingRow({"/w/p", "P", "9k", ToCp1251("Фантастика, Проза"), "/a9/", "N", "1"});
    WriteFile("short.shtml", page);
    TForm1& w = Open();
    ASSERT_EQ(w.Table1->RowCount(), 6);

    w.AutorCheck->setChecked(true);
    EXPECT_EQ(w.Table1->RowCount(), 1) << "an empty include-list shows nothing";
    w.AutorCheck->setChecked(false);
    w.NotAutorCheck->setChecked(true);
    EXPECT_EQ(w.Table1->RowCount(), 6) << "an empty exclude-list changes nothing";
    w.NotAutorCheck->setChecked(false);

    store.GetAutorList1().push_back(TAutorInf::Make("/a1/", "Author 1", ""));
    EXPECT_EQ(w.Table1->RowCount(), 6) << "a list change shows only at the next refilter";
    w.AutorCheck->setChecked(true);
    EXPECT_EQ(Titles(), QStringList({"T1", "T3"}));
    store.GetAutorList2().push_back(TAutorInf::Make("/a1/", "", ""));
    w.NotAutorCheck->setChecked(true);
    EXPECT_EQ(Titles(), QStringList()) << "an author in both lists is not shown";
    w.AutorCheck->setChecked(false);
    EXPECT_EQ(Titles(), QStringList({"T0", "T2", "P"}));
    w.NotAutorCheck->setChecked(false);

    const int proseItem = 20;
    ASSERT_EQ(w.ZanrList->ItemText(proseItem), U("Проза"));
    w.ZanrCheck->setChecked(true);
    EXPECT_EQ(w.Table1->RowCount(), 1) << "no ticked genre shows nothing";
    w.ZanrCheck->setChecked(false);
    // The user's tick while the genre switch is clear reruns the command and changes nothing.
    const QRect item = w.ZanrList->visualItemRect(w.ZanrList->item(proseItem));
    const QPoint box(item.left() + w.style()->pixelMetric(QStyle::PM_IndicatorWidth) / 2 + 2,
                     item.center().y());
    QTest::mouseClick(w.ZanrList->viewport(), Qt::LeftButton, {}, box);
    ASSERT_TRUE(w.ZanrList->Checked(proseItem)) << "the click ticked the item";
    EXPECT_EQ(w.Table1->RowCount(), 6);
    w.ZanrCheck->setChecked(true);
    EXPECT_EQ(Titles(), QStringList({"P"})) << "the genre text contains the ticked item";
}

TEST_F(WindowTest, OnlyTheUsersTicksRaiseTheGenreEvent) {
    TForm1& w = Open();
    int events = 0;
    w.ZanrList->onClickCheck = [&] { ++events; };
    w.ZanrList->SetChecked(0, true);
    w.ZanrList->AddItem("x");
    w.ZanrList->Clear();
    EXPECT_EQ(events, 0);
    w.ZanrList->AddItem("y");
    w.ZanrList->item(0)->setCheckState(Qt::Checked);  // as a click on the item's box does
    EXPECT_EQ(events, 1);
}

TEST_F(WindowTest, AReloadWithFewerRecordsLeavesNoOldRow) {
    WriteFile("short.shtml", PageOfSizes({"1k", "2k", "3k", "4k"}));
    TForm1& w = Open();
    ASSERT_EQ(w.Table1->RowCount(), 5);
    WriteFile("H:\\long.shtml", PageOfSizes({"7k"}));
    w.Button1->click();
    EXPECT_EQ(w.Table1->RowCount(), 2);
    EXPECT_EQ(Titles(), QStringList({"T0"}));
    EXPECT_EQ(w.Table1->Cell(ColumnOf(TZRecord::kSize), 1), "7k");
    std::remove("H:\\long.shtml");
    const FileDialogAnswer cancel({});
    w.Button1->click();
    EXPECT_EQ(Titles(), QStringList({"T0"})) << "a cancelled dialog keeps the page, silently";
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(WindowTest, AFailingHandlerShowsItsErrorAndTheWindowGoesOn) {
    WriteFile("short.shtml", PageOfSizes({"1k", "2k"}));
    TForm1& w = Open();
    // A proxy port that is no number makes the download throw before anything is sent.
    w.ProxyCheck->setChecked(true);
    w.ProxyPort->setText("80a");
    w.Button2->click();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0],
              QCoreApplication::applicationName() + "|'80a' is not a valid integer value.")
        << "a full stop after the message";
    EXPECT_EQ(w.Table1->RowCount(), 3) << "the state is as the handler left it";
    w.SizeMaxEdit->setText("2k");
    w.SizeMaxCheck->setChecked(true);
    EXPECT_EQ(Titles(), QStringList({"T0"})) << "the window still works";
}

TEST_F(WindowTest, CheckBoxesAnswerAClickAnywhereOnTheirRectangle) {
    TForm1& w = Open();
    for (QCheckBox* box : {w.SizeMaxCheck, w.SizeMinCheck, w.AutorCheck, w.NotAutorCheck,
                           w.ZanrCheck, w.ProxyCheck, w.UnseenCheck}) {
        SCOPED_TRACE(box->text().toStdString());
        const bool before = box->isChecked();
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(box->width() - 3, box->height() / 2));
        EXPECT_NE(box->isChecked(), before) << "a click at the rectangle's right end";
    }
}

TEST_F(WindowTest, HeaderClicksSortFindNarrowsAndCommandsTakeTheVisibleRow) {
    WriteFile("short.shtml", PageOfSizes({"3k", "10k", "1k"}));
    TForm1& w = Open();
    Activate(&w);
    QHeaderView* header = w.Table1->horizontalHeader();
    const int size = ColumnOf(TZRecord::kSize);
    const auto clickSize = [&] {
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(size) + 5, header->height() / 2));
    };
    const struct {
        const char* label;
        QStringList titles;
        int arrowAt;
    } clicks[] = {
        {"ascending", {"T2", "T0", "T1"}, size},
        {"descending", {"T1", "T0", "T2"}, size},
        {"page order", {"T0", "T1", "T2"}, -1},
        {"ascending again", {"T2", "T0", "T1"}, size},
    };
    for (const auto& click : clicks) {
        SCOPED_TRACE(click.label);
        clickSize();
        EXPECT_EQ(Titles(), click.titles);
        EXPECT_EQ(header->sortIndicatorSection(), click.arrowAt);
    }
    w.Table1->Select({0, 1, 0, 1});
    w.Button6->click();
    ASSERT_EQ(store.GetAutorList1().size(), 1u);
    EXPECT_STREQ(store.GetAutorList1()[0].link, "/a2/") << "the author of the row the user sees";

    const int designedHeight = w.Table1->height();
    QTest::keyClick(&w, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(w.FindEdit->isVisible());
    EXPECT_LT(w.Table1->height(), designedHeight);
    QTest::keyClicks(w.FindEdit, "t1");
    EXPECT_EQ(Titles(), QStringList({"T1"}));
    QTest::keyClick(w.FindEdit, Qt::Key_Escape);
    EXPECT_FALSE(w.FindEdit->isVisible());
    EXPECT_EQ(w.Table1->height(), designedHeight);
    EXPECT_EQ(Titles(), QStringList({"T2", "T0", "T1"})) << "still sorted, nothing found away";
}

TEST_F(WindowTest, AHistoryThatCannotBeOpenedIsToldOnceAndTheWindowWorksWithoutMarks) {
    WriteFile("data", "a file where the history's folder should be");
    WriteFile("short.shtml", PageOfSizes({"1k", "2k"}));
    TForm1& w = Open();
    ASSERT_TRUE(QTest::qWaitFor([this] { return !errors.empty(); }, 10'000));
    QCoreApplication::processEvents();
    ASSERT_EQ(errors.size(), 1);
    EXPECT_EQ(errors[0], QApplication::applicationName() + "|" +
                             QString::fromUtf8("История произведений «%1» недоступна, пометки не "
                                               "показываются: ошибка чтения или записи файла.")
                                 .arg(folder.filePath("data")));
    EXPECT_FALSE(w.UnseenCheck->isEnabled());
    EXPECT_FALSE(w.MarkSeenButton->isEnabled());
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"}));
    EXPECT_FALSE(w.Table1->model()->index(0, 0).data(Qt::FontRole).isValid());
}

TEST_F(WindowTest, AHistoryLockedByAnotherCopyHoldsNeitherTheTableNorTheMarksAfterTheLock) {
    WriteFile("short.shtml", PageOfSizes({"1k", "2k"}));
    CHistory(HistoryPath(), 0);
    CDatabase other(HistoryPath(), 0);
    other.Execute("BEGIN EXCLUSIVE");
    TForm1& w = Open();
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"}));
    QTest::qWait(3 * THistoryService::kRetryMs);
    EXPECT_FALSE(w.MarksShown());
    other.Execute("COMMIT");
    WaitForMarks();
    EXPECT_EQ(w.UnseenCheck->text(), QString::fromUtf8("Только непросмотренные (2)"));
    EXPECT_TRUE(errors.isEmpty());
}

TEST(ErrorBox, AddsAFullStopUnlessTheMessageEndsAtOrBelowIt) {
    const struct {
        QString message, shown;
    } rows[] = {
        {"Not Found", "Not Found."},
        {"Done.", "Done."},
        {"Wait!", "Wait!"},
        {"Socket Error # 10061\r\nConnection refused.",
         "Socket Error # 10061\r\nConnection refused."},
        {"ends in a space ", "ends in a space "},
        {"", ""},
        {U("Ошибка"), U("Ошибка.")},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.message.toStdString());
        EXPECT_EQ(WithFullStop(row.message), row.shown);
    }
}

TEST_F(WindowTest, KeepsItsMinimumHeightButNoMinimumWidth) {
    TForm1& w = Open();
    const int minimum = w.GroupBox1->y() + w.GroupBox1->height() + 8;
    w.resize(877, 20);
    EXPECT_EQ(w.height(), minimum);
    w.resize(300, 549);
    EXPECT_EQ(w.width(), 300);
}

TEST_F(WindowTest, AnchoredControlsKeepTheirDistancesOnResize) {
    TForm1& w = Open();
    w.resize(877 + 100, 549 + 50);
    EXPECT_EQ(w.Table1->geometry(), QRect(8, 8, 812, 370)) << "grows both ways";
    EXPECT_EQ(w.GroupBox1->geometry(), QRect(836, 8, 121, 81)) << "keeps to the right";
    EXPECT_EQ(w.GroupBox2->geometry(), QRect(8, 385, 812, 209)) << "keeps to the bottom";
    EXPECT_EQ(w.Button9->geometry(), QRect(827, 304, 145, 25));
    EXPECT_EQ(w.SizeMaxCheck->geometry(), QRect(8, 16, 113, 17)) << "inside its group box";
}

TEST_F(WindowTest, EveryCaptionFitsItsDesignedWidth) {
    TForm1& w = Open();
    const QStyle* style = w.style();
    const int box = style->pixelMetric(QStyle::PM_IndicatorWidth) +
                    style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    for (const QCheckBox* c : w.findChildren<QCheckBox*>()) {
        SCOPED_TRACE(c->text().toStdString());
        EXPECT_LE(box + c->fontMetrics().horizontalAdvance(c->text()), c->width());
    }
    for (const QPushButton* b : w.findChildren<QPushButton*>()) {
        SCOPED_TRACE(b->text().toStdString());
        EXPECT_LE(b->fontMetrics().horizontalAdvance(b->text()) + 8, b->width());
    }
    for (const QLabel* l : w.findChildren<QLabel*>()) {
        SCOPED_TRACE(l->text().toStdString());
        EXPECT_LE(l->fontMetrics().horizontalAdvance(l->text()), l->width());
    }
    // A genre item needs its box, its text and the item's margins within one of three columns.
    QStyleOptionViewItem option;
    option.initFrom(w.ZanrList);
    option.font = w.ZanrList->font();
    const int column = w.ZanrList->gridSize().width();
    EXPECT_EQ(column, w.ZanrList->viewport()->width() / 3);
    for (int i = 0; i < w.ZanrList->Count(); ++i) {
        SCOPED_TRACE(w.ZanrList->ItemText(i).toStdString());
        const QModelIndex index = w.ZanrList->model()->index(i, 0);
        EXPECT_LE(w.ZanrList->itemDelegate()->sizeHint(option, index).width(), column);
    }
}

TEST(RecordTableModel, PassesTheModelTesterAndOutlivesThePage) {
    CFolianta store;
    TRecordTableModel model(nullptr);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    CBaseFilter all(false);
    store.LoadPageText(ListingRow({"/w", "T", "1k", "G", "/a/", "N", "D"}) + "\n" +
                       ListingRow({"/w2", "T2", "2k", "G", "/a/", "N", "D"}));
    CRecordView view;
    view.Refilter(store, {.filter = &all});
    model.ShowRecords(view);
    ASSERT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.index(1, 0).data().toString(), "T2");
    EXPECT_EQ(model.index(1, 1).data().toString(), "/w2");
    EXPECT_FALSE(model.index(0, 0).data(Qt::EditRole).isValid());
    EXPECT_EQ(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), "");

    store.LoadPageText("another page");  // the shown rows' page is released by the store
    EXPECT_EQ(model.index(1, 0).data().toString(), "T2") << "the model keeps its page alive";
    view.Refilter(store, {.filter = &all});
    model.ShowRecords(view);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(Cp1251, EncodesAtTheWindowBorder) {
    EXPECT_EQ(EncodeCp1251(U("1000К")), "1000\xCA");
    EXPECT_EQ(EncodeCp1251(U("Ёё№")), "\xA8\xB8\xB9");
    EXPECT_EQ(EncodeCp1251(U("a中b😀")), "a?b?") << "one ? per character it cannot hold";
    EXPECT_EQ(DecodeCp1251("\xCF\xF0\xEE\xE7\xE0"), U("Проза"));
    EXPECT_EQ(DecodeCp1251(nullptr), "");
}

}  // namespace
