#include <QFont>
#include <QTest>

#include "tests/gui/WindowFixture.h"
#include "tests/support/TestDesktop.h"

namespace {

using testdesktop::Args;

class LinkTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteFile("short.shtml", ListingRow({"/w/0.shtml", "T0", "1k", "G", "/a0/", "N0", "x"}) +
                                     "\n" +
                                     ListingRow({"/w/1 $(touch pwned) `touch pwned`;-x", "T1", "2k",
                                                 "G", "/a 1/", "N1", "y"}));
        Open();
        WaitForMarks();
    }
    void DoubleClick(int col, int row) {
        const QModelIndex index = form->Table1->model()->index(row - 1, col);
        const QPoint at = form->Table1->visualRect(index).center();
        // A double click is a press and release followed by a second press that the window
        // system marks as a double click.
        QTest::mouseClick(form->Table1->viewport(), Qt::LeftButton, {}, at);
        QTest::mouseDClick(form->Table1->viewport(), Qt::LeftButton, {}, at);
    }
    static std::string Site(const std::string& link) { return FOLIANTA_SITE_HOST + link; }
};

TEST_F(LinkTest, TitleAndLinkColumnsOpenTheWorkAuthorColumnsTheAuthor) {
    const struct {
        int col, row;
        std::string address;
    } rows[] = {
        {ColumnOf(TZRecord::kTitle), 1, "/w/0.shtml"},
        {ColumnOf(TZRecord::kWorkLink), 1, "/w/0.shtml"},
        {ColumnOf(TZRecord::kAutorLink), 1, "/a0/"},
        {ColumnOf(TZRecord::kAutorName), 2, "/a 1/"},
        {ColumnOf(TZRecord::kTitle), 2, "/w/1 $(touch pwned) `touch pwned`;-x"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.address);
        DoubleClick(row.col, row.row);
        EXPECT_EQ(testdesktop::WaitForRecord(), Args{Site(row.address)})
            << "the address is exactly one argument, unchanged";
    }
    EXPECT_FALSE(std::filesystem::exists("pwned")) << "nothing else was run";
}

TEST_F(LinkTest, EnterAndReturnOpenAsADoubleClickDoes) {
    for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter}) {
        SCOPED_TRACE(key);
        const int name = ColumnOf(TZRecord::kAutorName);
        form->Table1->Select({name, 2, name, 2});
        QTest::keyClick(form->Table1, key);
        EXPECT_EQ(testdesktop::WaitForRecord(), Args{Site("/a 1/")});
    }
}

TEST_F(LinkTest, OnlyTheSelectionsLeftColumnAndTopRowCount) {
    const int genre = ColumnOf(TZRecord::kZanr);
    const int last = ColumnOf(TZRecord::kLastCell);
    const int authorLink = ColumnOf(TZRecord::kAutorLink);
    DoubleClick(genre, 1);  // the genre column opens nothing
    form->Table1->Select({ColumnOf(TZRecord::kWorkLink), 1, ColumnOf(TZRecord::kAutorName), 2});
    form->Table1DblClick();
    EXPECT_EQ(testdesktop::WaitForRecord(), Args{Site("/w/0.shtml")});
    form->Table1->Select({last, 1, last, 1});
    form->Table1DblClick();
    form->Table1->Select({authorLink, 2, ColumnOf(TZRecord::kAutorName), 2});
    form->Table1DblClick();
    EXPECT_EQ(testdesktop::WaitForRecord(), Args{Site("/a 1/")})
        << "neither the genre nor the last column started anything";
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(LinkTest, UnseenWorksAreBoldOpenedOnesDimmedAndSeenOnesPlain) {
    const auto bold = [&](int row) {
        return form->Table1->model()->index(row - 1, 0).data(Qt::FontRole).value<QFont>().bold();
    };
    const auto dimmed = [&](int row) {
        return form->Table1->model()->index(row - 1, 0).data(Qt::ForegroundRole).isValid();
    };
    const auto unseen = [](int count) {
        return QString::fromUtf8("Только непросмотренные (%1)").arg(count);
    };
    EXPECT_TRUE(bold(1) && bold(2)) << "both works are new";
    EXPECT_EQ(form->UnseenCheck->text(), unseen(2));

    DoubleClick(ColumnOf(TZRecord::kTitle), 1);
    EXPECT_TRUE(testdesktop::WaitForRecord());
    EXPECT_FALSE(bold(1));
    EXPECT_TRUE(dimmed(1));
    EXPECT_EQ(form->UnseenCheck->text(), unseen(1));
    form->UnseenCheck->setChecked(true);
    EXPECT_EQ(Titles(), QStringList({"T1"}));

    form->MarkSeenButton->click();
    EXPECT_EQ(Titles(), QStringList()) << "every shown work is seen";
    EXPECT_EQ(form->UnseenCheck->text(), unseen(0));

    // The next page: the first work as it was, the second grown, a third new.
    WriteFile("H:\\long.shtml",
              ListingRow({"/w/0.shtml", "T0", "1k", "G", "/a0/", "N0", "x"}) + "\n" +
                  ListingRow({"/w/1 $(touch pwned) `touch pwned`;-x", "T1", "3k", "G", "/a 1/",
                              "N1", "y"}) +
                  "\n" + ListingRow({"/w/2.shtml", "T2", "5k", "G", "/a2/", "N2", "z"}));
    form->Button1->click();
    WaitForMarks();
    EXPECT_EQ(Titles(), QStringList({"T1", "T2"}));
    EXPECT_EQ(form->UnseenCheck->text(), unseen(2));
    const QAbstractItemModel* cells = form->Table1->model();
    EXPECT_EQ(cells->index(0, 0).data(Qt::ToolTipRole).toString(),
              QString::fromUtf8("обновлена, прежний размер 2k"));
    EXPECT_TRUE(cells->index(1, 0).data(Qt::ToolTipRole).toString().startsWith(
        QString::fromUtf8("новая, впервые встречена ")));
    EXPECT_TRUE(errors.isEmpty());
}

}  // namespace
