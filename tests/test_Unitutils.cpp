#include "util/Unitutils.h"

#include <gtest/gtest.h>

#include "bench/PageGenerator.h"

namespace {

int Sign(int v) {
    return (v > 0) - (v < 0);
}

TEST(CompareSizeText, OrdersByLengthThenUnsignedBytes) {
    const std::string cyrK = ToCp1251("1000К");
    struct Row {
        const char* label;
        std::string a, b;
        int sign;
    } rows[] = {
        {"equal", "12k", "12k", 0},
        {"both empty", "", "", 0},
        {"empty sorts first", "", "1", -1},
        {"shorter sorts first whatever its bytes", "99k", "100k", -1},
        {"longer sorts last", "10000k", "9999k", 1},
        {"same length, first differing byte decides", "101k", "100k", 1},
        {"Latin k sorts below Cyrillic K", "1000k", cyrK, -1},
        {"Cyrillic K sorts above Latin K", cyrK, "1000K", 1},
        {"lowercase Latin above uppercase", "100k", "100K", 1},
        {"not read as numbers: leading zero", "0999", "100k", -1},
        {"high bytes compare unsigned", "\xFF", "\x01", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        EXPECT_EQ(Sign(CompareSizeText(row.a.c_str(), row.b.c_str())), row.sign);
        EXPECT_EQ(Sign(CompareSizeText(row.b.c_str(), row.a.c_str())), -row.sign);
    }
}

TEST(CompareSizeText, EqualLengthResultIsTheByteDifference) {
    EXPECT_EQ(CompareSizeText("1000k", "1000\xCA"), 0x6B - 0xCA);
    EXPECT_EQ(CompareSizeText("a", "a"), 0);
}

}  // namespace
