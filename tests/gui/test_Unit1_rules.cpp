#include <QContextMenuEvent>
#include <QFont>

#include "app/RecordTableModel.h"
#include "app/TableMenu.h"
#include "app/UnitWordList.h"
#include "tests/gui/WindowFixture.h"
#include "tests/support/Cp1251Bytes.h"

namespace {

// Opens the table's menu on row, as a right click there does.
void OpenMenuOn(TForm1& w, int row) {
    const QPoint at = w.Table1->visualRect(w.Table1->model()->index(row - 1, 0)).center();
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, w.Table1->viewport()->mapToGlobal(at));
    QApplication::sendEvent(w.Table1->viewport(), &click);
    ASSERT_TRUE(w.Table1Menu->isVisible());
    w.Table1Menu->hide();
}

TEST_F(WindowTest, HiddenWorksStayOutAcrossLoadsAndRestartsUntilReturned) {
    WriteFile("short.shtml", PageOfSizes({"1k", "2k", "3k", "4k"}));
    {
        TForm1& w = Open();
        WaitForMarks();
        w.Table1->setFocus();
        w.Table1->Select({0, 1, 0, 2});
        QTest::keyClick(w.Table1, Qt::Key_Delete);
        EXPECT_EQ(Titles(), (QStringList{"T2", "T3"}));
        EXPECT_EQ(w.ShowHiddenCheck->text(), QString::fromUtf8("Показать скрытые (2)"));
        EXPECT_EQ(w.UnseenCheck->text(), QString::fromUtf8("Только непросмотренные (2)"));

        w.OpenPageFile("short.shtml");
        EXPECT_EQ(Titles(), (QStringList{"T2", "T3"})) << "loaded again, before its marks";
        WaitForMarks();
        EXPECT_EQ(Titles(), (QStringList{"T2", "T3"})) << "loaded again, with its marks";

        w.ShowHiddenCheck->setChecked(true);
        ASSERT_EQ(Titles(), (QStringList{"T0", "T1", "T2", "T3"}));
        const auto struck = [&](int row) {
            return w.Table1->model()->index(row, 0).data(Qt::FontRole).value<QFont>().strikeOut();
        };
        EXPECT_TRUE(struck(0));
        EXPECT_FALSE(struck(2));
        OpenMenuOn(w, 1);
        EXPECT_TRUE(w.Table1Menu->Restore->isEnabled());
        EXPECT_FALSE(w.Table1Menu->Hide->isEnabled());
        w.Table1Menu->Restore->trigger();
        EXPECT_FALSE(struck(0));
        EXPECT_EQ(w.ShowHiddenCheck->text(), QString::fromUtf8("Показать скрытые (1)"));
    }
    form.reset();
    Open();
    WaitForMarks();
    EXPECT_EQ(Titles(), (QStringList{"T0", "T2", "T3"})) << "after a restart";
}

TEST_F(WindowTest, TitleWordsComeFromTheirGroupAndTheEditorChangesThem) {
    std::string page;
    int n = 0;
    for (const char* title :
         {"Глава 1", "ПОСЛЕДНЯЯ ГЛАВА", "Звездный путь", "Звёздный час", "Звёздная глава", "Сад"}) {
        page +=
            ListingRow({"/w/" + std::to_string(n++), ToCp1251(title), "1k", "G", "/a/", "A", "1"}) +
            "\n";
    }
    WriteFile("short.shtml", page);
    WriteRulesSettings(
        {true, {QString::fromUtf8("глава")}, true, {QString::fromUtf8("Звёздный"), QString()}});
    TForm1& w = Open();
    EXPECT_EQ(Titles(),
              (QStringList{QString::fromUtf8("Звездный путь"), QString::fromUtf8("Звёздный час")}));
    WaitForMarks();
    EXPECT_EQ(w.UnseenCheck->text(), QString::fromUtf8("Только непросмотренные (2)"));
    w.WantedWordsCheck->setChecked(false);
    EXPECT_EQ(Titles(), (QStringList{QString::fromUtf8("Звездный путь"),
                                     QString::fromUtf8("Звёздный час"), QString::fromUtf8("Сад")}));
    EXPECT_EQ(w.UnseenCheck->text(), QString::fromUtf8("Только непросмотренные (3)"));

    w.ExcludeWordsButton->click();
    TFormWordList* editor = &w.WordListDialog();
    ASSERT_TRUE(editor->isVisible());
    editor->WordEdit->setText(QString::fromUtf8("сад"));
    editor->Add->click();
    editor->List->setCurrentRow(0);
    editor->Del->click();
    editor->Set->click();
    EXPECT_EQ(Titles(),
              (QStringList{QString::fromUtf8("Глава 1"), QString::fromUtf8("ПОСЛЕДНЯЯ ГЛАВА"),
                           QString::fromUtf8("Звездный путь"), QString::fromUtf8("Звёздный час"),
                           QString::fromUtf8("Звёздная глава")}));
    const TRulesSettings kept = ReadRulesSettings();
    EXPECT_EQ(kept.excluded, QStringList{QString::fromUtf8("сад")});
    EXPECT_FALSE(kept.wantedOn);
}

}  // namespace
