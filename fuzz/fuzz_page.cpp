// Loads arbitrary bytes as a listing page and filters it with a tree of every kind of node whose
// bound and pattern texts come from the input too.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "catalogue/Unitfolianta.h"
#include "filter/Unitfilter.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view input(reinterpret_cast<const char*>(data), size);
    std::string pattern;
    int mode = lmAll;
    if (!input.empty()) {
        const auto control = static_cast<unsigned char>(input[0]);
        mode = control >> 5;  // 0..7: the four modes and values that reject everything
        const std::size_t n = std::min<std::size_t>(control & 0x0F, input.size() - 1);
        pattern.assign(input.substr(1, n).data(), n);
        input.remove_prefix(1 + n);
    }
    const std::string text(pattern.c_str());  // the node texts end at a zero byte

    CFolianta store;
    store.LoadPageText(input);
    std::size_t lineFeeds = 0;
    for (char c : input) {
        lineFeeds += c == '\n';
    }
    if (store.Rows().size() != lineFeeds + 1 || store.Records().size() > store.Rows().size()) {
        std::abort();
    }

    CFilterList root(lmAll, 4, false);
    root.SetAt(0, new CFilterCMP(text.c_str(), 2, true, true));
    root.SetAt(1, new CFilterCMP(text.c_str(), 2, false, true));
    auto* any = new CFilterList(mode, 2, true);
    auto* genre = new CFilterInside(true);
    genre->SetPattern(text.c_str(), 3);
    any->SetAt(0, genre);
    auto* author = new CFilterInside(true);
    author->SetPattern(text.c_str(), 4);
    any->SetAt(1, author);
    root.SetAt(2, any);
    root.SetAt(3, new CFilterList(lmNone, 0, true));
    for (const CBaseFilter* filter : {static_cast<const CBaseFilter*>(&root),
                                      static_cast<const CBaseFilter*>(any)}) {
        store.ApplyFilter(filter);
        const char* begin = store.PageText();
        const char* end = begin + store.PageSize();
        for (int i = 0; i < store.ShownCount(); ++i) {
            for (int f = 0; f < TZRecord::kFieldCount; ++f) {
                const char* field = store.ShownAt(i)[f];
                if (field < begin || field + std::strlen(field) > end) {
                    std::abort();
                }
            }
        }
    }
    return 0;
}
