#include <gtest/gtest.h>

#include <QStyledItemDelegate>
#include <QTest>

#include "app/StringGrid.h"

namespace {

// The grid draws its cells itself for speed; what it draws must be what the stock delegate of
// the toolkit draws, pixel for pixel: texts that fit, texts cut with an ellipsis, Cyrillic,
// empty cells, a text of two lines, the selected and the current cell, focused or not.
TEST(StringGridTest, DrawsCellsAsTheStockDelegateDoes) {
    TStringGridModel cells(3, 4, nullptr);
    const QStringList texts = {"fits",
                               QString::fromUtf8("Любовный роман и ещё много слов"),
                               "",
                               "12k",
                               "/s/shheglov_71/text_0.shtml with a tail that cannot fit",
                               "two\nlines",
                               "right",
                               QString::fromUtf8("Щеглов Н.М."),
                               "x"};
    for (int i = 0; i < texts.size(); ++i) {
        cells.SetCell(i % 3, 1 + i / 3, texts[i]);
    }
    TStringGrid grid(&cells, true, 16, nullptr);
    grid.SetColWidths({40, 90, 60});
    grid.resize(260, 120);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    grid.Select({1, 1, 2, 2});

    for (const bool focused : {false, true}) {
        SCOPED_TRACE(focused ? "focused" : "not focused");
        if (focused) {
            grid.setFocus();
            QCoreApplication::processEvents();
        }
        const QImage own = grid.viewport()->grab().toImage();
        QAbstractItemDelegate* ownDelegate = grid.itemDelegate();
        QStyledItemDelegate stock;
        grid.setItemDelegate(&stock);
        const QImage expected = grid.viewport()->grab().toImage();
        grid.setItemDelegate(ownDelegate);
        EXPECT_EQ(own, expected);
    }
}

}  // namespace
