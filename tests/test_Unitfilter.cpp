#include "filter/Unitfilter.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_view.h"
#include "filter/Unitfilter_matcher.h"
#include "tests/support/PageGenerator.h"
#include "tests/support/ReferenceFilter.h"

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

// A record whose field holds text and whose other fields are empty.
TZRecord RecordWith(TZRecord::Field field, const char* text) {
    TZRecord r{"", "", "", "", "", "", ""};
    r.*kRecordFields[field] = text;
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
        {"", lmAll, true},       {"", lmAny, false},
        {"", lmNotAll, false},   {"", lmNone, true},
        {"TT", lmAll, true},     {"TF", lmAll, false},
        {"T-", lmAll, false},    {"FF", lmAny, false},
        {"FT", lmAny, true},     {"-T", lmAny, true},
        {"TT", lmNotAll, false}, {"TF", lmNotAll, true},
        {"FF", lmNone, true},    {"FT", lmNone, false},
        {"-", lmNone, true},     {"TT", TZRecord::kAutorLink, false},
        {"", -1, false},         {"T", 7, false},
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

TEST(MakeFilterList, GivesEachChildASlotInOrderAndOwnsThem) {
    int destroyed = 0;
    {
        TFilterChildren children;
        children.push_back(std::make_unique<FixedFilter>(true, &destroyed, false));
        children.push_back(nullptr);
        children.push_back(std::make_unique<FixedFilter>(false, &destroyed));
        const CBaseFilter* first = children[0].get();
        const std::unique_ptr<CFilterList> list = MakeFilterList(lmAny, std::move(children), false);
        EXPECT_EQ(list->Count(), 3);
        EXPECT_EQ(list->At(0), first);
        EXPECT_EQ(list->At(1), nullptr) << "a null child is an empty slot";
        EXPECT_TRUE(first->ownedByParent);
        EXPECT_TRUE(list->Accept(TZRecord{}));
    }
    EXPECT_EQ(destroyed, 2);
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
        const CFilterCMP f(row.bound.c_str(), TZRecord::kSize, row.lessThan, false);
        EXPECT_EQ(f.Accept(RecordWith(TZRecord::kSize, row.size.c_str())), row.passes);
    }
}

TEST(CFilterCMP, KeepsItsOwnCopyOfTheBound) {
    std::string bound = "50k";
    CFilterCMP f(bound.c_str(), TZRecord::kSize, true, false);
    bound = "1k";
    EXPECT_TRUE(f.Accept(RecordWith(TZRecord::kSize, "10k")));
    f.SetBound("5k", TZRecord::kSize, false);
    EXPECT_TRUE(f.Accept(RecordWith(TZRecord::kSize, "10k")));
    EXPECT_FALSE(f.Accept(RecordWith(TZRecord::kSize, "5k")));
    EXPECT_THROW(f.SetBound("1k", 7, true), std::out_of_range);
}

TEST(CFilterInside, MatchesAByteExactRunAnywhere) {
    const std::string prose = ToCp1251("Проза");
    struct Row {
        const char* label;
        TZRecord::Field field;
        std::string pattern;
        std::string text;
        bool passes;
    } rows[] = {
        {"genre alone", TZRecord::kZanr, prose, prose, true},
        {"genre among others", TZRecord::kZanr, prose, ToCp1251("Фантастика, Проза"), true},
        {"other letter case", TZRecord::kZanr, prose, ToCp1251("ПРОЗА"), false},
        {"absent", TZRecord::kZanr, prose, ToCp1251("Поэзия"), false},
        {"author link part of a longer link", TZRecord::kAutorLink, "/i/ivanov/", "/i/ivanov/sub/",
         true},
        {"longer pattern than field", TZRecord::kAutorLink, "/i/ivanov/", "/i/", false},
        {"empty pattern in empty field", TZRecord::kAutorLink, "", "", true},
        {"empty pattern in any field", TZRecord::kZanr, "", prose, true},
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
    EXPECT_FALSE(f.Accept(RecordWith(TZRecord::kZanr, "")));
    f.SetPattern("a", TZRecord::kZanr);
    f.SetPattern("b", TZRecord::kAutorLink);
    EXPECT_TRUE(f.Accept(RecordWith(TZRecord::kAutorLink, "abc")));
    EXPECT_FALSE(f.Accept(RecordWith(TZRecord::kZanr, "abc"))) << "the field was replaced too";
    EXPECT_THROW(f.SetPattern("a", -1), std::out_of_range);
}

}  // namespace

namespace {

TEST(TPatternMatcher, FindsAnyPatternLikeStrstr) {
    const struct Case {
        const char* label;
        std::vector<std::string_view> patterns;
        const char* text;
        bool found;
    } cases[] = {
        {"one of several", {"/a/ivanov/", "/b/petrov/"}, "/b/petrov/", true},
        {"inside a longer text", {"/a/ivanov/", "petrov"}, "/b/petrov_2/", true},
        {"none", {"/a/ivanov/", "/b/petrov/"}, "/c/sidorov/", false},
        {"a pattern that begins inside another", {"abcx", "bcd"}, "zabcd", true},
        {"pattern that is a part of another", {"abcdefgh", "cde"}, "xxcdexx", true},
        {"longer than the text", {"abcdefghij"}, "abcdefghi", false},
        {"at the very end", {"12345678"}, "0012345678", true},
        {"short patterns are never skipped", {"ab", "q"}, "xxab", true},
        {"patterns filed under one key", {"xx12345678", "yy12345678"}, "ayy12345678", true},
        {"a key without its pattern", {"xx12345678"}, "yy12345678", false},
        {"keys of four bytes", {"abcd", "xyzabcd", "12345678"}, "--xyzabcd", true},
        {"bytes above 127", {"\xCF\xF0\xEE\xE7\xE0"}, "\xD4\xE0, \xCF\xF0\xEE\xE7\xE0", true},
        {"other letter case", {"\xCF\xF0\xEE\xE7\xE0"}, "\xEF\xF0\xEE\xE7\xE0", false},
        {"empty pattern", {"zzz", ""}, "", true},
        {"empty text", {"a"}, "", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(TPatternMatcher(c.patterns).FoundIn(c.text), c.found);
    }
}

// A hand-built tree whose verdict for the generated page FilterRecords must give record by record.
TEST(FilterRecords, KeepsWhatThePlainEvaluationKeepsForHandBuiltTrees) {
    const GeneratedPage page = GenerateListingPage(400, 7);
    CFolianta store;
    store.LoadPageText(page.bytes);
    const auto listOf = [](int mode, std::vector<CBaseFilter*> children) {
        auto* list = new CFilterList(mode, int(children.size()), true);
        for (std::size_t i = 0; i < children.size(); ++i) {
            list->SetAt(int(i), children[i]);
        }
        return list;
    };
    const auto inside = [](const std::string& pattern, int field) {
        auto* leaf = new CFilterInside(true);
        leaf->SetPattern(pattern.c_str(), field);
        return leaf;
    };
    // A long list that uses every byte value, its shortest pattern of two bytes.
    std::vector<CBaseFilter*> huge;
    for (int i = 0; i < 400; ++i) {
        std::string pattern(60, char(1 + i % 255));
        pattern[0] = char(255 - i % 200);
        huge.push_back(inside(pattern, TZRecord::kAutorLink));
    }
    huge.push_back(inside("\x01\x02", TZRecord::kAutorLink));
    huge.push_back(inside(page.authorLinks[3], TZRecord::kAutorLink));
    const std::string genre = ToCp1251("Проза");
    const struct Case {
        const char* label;
        std::function<CBaseFilter*()> tree;
    } cases[] = {
        {"empty slot in an any-list",
         [&] {
             return listOf(lmAny, {nullptr, inside(genre, TZRecord::kZanr)});
         }},
        {"invalid mode", [&] { return listOf(7, {inside(genre, TZRecord::kZanr)}); }},
        {"not-all of leaves on two fields",
         [&] {
             return listOf(lmNotAll,
                           {inside(genre, TZRecord::kZanr), inside("/", TZRecord::kAutorLink)});
         }},
        {"none of authors and a nested any",
         [&] {
             return listOf(lmNone,
                           {inside(page.authorLinks[0], TZRecord::kAutorLink),
                            inside(page.authorLinks[1], TZRecord::kAutorLink),
                            listOf(lmAny, {new CFilterCMP("9k", TZRecord::kSize, true, true)})});
         }},
        {"leaf without pattern and the base node",
         [&] {
             return listOf(lmAny, {new CFilterInside(true), new CBaseFilter(true)});
         }},
        {"empty pattern",
         [&] {
             return listOf(lmNone,
                           {inside("", TZRecord::kWorkLink), inside(genre, TZRecord::kZanr)});
         }},
        {"subclass answers for itself",
         [&] {
             struct Odd : CFilterInside {
                 using CFilterInside::CFilterInside;
                 bool Accept(const TZRecord& r) const override { return r.lastCell[0] % 2; }
             };
             return listOf(lmAll, {new Odd(true), inside("/", TZRecord::kAutorLink)});
         }},
        {"long list of every byte value", [&] { return listOf(lmAny, huge); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const std::unique_ptr<CBaseFilter> root(c.tree());
        std::vector<std::uint32_t> expected;
        for (std::uint32_t i = 0; i < store.Records().size(); ++i) {
            if (reference::Accept(root.get(), store.Records()[i])) {
                expected.push_back(i);
            }
        }
        EXPECT_EQ(FilterRecords(store.Records(), root.get()), expected);
    }
}

}  // namespace
