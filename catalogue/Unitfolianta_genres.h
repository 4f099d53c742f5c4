#pragma once

#include <string_view>

// The genres a new genre list starts from, before settings replace them: the items of the main
// window's genre list as designed, in list order, in UTF-8 (the window hands them on in
// Windows-1251). Plain data, so that code without Qt (the page generator) draws from the same
// names.
inline constexpr std::string_view kDesignedGenres[] = {
    "Байки",   "Детектив",    "Детская",    "Драматургия",  "Естествознание", "Изобретательство",
    "История", "Киберпанк",   "Критика",    "Лирика",       "Литобзор",       "Любовный роман",
    "Мемуары", "Мистика",     "Оккультизм", "Пародии",      "Переводы",       "Политика",
    "Поэзия",  "Приключения", "Проза",      "Публицистика", "Религия",        "Сказки",
    "События", "Фантастика",  "Философия",  "Фэнтези",      "Хоррор",         "Эзотерика",
    "Юмор",
};
