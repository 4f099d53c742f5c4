#include "tests/support/PageGenerator.h"

#include "catalogue/Unitfolianta_genres.h"
#include "tests/support/ListingRows.h"

#include <random>

namespace {

// Invented surnames with their Latin spelling for links; first names give initials.
struct Surname {
    std::string_view cyrillic;
    std::string_view latin;
};
constexpr Surname kSurnames[] = {
    {"Берестов", "berestov"},   {"Вязьмин", "vjazmin"},     {"Гранатов", "granatov"},
    {"Дубравин", "dubravin"},   {"Ельников", "elnikov"},    {"Жаворонков", "zhavoronkov"},
    {"Зарецкий", "zareckij"},   {"Ильменев", "ilmenev"},    {"Калинов", "kalinov"},
    {"Ледовской", "ledovskoj"}, {"Мирошин", "miroshin"},    {"Нагорный", "nagornyj"},
    {"Озерцов", "ozercov"},     {"Полесов", "polesov"},     {"Рябинин", "rjabinin"},
    {"Северцев", "severcev"},   {"Тумаков", "tumakov"},     {"Угрюмов", "ugrjumov"},
    {"Федорчук", "fedorchuk"},  {"Хмелёв", "hmeljov"},      {"Цветаев", "cvetaev"},
    {"Черемшин", "cheremshin"}, {"Шелестов", "shelestov"},  {"Щеглов", "shheglov"},
    {"Ясенев", "jasenev"},      {"Юрьевский", "jurevskij"}, {"Эльтонов", "eltonov"},
};
constexpr std::string_view kInitials[] = {"А.", "Б.", "В.", "Г.", "Д.", "Е.", "И.", "К.",
                                          "Л.", "М.", "Н.", "О.", "П.", "Р.", "С.", "Т."};

constexpr std::string_view kTitleStarts[] = {
    "Тень",  "Последний", "Город",    "Письма",  "Дорога", "Звёздный", "Осенний",  "Хроники",
    "Песня", "Тайна",     "Вечер",    "Острова", "Сны",    "Белые",    "Серебро",  "Мост",
    "Книга", "Дом",       "Холодное", "Волчья",  "Часы",   "Лунный",   "Северный", "Зимняя",
};
constexpr std::string_view kTitleWords[] = {
    "над",   "рекой",   "рассвет", "без",      "имени",  "из",    "прошлого", "домой",
    "ветер", "сад",     "старого", "маяка",    "о",      "снеге", "зелёной",  "лампы",
    "на",    "хуторе",  "памяти",  "капитана", "ночи",   "и",     "пепел",    "через",
    "время", "перемен", "у",       "моря",     "солнце", "тропа", "стрелок",  "камень",
};

// Lines of a listing page that are not work rows.
constexpr std::string_view kOtherLines[] = {
    "<tr><td colspan=3><hr size=1 noshade></td></tr>",
    "<tr><td width=400><b>Раздел обновлений</b></td></tr>",
    "<!-- обновлено автоматически -->",
    "<tr><td width=400><a href=\"/rules.shtml\">Правила</a></td></tr>",
    "",
    "<p align=center><small>страница создана генератором</small></p>",
};

constexpr std::string_view kHeader =
    "<html><head><title>Каталог: новые поступления</title>\n"
    "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1251\">\n"
    "</head><body bgcolor=#e9e9e9>\n"
    "<h3 align=center>Новые поступления</h3>\n"
    "<table width=100% border=0 cellpadding=1 cellspacing=0>\n";
constexpr std::string_view kFooter = "</table>\n</body></html>\n";

// Sizes spread over three decades like real works: many small, few of a megabyte and more.
std::string SizeText(std::mt19937& rng) {
    std::lognormal_distribution<double> kilobytes(3.5, 1.4);
    const auto k = static_cast<long>(kilobytes(rng)) + 1;
    return std::to_string(k < 9999 ? k : 9999) + "k";
}

template <typename T, std::size_t N>
const T& Pick(const T (&items)[N], std::mt19937& rng) {
    return items[std::uniform_int_distribution<std::size_t>(0, N - 1)(rng)];
}

}  // namespace

const std::vector<std::string_view>& GenreNames() {
    static const std::vector<std::string_view> names(std::begin(kDesignedGenres),
                                                     std::end(kDesignedGenres));
    return names;
}

GeneratedPage GenerateListingPage(std::size_t workRows, std::uint32_t seed,
                                  std::size_t extraLineEvery) {
    std::mt19937 rng(seed);
    GeneratedPage page;
    page.workRows = workRows;
    std::string utf8(kHeader);
    utf8.reserve(workRows * 260 + 1024);

    // A fixed cast of authors, each with a few works, like a real update list.
    const std::size_t authorCount = workRows / 4 + 1;
    std::vector<std::pair<std::string, std::string>> authors;  // link, name
    authors.reserve(authorCount);
    for (std::size_t a = 0; a < authorCount; ++a) {
        const Surname& s = Pick(kSurnames, rng);
        const std::string_view i1 = Pick(kInitials, rng);
        const std::string_view i2 = Pick(kInitials, rng);
        const std::string link = "/" + std::string(s.latin.substr(0, 1)) + "/" +
                                 std::string(s.latin) + "_" + std::to_string(a) + "/";
        authors.emplace_back(link,
                             std::string(s.cyrillic) + " " + std::string(i1) + std::string(i2));
    }
    std::vector<bool> used(authorCount, false);

    for (std::size_t row = 0; row < workRows; ++row) {
        if (extraLineEvery != 0 && row % extraLineEvery == extraLineEvery - 1) {
            utf8 += Pick(kOtherLines, rng);
            utf8 += '\n';
        }
        const std::size_t a = std::uniform_int_distribution<std::size_t>(0, authorCount - 1)(rng);
        const auto& [authorLink, authorName] = authors[a];
        if (!used[a]) {
            used[a] = true;
            page.authorLinks.push_back(ToCp1251(authorLink));
        }
        std::string title(Pick(kTitleStarts, rng));
        for (int w = std::uniform_int_distribution<int>(0, 3)(rng); w > 0; --w) {
            title += ' ';
            title += Pick(kTitleWords, rng);
        }
        std::string genre(Pick(kDesignedGenres, rng));
        if (std::uniform_int_distribution<int>(0, 2)(rng) == 0) {
            genre += ", ";
            genre += Pick(kDesignedGenres, rng);
        }
        // The last cell is drawn before the size, the order the example page was made in.
        const std::string lastCell = std::to_string(std::uniform_int_distribution<int>(0, 40)(rng));
        const std::string size = SizeText(rng);
        utf8 += ListingRow({authorLink + "text_" + std::to_string(row) + ".shtml", title, size,
                            genre, authorLink, authorName, lastCell}) +
                "\n";
    }
    utf8 += kFooter;
    page.bytes = ToCp1251(utf8);
    return page;
}
