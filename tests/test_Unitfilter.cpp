#include "filter/Unitfilter.h"

#include <gtest/gtest.h>

#include <memory>

#include "bench/PageGenerator.h"

namespace {

// A leaf with a fixed verdict that counts its own destruction.
class FixedFilter : public CBaseFilter {
public:
    FixedFilter(bool verdict, int* destroyed, bool owned = true)
        : CBaseFilter(owned), verdict(verdict), destroyed(destroyed) {}
    ~FixedFilter() override { ++*destroyed; }
    bool Accept(const TZRecord&) const override { return verdict; }

private:
    bool verdict;
    int* destroyed;
};

TZRecord RecordWith(int field, const char* text) {
    TZRecord r{"", "", "", "", "", "", ""};
    switch (field) {
        case 2:
            r.size = text;
            break;
        case 3:
            r.zanr = text;
            break;
        case 4:
            r.autorLink = text;
            break;
        default:
            ADD_FAILURE() << "unused field " << field;
    }
    return r;
}

TEST(CBaseFilter, PassesEveryRecord) {
    CBaseFilter f(false);
    EXPECT_TRUE(f.Accept(TZRecord{}));
}

TEST(CFilterList, CombinesChildrenByMode) {
    // 'T' a passing child, 'F' a rejecting child, '-' an empty slot.
    struct Row {
        const char* slots;
        int mode;
        bool expected;
    } rows[] = {
        {"", lmAll, true},    {"", lmAny, false},      {"", lmNotAll, false},
        {"", lmNone, true},   {"TT", lmAll, true},     {"TF", lmAll, false},
        {"T-", lmAll, false}, {"FF", lmAny, false},    {"FT", lmAny, true},
        {"-T", lmAny, true},  {"TT", lmNotAll, false}, {"TF", lmNotAll, true},
        {"FF", lmNone, true}, {"FT", lmNone, false},   {"-", lmNone, true},
        {"TT", 4, false},     {"", -1, false},         {"T", 7, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string("slots '") + row.slots + "' mode " + std::to_string(row.mode));
        int destroyed = 0;
        const int n = int(std::strlen(row.slots));
        CFilterList list(row.mode, n, false);
        for (int i = 0; i < n; ++i) {
            if (row.slots[i] != '-') {
                ASSERT_TRUE(list.SetAt(i, new FixedFilter(row.slots[i] == 'T', &destroyed)));
            }
        }
        EXPECT_EQ(list.Accept(TZRecord{}), row.expected);
    }
}

TEST(CFilterList, DestroysOwnedChildrenOnceAndLeavesTheOthers) {
    int owned = 0;
    int foreign = 0;
    FixedFilter notOwned(true, &foreign, false);
    {
        CFilterList root(lmAll, 3, false);
        auto* inner = new CFilterList(lmAny, 2, true);
        EXPECT_TRUE(inner->SetAt(0, new FixedFilter(true, &owned)));
        EXPECT_TRUE(inner->SetAt(1, new FixedFilter(true, &owned)));
        EXPECT_TRUE(root.SetAt(0, inner));
        EXPECT_TRUE(root.SetAt(1, new FixedFilter(true, &owned)));
        EXPECT_TRUE(root.SetAt(2, &notOwned));
        EXPECT_TRUE(root.Accept(TZRecord{}));
    }
    EXPECT_EQ(owned, 3);
    EXPECT_EQ(foreign, 0);
}

TEST(CFilterList, SetAtOutsideTheSlotsHoldsNothing) {
    int destroyed = 0;
    auto child = std::make_unique<FixedFilter>(true, &destroyed);
    {
        CFilterList list(lmAll, 1, false);
        EXPECT_FALSE(list.SetAt(-1, child.get()));
        EXPECT_FALSE(list.SetAt(1, child.get()));
        EXPECT_FALSE(list.Accept(TZRecord{})) << "slot 0 is still empty";
    }
    EXPECT_EQ(destroyed, 0) << "the child stays with its creator";
}

TEST(CFilterList, ReplacingAndDroppingSlotsReleasesOwnedChildren) {
    int destroyed = 0;
    CFilterList list(lmAny, 3, false);
    auto* kept = new FixedFilter(false, &destroyed);
    list.SetAt(0, kept);
    list.SetAt(1, new FixedFilter(true, &destroyed));
    list.SetAt(1, new FixedFilter(false, &destroyed));
    EXPECT_EQ(destroyed, 1) << "the overwritten owned child";
    list.SetAt(0, kept);
    EXPECT_EQ(destroyed, 1) << "storing the same child again keeps it";
    list.SetCount(1);
    EXPECT_EQ(destroyed, 2) << "the child of the dropped slot";
    list.SetCount(2);
    EXPECT_FALSE(list.Accept(TZRecord{})) << "slot 0 kept its rejecting child, slot 1 is empty";
    EXPECT_THROW(list.SetCount(-1), std::invalid_argument);
}

TEST(CFilterCMP, BoundsCompareAsSizeTexts) {
    const std::string upper = ToCp1251("1000К");
    struct Row {
        const char* label;
        std::string bound;
        bool lessThan;
        std::string size;
        bool passes;
    } rows[] = {
        {"upper: shorter passes", upper, true, "999k", true},
        {"upper: Latin k below Cyrillic K", upper, true, "1000k", true},
        {"upper: larger number", upper, true, "1001k", false},
        {"upper: longer", upper, true, "10000k", false},
        {"upper: equal is rejected", upper, true, upper, false},
        {"lower: same number, k above K", "100K", false, "100k", true},
        {"lower: larger number", "100K", false, "101k", true},
        {"lower: longer", "100K", false, "1000k", true},
        {"lower: shorter", "100K", false, "99k", false},
        {"lower: equal is rejected", "100K", false, "100K", false},
        {"empty upper bound rejects everything", "", true, "1k", false},
        {"empty upper bound rejects empty size", "", true, "", false},
        {"empty lower bound passes a size", "", false, "1k", true},
        {"empty lower bound rejects empty size", "", false, "", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const CFilterCMP f(row.bound.c_str(), 2, row.lessThan, false);
        EXPECT_EQ(f.Accept(RecordWith(2, row.size.c_str())), row.passes);
    }
}

TEST(CFilterCMP, KeepsItsOwnCopyOfTheBound) {
    std::string bound = "50k";
    CFilterCMP f(bound.c_str(), 2, true, false);
    bound = "1k";
    EXPECT_TRUE(f.Accept(RecordWith(2, "10k")));
    f.SetBound("5k", 2, false);
    EXPECT_TRUE(f.Accept(RecordWith(2, "10k")));
    EXPECT_FALSE(f.Accept(RecordWith(2, "5k")));
    EXPECT_THROW(f.SetBound("1k", 7, true), std::out_of_range);
}

TEST(CFilterInside, MatchesAByteExactRunAnywhere) {
    const std::string prose = ToCp1251("Проза");
    struct Row {
        const char* label;
        int field;
        std::string pattern;
        std::string text;
        bool passes;
    } rows[] = {
        {"genre alone", 3, prose, prose, true},
        {"genre among others", 3, prose, ToCp1251("Фантастика, Проза"), true},
        {"other letter case", 3, prose, ToCp1251("ПРОЗА"), false},
        {"absent", 3, prose, ToCp1251("Поэзия"), false},
        {"author link part of a longer link", 4, "/i/ivanov/", "/i/ivanov/sub/", true},
        {"longer pattern than field", 4, "/i/ivanov/", "/i/", false},
        {"empty pattern in empty field", 4, "", "", true},
        {"empty pattern in any field", 3, "", prose, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        CFilterInside f(false);
        f.SetPattern(row.pattern.c_str(), row.field);
        EXPECT_EQ(f.Accept(RecordWith(row.field, row.text.c_str())), row.passes);
    }
}

TEST(CFilterInside, WithoutPatternRejectsAndSetPatternReplaces) {
    CFilterInside f(false);
    EXPECT_FALSE(f.Accept(RecordWith(3, "")));
    f.SetPattern("a", 3);
    f.SetPattern("b", 4);
    EXPECT_TRUE(f.Accept(RecordWith(4, "abc")));
    EXPECT_FALSE(f.Accept(RecordWith(3, "abc"))) << "the field was replaced too";
    EXPECT_THROW(f.SetPattern("a", -1), std::out_of_range);
}

}  // namespace
