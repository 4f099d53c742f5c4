#pragma once

// The listing parser as plainly as the page format reads: lines cut at line feeds, and in each
// line the eight marker pairs found one after another with strstr, zeros written in place as
// they are found. The fast parser must give exactly this: the same page bytes afterwards, the
// same lines and the same field places.

#include <array>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace reference {

struct ParsedPage {
    std::string text;                                // the page after parsing, its zero included
    std::vector<std::size_t> lines;                  // where each line starts
    std::vector<std::array<std::size_t, 7>> fields;  // per record, where each field starts

    bool operator==(const ParsedPage&) const = default;
};

inline constexpr const char* kMarkers[8][2] = {
    {"<tr><td width=400>", "</tr>"},
    {"<a href=\"", "\">"},
    {"\"", "\"</a>"},
    {"<b>", "</b>"},
    {"&nbsp; ", "</small>"},
    {"<a href=\"", "indexdate.shtml\""},
    {">", "</a>"},
    {"<td width=50>", "</td>"},
};

// The field at cursor cut out by marker pair `pair`: null when a marker is missing.
inline char* Extract(char*& cursor, int pair) {
    char* start = std::strstr(cursor, kMarkers[pair][0]);
    if (!start) {
        return nullptr;
    }
    char* field = start + std::strlen(kMarkers[pair][0]);
    char* end = std::strstr(field, kMarkers[pair][1]);
    if (!end) {
        return nullptr;
    }
    *end = '\0';
    cursor = end + std::strlen(kMarkers[pair][1]);
    return field;
}

// Parses one zero-terminated line in place; true and fields set when it is a work row.
inline bool ParseRow(char* line, std::array<char*, 7>& fields) {
    char* cursor = line;
    char* body = Extract(cursor, 0);
    if (!body) {
        return false;
    }
    cursor = body;
    for (int f = 0; f < 7; ++f) {
        fields[std::size_t(f)] = Extract(cursor, f + 1);
        if (!fields[std::size_t(f)]) {
            return false;
        }
    }
    return true;
}

inline ParsedPage ParsePage(std::string_view page) {
    ParsedPage parsed;
    parsed.text.assign(page);
    parsed.text.push_back('\0');
    char* text = parsed.text.data();
    parsed.lines.push_back(0);
    for (std::size_t i = 0; i < page.size(); ++i) {
        if (text[i] == '\n') {
            text[i] = '\0';
            parsed.lines.push_back(i + 1);
        }
    }
    for (std::size_t line : parsed.lines) {
        std::array<char*, 7> fields{};
        if (ParseRow(text + line, fields)) {
            std::array<std::size_t, 7> places{};
            for (std::size_t f = 0; f < 7; ++f) {
                places[f] = std::size_t(fields[f] - text);
            }
            parsed.fields.push_back(places);
        }
    }
    return parsed;
}

}  // namespace reference
