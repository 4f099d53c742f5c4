#include <gtest/gtest.h>

#include <QAbstractItemModelTester>

#include "app/StringGrid.h"

namespace {

// The one model that inserts and removes rows: the model tester watches every change, and grid
// row r stays model row r - 1 with the header texts apart.
TEST(TStringGridModel, PassesTheModelTesterAsRowsComeAndGo) {
    TStringGridModel cells(3, 2, nullptr);
    QAbstractItemModelTester tester(&cells, QAbstractItemModelTester::FailureReportingMode::Fatal);
    TStringGrid grid(&cells, true, 16, nullptr);
    cells.SetCell(1, 0, "header");
    cells.SetCell(2, 1, "first");
    cells.SetRowCount(5);
    cells.SetCell(0, 4, "last");
    cells.SetCell(3, 1, "outside");
    cells.SetCell(0, 5, "outside");
    EXPECT_EQ(cells.rowCount(), 4);
    EXPECT_EQ(grid.Cell(1, 0), "header");
    EXPECT_EQ(grid.Cell(2, 1), "first");
    EXPECT_EQ(grid.Cell(0, 4), "last");
    EXPECT_FALSE(cells.index(0, 0).data(Qt::EditRole).isValid());

    cells.SetRowCount(2);
    EXPECT_EQ(cells.rowCount(), 1);
    EXPECT_EQ(grid.Cell(2, 1), "first");
    cells.SetRowCount(0);
    EXPECT_EQ(cells.rowCount(), 0) << "the header row always stays";
    EXPECT_EQ(grid.Cell(1, 0), "header");
    cells.SetRowCount(3);
    EXPECT_EQ(grid.Cell(2, 1), "") << "rows that come back are empty";
}

}  // namespace
