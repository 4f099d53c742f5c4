#include "tests/support/PageGenerator.h"

#include <gtest/gtest.h>

#include "catalogue/Unitfolianta.h"

namespace {

TEST(ToCp1251, MapsRussianLettersAndKeepsAscii) {
    EXPECT_EQ(ToCp1251("Az"), "Az");
    EXPECT_EQ(ToCp1251("АЯая"), "\xC0\xDF\xE0\xFF");
    EXPECT_EQ(ToCp1251("Ёё"), "\xA8\xB8");
    EXPECT_EQ(ToCp1251("1000К"), "1000\xCA");
    EXPECT_THROW(ToCp1251("€"), std::invalid_argument);
    EXPECT_THROW(ToCp1251("\xD0"), std::invalid_argument);
}

TEST(GenerateListingPage, EveryWorkRowParsesAndTheRestDoNot) {
    const GeneratedPage page = GenerateListingPage(500, 7);
    CFolianta store;
    store.LoadPageText(page.bytes);
    ASSERT_EQ(store.Records().size(), page.workRows);
    EXPECT_GT(store.Rows().size(), page.workRows + 10);  // header, other lines, footer
    for (const TZRecord& r : store.Records()) {
        EXPECT_FALSE(std::string(r.title).empty());
        EXPECT_NE(std::string(r.workLink).find("text_"), std::string::npos);
        EXPECT_EQ(std::string(r.size).back(), 'k');
        EXPECT_EQ(std::string(r.autorLink).back(), '/');
        EXPECT_EQ(std::string(r.zanr).find('<'), std::string::npos);
    }
    EXPECT_EQ(page.bytes, GenerateListingPage(500, 7).bytes) << "depends on the seed alone";
    EXPECT_NE(page.bytes, GenerateListingPage(500, 8).bytes);
}

}  // namespace
