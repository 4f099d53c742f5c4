#include "catalogue/Unitfolianta_words.h"

#include <gtest/gtest.h>

#include "tests/support/Cp1251Bytes.h"

namespace {

TEST(TitleWords, MatchAnywhereCaseAndYoBlindAndIgnoreEmptyEntries) {
    const struct Row {
        const char* label;
        std::vector<const char*> excluded, wanted;
        const char* title;
        bool kept;
    } rows[] = {
        {"no entries", {}, {}, "Глава 1", true},
        {"only empty entries", {""}, {""}, "Глава 1", true},
        {"excluded, its case", {"глава"}, {}, "Глава 1", false},
        {"excluded, all capitals", {"глава"}, {}, "ПОСЛЕДНЯЯ ГЛАВА", false},
        {"excluded inside a word", {"глав"}, {}, "Заглавие", false},
        {"Latin case", {"FanFic"}, {}, "a FANFIC, part 2", false},
        {"Ё in the title as Е", {"звездный"}, {}, "Звёздный путь", false},
        {"Ё in the entry as Е", {"ЗВЁЗДНЫЙ"}, {}, "Звездный путь", false},
        {"a phrase across words", {"над рекой"}, {}, "Туман НАД РЕКОЙ", false},
        {"the phrase's words apart", {"над рекой"}, {}, "Над тихой рекой", true},
        {"an empty entry beside others", {"", "черновик"}, {}, "Сад", true},
        {"wanted, found", {}, {"звёздный", "город"}, "Старый ГОРОД", true},
        {"wanted, not found", {}, {"звёздный", "город"}, "Сад", false},
        {"wanted and excluded both", {"глава"}, {"город"}, "Город. Глава 2", false},
        {"a Latin letter is no Cyrillic one", {"глaва"}, {}, "глава", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        std::vector<std::string> excluded, wanted;
        for (const char* entry : row.excluded) {
            excluded.push_back(ToCp1251(entry));
        }
        for (const char* entry : row.wanted) {
            wanted.push_back(ToCp1251(entry));
        }
        std::string room;
        EXPECT_EQ(CTitleWords(excluded, wanted).Keeps(ToCp1251(row.title).c_str(), room), row.kept);
    }
}

}  // namespace
