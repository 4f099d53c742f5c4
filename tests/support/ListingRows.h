#pragma once

#include <string>

// Field texts of one work row of a listing page, in the record's field order.
struct RowFields {
    std::string workLink, title, size, zanr, autorLink, autorName, lastCell;
};

// The work row as the catalogue site writes it, on one line without its line end: the one row
// format of the tests, the benchmarks and the page generator.
inline std::string ListingRow(const RowFields& f) {
    return "<tr><td width=400><a href=\"" + f.workLink + "\">\"" + f.title + "\"</a> &nbsp; <b>" +
           f.size + "</b> <small>&nbsp; " + f.zanr + "</small></td><td width=200><a href=\"" +
           f.autorLink + "indexdate.shtml\">" + f.autorName + "</a></td><td width=50>" +
           f.lastCell + "</td></tr>";
}
