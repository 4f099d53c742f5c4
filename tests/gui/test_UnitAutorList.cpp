#include <QApplication>
#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QStyle>

#include "app/UnitAutorList.h"
#include "tests/gui/WindowFixture.h"

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// An entry as three texts, for comparing lists.
using Entry = std::array<std::string, 3>;

std::vector<Entry> Entries(const TAutorList& list) {
    std::vector<Entry> entries;
    for (const TAutorInf& e : list) {
        entries.push_back({e.link, e.name, e.comment});
    }
    return entries;
}

TAutorList ListOf(const std::vector<Entry>& entries) {
    TAutorList list;
    for (const Entry& e : entries) {
        list.push_back(TAutorInf::Make(e[0].c_str(), e[1].c_str(), e[2].c_str()));
    }
    return list;
}

class AutorListTest : public WindowTest {
protected:
    TForm1& OpenWithDialog() {
        TForm1& w = Open();
        dialog = std::make_unique<TFormAutorList>();
        w.SetAutorListDialog(dialog.get());
        return w;
    }
    void TearDown() override {
        form.reset();
        dialog.reset();
        WindowTest::TearDown();
    }
    // The grid's data rows as name, link, comment.
    std::vector<std::array<QString, 3>> GridRows() const {
        std::vector<std::array<QString, 3>> rows;
        for (int r = 1; r < dialog->AL->RowCount(); ++r) {
            rows.push_back(
                {dialog->AL->Cell(0, r), dialog->AL->Cell(1, r), dialog->AL->Cell(2, r)});
        }
        return rows;
    }
    void Type(const QString& name, const QString& link, const QString& comment) {
        dialog->NameEdit->setText(name);
        dialog->LinkEdit->setText(link);
        dialog->CommnentEdit->setText(comment);
    }

    std::unique_ptr<TFormAutorList> dialog;
};

TEST_F(AutorListTest, AddingFromTheTableAppendsTheTopSelectedRowsAuthor) {
    WriteFile("short.shtml",
              PageOfSizes({"1k", "2k", "3k"}) +
                  ListingRow({"/w/x", "X", "4k", "G", "/p/", "\xCF\xF3\xF8\xEA\xE8\xED", "x"}));
    TForm1& w = OpenWithDialog();
    const struct {
        const char* label;
        TGridRect selection;
        QPushButton* button;
        std::vector<Entry> list1, list2;
    } steps[] = {
        {"one cell", {5, 2, 5, 2}, w.Button6, {{"/a1/", "Author 1", ""}}, {}},
        {"a range counts by its top row",
         {1, 3, 6, 4},
         w.Button6,
         {{"/a1/", "Author 1", ""}, {"/a2/", "Author 2", ""}},
         {}},
        {"a duplicate is appended",
         {0, 2, 0, 2},
         w.Button6,
         {{"/a1/", "Author 1", ""}, {"/a2/", "Author 2", ""}, {"/a1/", "Author 1", ""}},
         {}},
        {"the exclude-list, with the page's bytes",
         {2, 4, 2, 4},
         w.Button7,
         {{"/a1/", "Author 1", ""}, {"/a2/", "Author 2", ""}, {"/a1/", "Author 1", ""}},
         {{"/p/", "\xCF\xF3\xF8\xEA\xE8\xED", ""}}},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.label);
        w.Table1->Select(step.selection);
        step.button->click();
        EXPECT_EQ(Entries(store.GetAutorList1()), step.list1);
        EXPECT_EQ(Entries(store.GetAutorList2()), step.list2);
    }
    EXPECT_EQ(w.Table1->RowCount(), 5) << "adding does not refilter";
    w.NotAutorCheck->setChecked(true);
    EXPECT_EQ(Titles(), QStringList({"T0", "T1", "T2"}));
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(AutorListTest, ARowThatShowsNoRecordAddsNothing) {
    TForm1& w = OpenWithDialog();  // no page: the table has its header row only
    w.Button6->click();
    w.Button7->click();
    EXPECT_TRUE(store.GetAutorList1().empty());
    EXPECT_TRUE(store.GetAutorList2().empty());
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(AutorListTest, TheDialogOnAnEmptyListShowsOneBlankRowAndDeletesNothing) {
    TForm1& w = OpenWithDialog();
    EXPECT_TRUE(dialog->isHidden()) << "hidden until opened";
    w.Button3->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowModality(), Qt::NonModal);
    EXPECT_EQ(dialog->targetList, &store.GetAutorList1());
    ASSERT_EQ(dialog->AL->RowCount(), 2);
    EXPECT_EQ(dialog->AL->Cell(0, 0), U("Имя"));
    EXPECT_EQ(dialog->AL->Cell(1, 0), U("Cсылка"));
    EXPECT_EQ(dialog->AL->Cell(1, 0)[0].unicode(), u'C') << "a Latin C";
    EXPECT_EQ(dialog->AL->Cell(2, 0), U("Коментарий"));
    EXPECT_EQ(GridRows(), (std::vector<std::array<QString, 3>>{{"", "", ""}}));

    dialog->Del->click();
    EXPECT_TRUE(dialog->editList.empty());
    EXPECT_EQ(dialog->AL->RowCount(), 2);
    dialog->Set->click();
    EXPECT_TRUE(store.GetAutorList1().empty());
}

TEST_F(AutorListTest, AddingAppendsTheEditsTextsAndKeepsThem) {
    TForm1& w = OpenWithDialog();
    w.Button5->click();
    dialog->Add->click();
    EXPECT_EQ(Entries(dialog->editList), (std::vector<Entry>{{"", "", ""}}));
    EXPECT_EQ(dialog->AL->RowCount(), 2) << "an entry of empty texts shows a blank row";

    Type(U("Пушкин"), "/p/", "c");
    dialog->Add->click();
    dialog->Add->click();
    EXPECT_EQ(dialog->NameEdit->text(), U("Пушкин")) << "the edits keep their texts";
    EXPECT_EQ(GridRows(), (std::vector<std::array<QString, 3>>{
                              {"", "", ""}, {U("Пушкин"), "/p/", "c"}, {U("Пушкин"), "/p/", "c"}}));
    EXPECT_TRUE(store.GetAutorList2().empty()) << "only Применить writes the list";
    dialog->Set->click();
    const std::vector<Entry> applied = {{"", "", ""},
                                        {"/p/", "\xCF\xF3\xF8\xEA\xE8\xED", "c"},
                                        {"/p/", "\xCF\xF3\xF8\xEA\xE8\xED", "c"}};
    EXPECT_EQ(Entries(store.GetAutorList2()), applied);
    EXPECT_EQ(Entries(dialog->editList), applied) << "the working copy stays";
    EXPECT_TRUE(store.GetAutorList1().empty());
}

TEST_F(AutorListTest, DeletingTheMiddleOfThreeMovesTheLastUp) {
    TForm1& w = OpenWithDialog();
    store.GetAutorList1() = ListOf({{"/1/", "one", ""}, {"/2/", "two", ""}, {"/3/", "three", "c"}});
    w.Button3->click();
    dialog->AL->Select({1, 2, 1, 2});
    dialog->Del->click();
    EXPECT_EQ(dialog->AL->RowCount(), 3);
    EXPECT_EQ(GridRows(),
              (std::vector<std::array<QString, 3>>{{"one", "/1/", ""}, {"three", "/3/", "c"}}));
    EXPECT_EQ(store.GetAutorList1().size(), 3u) << "until Применить";
    dialog->Set->click();
    EXPECT_EQ(Entries(store.GetAutorList1()),
              (std::vector<Entry>{{"/1/", "one", ""}, {"/3/", "three", "c"}}));
}

TEST_F(AutorListTest, ClosingWithoutApplyingLeavesTheListAndReopeningDropsTheEdits) {
    TForm1& w = OpenWithDialog();
    store.GetAutorList1() = ListOf({{"/1/", "one", ""}});
    w.Button3->click();
    dialog->Add->click();
    dialog->close();
    EXPECT_TRUE(dialog->isHidden());
    EXPECT_EQ(Entries(store.GetAutorList1()), (std::vector<Entry>{{"/1/", "one", ""}}));
    EXPECT_EQ(dialog->editList.size(), 2u) << "closing only hides";
    w.Button3->click();
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(Entries(dialog->editList), (std::vector<Entry>{{"/1/", "one", ""}}));
}

TEST_F(AutorListTest, OpeningTheOtherListRebindsTheDialog) {
    TForm1& w = OpenWithDialog();
    store.GetAutorList1() = ListOf({{"/in/", "in", ""}});
    store.GetAutorList2() = ListOf({{"/out/", "out", ""}});
    w.Button3->click();
    dialog->Add->click();
    w.Button5->click();
    EXPECT_EQ(GridRows(), (std::vector<std::array<QString, 3>>{{"out", "/out/", ""}}));
    Type("n", "/new/", "");
    dialog->Add->click();
    dialog->Set->click();
    EXPECT_EQ(Entries(store.GetAutorList1()), (std::vector<Entry>{{"/in/", "in", ""}}));
    EXPECT_EQ(Entries(store.GetAutorList2()),
              (std::vector<Entry>{{"/out/", "out", ""}, {"/new/", "n", ""}}));
}

TEST_F(AutorListTest, ApplyingReplacesAuthorsAddedWhileTheDialogWasOpen) {
    WriteFile("short.shtml", PageOfSizes({"1k"}));
    TForm1& w = OpenWithDialog();
    w.Button3->click();
    w.Table1->Select({0, 1, 0, 1});
    w.Button6->click();
    EXPECT_EQ(store.GetAutorList1().size(), 1u);
    EXPECT_TRUE(dialog->editList.empty()) << "the dialog keeps its snapshot";
    dialog->Set->click();
    EXPECT_TRUE(store.GetAutorList1().empty());
}

TEST_F(AutorListTest, ApplyingChangesTheTableOnlyAtTheNextFilterChange) {
    WriteFile("short.shtml", PageOfSizes({"1k", "2k", "3k"}, 2));
    TForm1& w = OpenWithDialog();
    w.AutorCheck->setChecked(true);
    ASSERT_EQ(w.Table1->RowCount(), 1);
    w.Button3->click();
    Type("", "/a1/", "");
    dialog->Add->click();
    dialog->Set->click();
    EXPECT_EQ(w.Table1->RowCount(), 1);
    w.SizeMaxEdit->setText("");
    EXPECT_EQ(Titles(), QStringList({"T1"}));
}

TEST_F(AutorListTest, TheDialogHasItsDesignedLayout) {
    TForm1& w = OpenWithDialog();
    w.Button3->click();
    TFormAutorList& d = *dialog;
    EXPECT_EQ(d.windowTitle(), U("Список авторов"));
    EXPECT_EQ(d.size(), QSize(747, 179));
    const struct {
        QWidget* control;
        QWidget* parent;
        QRect designed;
        QString caption;
    } controls[] = {
        {d.AL, &d, {0, 0, 489, 178}, {}},
        {d.GroupBox1, &d, {497, 0, 249, 153}, "GroupBox1"},
        {d.Label1, d.GroupBox1, {8, 16, 22, 13}, U("Имя")},
        {d.Label2, d.GroupBox1, {128, 16, 39, 13}, U("Ссылка")},
        {d.Label3, d.GroupBox1, {8, 56, 62, 13}, U("Коментарий")},
        {d.Del, d.GroupBox1, {88, 120, 75, 25}, U("Удалить")},
        {d.Add, d.GroupBox1, {8, 120, 75, 25}, U("Добавить")},
        {d.NameEdit, d.GroupBox1, {8, 32, 113, 21}, {}},
        {d.LinkEdit, d.GroupBox1, {128, 32, 113, 21}, {}},
        {d.Set, d.GroupBox1, {168, 120, 75, 25}, U("Применить")},
        {d.CommnentEdit, d.GroupBox1, {8, 72, 233, 21}, {}},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.control->metaObject()->className() + (" " + c.caption.toStdString()));
        EXPECT_EQ(c.control->parentWidget(), c.parent);
        EXPECT_EQ(c.control->geometry(), c.designed);
        if (auto* label = qobject_cast<QLabel*>(c.control)) {
            EXPECT_EQ(label->text(), c.caption);
            EXPECT_LE(label->fontMetrics().horizontalAdvance(label->text()), label->width());
        }
        if (auto* button = qobject_cast<QPushButton*>(c.control)) {
            EXPECT_EQ(button->text(), c.caption);
            EXPECT_LE(button->fontMetrics().horizontalAdvance(button->text()) + 8, button->width());
        }
        if (auto* box = qobject_cast<QGroupBox*>(c.control)) {
            EXPECT_EQ(box->title(), c.caption);
        }
    }
    EXPECT_EQ(d.Label2->text()[0].unicode(), 0x0421) << "a Cyrillic Es on the label";
    EXPECT_EQ(d.NameEdit->maxLength(), 64);
    EXPECT_EQ(d.LinkEdit->maxLength(), 64);
    EXPECT_EQ(d.CommnentEdit->maxLength(), 128);
    const int widths[] = {142, 129, 207};
    for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(d.AL->columnWidth(c), widths[c]);
        // Every header caption fits its column.
        EXPECT_LE(d.AL->horizontalHeader()->fontMetrics().horizontalAdvance(d.AL->Cell(c, 0)) + 8,
                  widths[c]);
    }
    EXPECT_EQ(d.AL->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(d.AL->editTriggers(), QAbstractItemView::NoEditTriggers);

    QWidget* chain = d.AL;
    for (QWidget* next : {(QWidget*)d.Del, (QWidget*)d.Add, (QWidget*)d.NameEdit,
                          (QWidget*)d.LinkEdit, (QWidget*)d.Set, (QWidget*)d.CommnentEdit}) {
        do {
            chain = chain->nextInFocusChain();
        } while (chain->focusPolicy() == Qt::NoFocus || !chain->isVisibleTo(&d));
        EXPECT_EQ(chain, next) << "tab order after " << chain->metaObject()->className();
    }

    d.resize(747 + 100, 179 + 50);
    EXPECT_EQ(d.AL->geometry(), QRect(0, 0, 589, 228)) << "grows both ways";
    EXPECT_EQ(d.GroupBox1->geometry(), QRect(597, 0, 249, 153)) << "keeps to the right";
    EXPECT_EQ(d.Set->geometry(), QRect(168, 120, 75, 25));
}

TEST_F(AutorListTest, TheGridLetsTabGoOnCopiesItsCellAndEveryControlIsNamed) {
    store.GetAutorList1() = ListOf({{"/a/", "\xC8\xE2\xE0\xED", ""}, {"/b/", "B", ""}});
    OpenWithDialog().Button3->click();
    TFormAutorList& d = *dialog;
    ASSERT_NO_FATAL_FAILURE(Activate(&d));
    d.AL->Select({0, 1, 0, 1});
    d.AL->setFocus();
    QTest::keyClick(d.AL, Qt::Key_Down);
    EXPECT_EQ(d.AL->Selection(), TGridRect({0, 2, 0, 2}));
    QTest::keyClick(d.AL, Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), d.Del);
    d.AL->setFocus();
    QTest::keyClick(d.AL, Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), d.CommnentEdit);

    d.AL->Select({0, 1, 0, 1});
    QTest::keyClick(d.AL, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), U("Иван\n"));

    for (QWidget* control : Controls(&d)) {
        EXPECT_FALSE(AccessibleName(control).isEmpty()) << control->metaObject()->className();
    }
    EXPECT_EQ(AccessibleName(d.AL), U("Авторы"));
    EXPECT_EQ(AccessibleName(d.LinkEdit), U("Ссылка")) << "named by the label above it";
    EXPECT_EQ(AccessibleName(d.CommnentEdit), U("Коментарий"));
}

TEST_F(AutorListTest, EditsAcceptNoMoreThanAnEntryHolds) {
    OpenWithDialog().Button3->click();
    Type(QString(70, 'n'), QString(70, 'l'), QString(130, U("ж")[0]));
    dialog->Add->click();
    ASSERT_EQ(dialog->editList.size(), 1u);
    EXPECT_EQ(std::string(dialog->editList[0].name), std::string(64, 'n'));
    EXPECT_EQ(std::string(dialog->editList[0].link), std::string(64, 'l'));
    EXPECT_EQ(std::string(dialog->editList[0].comment), std::string(128, '\xE6'));
}

TEST_F(AutorListTest, ALineBreakInAnEditNeverReachesTheSettingsFile) {
    TForm1& w = OpenWithDialog();
    w.Button3->click();
    dialog->NameEdit->setText("n\nAutorList1Check");
    QGuiApplication::clipboard()->setText("c\r\nAutorList2,\"/x/\",\"\",\"\"");
    dialog->CommnentEdit->paste();
    EXPECT_EQ(dialog->NameEdit->text(), "n AutorList1Check");
    dialog->Add->click();
    dialog->Set->click();
    w.Button8->click();
    w.Button9->click();
    EXPECT_FALSE(w.AutorCheck->isChecked());
    EXPECT_TRUE(store.GetAutorList2().empty());
    ASSERT_EQ(store.GetAutorList1().size(), 1u);
    EXPECT_STREQ(store.GetAutorList1()[0].name, "n AutorList1Check");
    EXPECT_STREQ(store.GetAutorList1()[0].comment, "c  AutorList2,\x94/x/\x94,\x94\x94,\x94\x94")
        << "the quotes come back as the writer's stand-in";
}

}  // namespace
