// Sorts the records of a random page by every field both ways and finds a random needle in
// them; each must agree with the plain references: the stable sort by the Russian alphabet or
// the size order, and the find with letter case ignored. The input is texts ended by zero
// bytes: the needle first, then the records' fields, seven a record.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Unitfolianta_order.h"
#include "fuzz/FuzzCheck.h"
#include "tests/support/ReferenceOrder.h"
#include "util/Unitutils.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const std::string needle(SplitAtFirst(rest, '\0'));
    std::vector<std::string> texts;
    while (!rest.empty()) {
        texts.emplace_back(SplitAtFirst(rest, '\0'));
    }
    auto records = std::make_shared<std::vector<TZRecord>>(
        (texts.size() + TZRecord::kFieldCount - 1) / TZRecord::kFieldCount,
        TZRecord{"", "", "", "", "", "", ""});
    for (std::size_t i = 0; i < texts.size(); ++i) {
        (*records)[i / TZRecord::kFieldCount].*kRecordFields[i % TZRecord::kFieldCount] =
            texts[i].c_str();
    }

    CRecordOrder orders;
    for (int field = 0; field < TZRecord::kFieldCount; ++field) {
        for (const TSortOrder order : {TSortOrder::ascending, TSortOrder::descending}) {
            Check(orders.Of(records, TZRecord::Field(field), order) ==
                  reference::Order(*records, field, order == TSortOrder::descending));
        }
    }
    const CTextFinder finder(needle);
    for (const std::string& text : texts) {
        Check(finder.FoundIn(text.c_str()) == reference::Contains(text, needle));
        const int c = CompareRussian(needle.c_str(), text.c_str());
        Check((c > 0) - (c < 0) == reference::CompareRussian(needle, text));
    }
    return 0;
}
