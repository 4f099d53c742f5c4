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

}  // namespace
