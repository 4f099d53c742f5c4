// Loads arbitrary bytes as a listing page, parsed in two halves at once wherever it has a line
// feed after its middle, and compares the store's parse with the plain reference parser: the page
// bytes afterwards (every zero written), the lines and the field places of every record. The first
// line is parsed once more alone, in a buffer that ends at its zero, through ParseRow.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include "catalogue/Unitfolianta.h"
#include "fuzz/FuzzCheck.h"
#include "tests/support/ReferenceParser.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view page(reinterpret_cast<const char*>(data), size);
    const reference::ParsedPage expected = reference::ParsePage(page);

    CFolianta store;
    store.halvedPageSize = 1;  // halves wherever a line feed follows the middle
    store.LoadPageText(page);
    const char* text = store.PageText();
    Check(std::string_view(text, size + 1) == expected.text);
    Check(store.Rows().size() == expected.lines.size());
    for (std::size_t i = 0; i < expected.lines.size(); ++i) {
        Check(store.Rows()[i] == text + expected.lines[i]);
    }
    Check(store.Records().size() == expected.fields.size());
    for (std::size_t r = 0; r < expected.fields.size(); ++r) {
        for (int f = 0; f < TZRecord::kFieldCount; ++f) {
            Check(store.Records()[r][f] == text + expected.fields[r][std::size_t(f)]);
        }
    }

    const std::size_t firstLine =
        page.find('\n') == std::string_view::npos ? size : page.find('\n');
    std::unique_ptr<char[]> line(new char[firstLine + 1]);
    std::memcpy(line.get(), data, firstLine);
    line[firstLine] = '\0';
    TZRecord record;
    const bool parsed = store.ParseRow(line.get(), record);
    const bool expectedRecord = !expected.fields.empty() && expected.fields[0][0] < firstLine;
    Check(parsed == expectedRecord);
    Check(std::memcmp(line.get(), expected.text.data(), firstLine + 1) == 0);
    if (parsed) {
        for (int f = 0; f < TZRecord::kFieldCount; ++f) {
            Check(record[f] == line.get() + expected.fields[0][std::size_t(f)]);
        }
    }
    return 0;
}
