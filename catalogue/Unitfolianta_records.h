#pragma once

#include <cstddef>
#include <cstring>

// Copies src into a fixed character array, cutting it to the array's capacity (its size less the
// terminating zero). A null src gives the empty text.
template <std::size_t N>
void CopyCapped(char (&dst)[N], const char* src) {
    static_assert(N > 0);
    const std::size_t n = src ? std::strlen(src) : 0;
    const std::size_t kept = n < N - 1 ? n : N - 1;
    std::memcpy(dst, src ? src : "", kept);
    dst[kept] = '\0';
}

// One work of a listing page: seven zero-terminated texts that lie inside the catalogue's page
// text. A record owns nothing and stays valid until the next page is loaded. Fields are
// addressed by name or by index (TZRecord::Field) in declaration order.
struct TZRecord {
    // The field indexes, in the order of the members below and of a listing row.
    enum Field : int {
        kWorkLink,
        kTitle,
        kSize,
        kZanr,
        kAutorLink,
        kAutorName,
        kLastCell,
        kFieldCount
    };

    const char* workLink = nullptr;
    const char* title = nullptr;
    const char* size = nullptr;
    const char* zanr = nullptr;
    const char* autorLink = nullptr;
    const char* autorName = nullptr;
    const char* lastCell = nullptr;

    // Field number index (0..kFieldCount-1); any other index gives null.
    const char* operator[](int index) const;
};

// The record field each column of the result table shows: the title comes before the work's
// link, the other fields follow in index order.
inline constexpr TZRecord::Field kTableColumns[TZRecord::kFieldCount] = {
    TZRecord::kTitle,     TZRecord::kWorkLink,  TZRecord::kSize,    TZRecord::kZanr,
    TZRecord::kAutorLink, TZRecord::kAutorName, TZRecord::kLastCell};

// The result table's column that shows field.
constexpr int ColumnOf(TZRecord::Field field) {
    for (int column = 0; column < TZRecord::kFieldCount; ++column) {
        if (kTableColumns[column] == field) {
            return column;
        }
    }
    return -1;
}

// The record's fields in index order, for code that fills or reads them by number.
inline constexpr const char* TZRecord::*kRecordFields[TZRecord::kFieldCount] = {
    &TZRecord::workLink,  &TZRecord::title,     &TZRecord::size,    &TZRecord::zanr,
    &TZRecord::autorLink, &TZRecord::autorName, &TZRecord::lastCell};

inline const char* TZRecord::operator[](int index) const {
    return unsigned(index) < unsigned(kFieldCount) ? this->*kRecordFields[index] : nullptr;
}

// One author-list entry: three fixed-capacity texts, copied by value.
struct TAutorInf {
    static constexpr std::size_t kLinkCapacity = 64;
    static constexpr std::size_t kNameCapacity = 64;
    static constexpr std::size_t kCommentCapacity = 128;

    char link[kLinkCapacity + 1] = {};
    char name[kNameCapacity + 1] = {};
    char comment[kCommentCapacity + 1] = {};

    // Builds an entry from three texts, each cut to its capacity; null means empty.
    static TAutorInf Make(const char* link, const char* name, const char* comment) {
        TAutorInf entry;
        CopyCapped(entry.link, link);
        CopyCapped(entry.name, name);
        CopyCapped(entry.comment, comment);
        return entry;
    }
};

// A short fixed-capacity text (a genre name or a size bound), copied by value. Converts to its
// text, through which it is read and overwritten in place.
struct ShortStr {
    static constexpr std::size_t kCapacity = 32;

    char text[kCapacity + 1] = {};

    ShortStr() = default;
    // The text of src cut to kCapacity bytes; null means empty.
    explicit ShortStr(const char* src) { CopyCapped(text, src); }

    operator char*() { return text; }
    operator const char*() const { return text; }
};

// The marker pairs of a listing row, in the order they are searched: the first pair cuts out the
// row body, the others give the record's fields 0..kFieldCount-1 in index order. Every marker
// is a static text.
struct TMarkerPair {
    const char* start;
    const char* end;
};
inline constexpr TMarkerPair kListingMarkers[TZRecord::kFieldCount + 1] = {
    {"<tr><td width=400>", "</tr>"},
    {"<a href=\"", "\">"},
    {"\"", "\"</a>"},
    {"<b>", "</b>"},
    {"&nbsp; ", "</small>"},
    {"<a href=\"", "indexdate.shtml\""},
    {">", "</a>"},
    {"<td width=50>", "</td>"},
};

// One marker pair that cuts a field out of a listing row. The markers are static texts: they are
// pointed to, not copied.
struct FieldExtractor {
    const char* startMarker = "";
    int startLength = 0;
    const char* endMarker = "";
    int endLength = 0;
    bool cutAtEnd = false;

    void Set(const char* start, const char* end, bool cut) {
        startMarker = start;
        startLength = int(std::strlen(start));
        endMarker = end;
        endLength = int(std::strlen(end));
        cutAtEnd = cut;
    }
};
