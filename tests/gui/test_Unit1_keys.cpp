#include <QApplication>
#include <QClipboard>

#include "tests/gui/WindowFixture.h"

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

TEST_F(WindowTest, TabAndShiftTabLeaveTheTableArrowsMoveInside) {
    WriteFile("short.shtml", PageOfSizes({"1k", "2k"}));
    TForm1& w = Open();
    ASSERT_NO_FATAL_FAILURE(Activate(&w));
    const struct {
        const char* label;
        QWidget* from;
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        QWidget* to;
        TGridRect selection;
    } rows[] = {
        {"Tab", w.Table1, Qt::Key_Tab, {}, w.Button6, {0, 1, 0, 1}},
        {"Shift+Tab", w.Table1, Qt::Key_Tab, Qt::ShiftModifier, w.EveryMinutesEdit, {0, 1, 0, 1}},
        {"Tab from the last control", w.EveryMinutesEdit, Qt::Key_Tab, {}, w.Table1, {0, 1, 0, 1}},
        {"Down moves inside", w.Table1, Qt::Key_Down, {}, w.Table1, {0, 2, 0, 2}},
        {"Right moves inside", w.Table1, Qt::Key_Right, {}, w.Table1, {1, 1, 1, 1}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        w.Table1->Select({0, 1, 0, 1});
        row.from->setFocus();
        QTest::keyClick(QApplication::focusWidget(), row.key, row.modifiers);
        EXPECT_EQ(QApplication::focusWidget(), row.to);
        EXPECT_EQ(w.Table1->Selection(), row.selection);
    }
}

TEST_F(WindowTest, CtrlCCopiesTheSelectedCellsAsTabSeparatedLines) {
    WriteFile("short.shtml",
              ListingRow({"/w/0", ToCp1251("Повесть"), "1k", "G", "/a/", "N", "x"}) + "\n" +
                  ListingRow({"/w/1", "two\twords", "2k", "G", "/a/", "N", "y"}) + "\n");
    TForm1& w = Open();
    w.Table1->Select({0, 1, 2, 2});
    QTest::keyClick(w.Table1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), U("Повесть\t/w/0\t1k\ntwo words\t/w/1\t2k\n"))
        << "a tab inside a cell would shift the columns after it";
}

TEST_F(WindowTest, EveryControlHasAnAccessibleName) {
    TForm1& w = Open();
    for (QWidget* control : Controls(&w)) {
        EXPECT_FALSE(AccessibleName(control).isEmpty()) << control->metaObject()->className();
    }
    const struct {
        QWidget* control;
        const char* name;
    } named[] = {
        {w.Table1, "Произведения"},           {w.SizeMaxEdit, "Наибольший размер"},
        {w.SizeMinEdit, "Наименьший размер"}, {w.ZanrList, "Жанры"},
        {w.ProxyServer, "Прокси-сервер"},     {w.ProxyPort, "Порт прокси"},
    };
    for (const auto& row : named) {
        EXPECT_EQ(AccessibleName(row.control), U(row.name));
    }
    // An editable combo box is called by its text; the reader takes its label from this relation.
    const auto labels =
        QAccessible::queryAccessibleInterface(w.ComboBox1)->relations(QAccessible::Label);
    ASSERT_EQ(labels.size(), 1);
    EXPECT_EQ(labels[0].first->object(), w.Label1);
}

}  // namespace
