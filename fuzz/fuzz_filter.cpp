// Builds a random filter tree over a random page and compares what FilterRecords keeps with the
// plain reference evaluation and with the tree's own Accept, record by record. The input's first
// part is a program for the tree, the rest the page: lists of every mode (and invalid ones),
// empty slots, nesting, bounds and patterns cut from the page's own fields or taken from the
// program, leaves without a pattern, long lists of author links, and nodes of other classes.
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_view.h"
#include "filter/Unitfilter.h"
#include "fuzz/FuzzCheck.h"
#include "tests/support/ReferenceFilter.h"

namespace {

constexpr int kMaxDepth = 4;
constexpr int kMaxChildren = 4;
constexpr int kMaxLongList = 64;

// A node of a class the compiled form does not know: its own Accept decides.
class TReversedInside : public CFilterInside {
public:
    using CFilterInside::CFilterInside;
    bool Accept(const TZRecord& record) const override { return !CFilterInside::Accept(record); }
};

class TTreeProgram {
public:
    TTreeProgram(std::string_view program, const CFolianta& store)
        : program(program), store(store) {}

    std::unique_ptr<CBaseFilter> Node(int depth) {
        switch (Next() % (depth < kMaxDepth ? 9 : 6)) {
            case 0:
                return nullptr;  // an empty slot
            case 1: {
                const std::string bound = Text();
                return std::make_unique<CFilterCMP>(bound.c_str(), Field(), Next() & 1, true);
            }
            case 2:
            case 3: {
                auto leaf = std::make_unique<CFilterInside>(true);
                if (Next() % 8 != 0) {
                    leaf->SetPattern(Text().c_str(), Field());
                }
                return leaf;
            }
            case 4: {
                auto leaf = std::make_unique<TReversedInside>(true);
                leaf->SetPattern(Text().c_str(), Field());
                return leaf;
            }
            case 5:
                return std::make_unique<CBaseFilter>(true);
            case 6:
                return LongList();
            default:
                return List(depth);
        }
    }

    std::unique_ptr<CFilterList> List(int depth) {
        const int mode = int(Next() % 7) - 1;  // -1 and 4, 5 reject everything
        const int count = int(Next() % (kMaxChildren + 1));
        auto list = std::make_unique<CFilterList>(mode, count, depth > 0);
        for (int i = 0; i < count; ++i) {
            std::unique_ptr<CBaseFilter> child = Node(depth + 1);
            if (list->SetAt(i, child.get())) {
                child.release();
            }
        }
        return list;
    }

private:
    // An any- or none-list of many containment leaves on one field, as the author lists are.
    std::unique_ptr<CFilterList> LongList() {
        const int count = int(Next()) * kMaxLongList / 256;
        const int field = Field();
        auto list = std::make_unique<CFilterList>(Next() & 1 ? lmAny : lmNone, count, true);
        for (int i = 0; i < count; ++i) {
            auto leaf = std::make_unique<CFilterInside>(true);
            leaf->SetPattern(FieldCut(field).c_str(), field);
            list->SetAt(i, leaf.release());
        }
        return list;
    }

    unsigned Next() {
        if (program.empty()) {
            return 0;
        }
        const auto c = static_cast<unsigned char>(program.front());
        program.remove_prefix(1);
        return c;
    }
    int Field() { return int(Next() % TZRecord::kFieldCount); }

    // A bound or pattern: a cut of a page field, or bytes of the program.
    std::string Text() {
        if (Next() % 4 != 0 && !store.Records().empty()) {
            return FieldCut(Field());
        }
        const std::size_t n = std::min<std::size_t>(Next() % 8, program.size());
        std::string text(program.substr(0, n));
        program.remove_prefix(n);
        return std::string(text.c_str());  // a node text ends at a zero byte
    }
    std::string FieldCut(int field) {
        if (store.Records().empty()) {
            return {};
        }
        const std::size_t pick = Next() * 256 + Next();
        const TZRecord& record = store.Records()[pick % store.Records().size()];
        const std::string_view text(record[field]);
        const std::size_t from = text.empty() ? 0 : Next() % (text.size() + 1);
        const unsigned take = Next();
        return std::string(text.substr(from, take < 128 ? std::string_view::npos : take % 8));
    }

    std::string_view program;
    const CFolianta& store;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t split = input.empty() ? 0 : std::min<std::size_t>(input[0] * 2u, size - 1);
    const std::string_view program = input.substr(input.empty() ? 0 : 1, split);
    CFolianta store;
    store.LoadPageText(input.substr(std::min(size, split + 1)));

    TTreeProgram builder(program, store);
    const std::unique_ptr<CFilterList> root = builder.List(0);
    const std::vector<std::uint32_t> kept = FilterRecords(store.Records(), root.get());
    std::size_t next = 0;
    for (std::size_t i = 0; i < store.Records().size(); ++i) {
        const TZRecord& record = store.Records()[i];
        const bool expected = reference::Accept(root.get(), record);
        Check(root->Accept(record) == expected);
        const bool shown = next < kept.size() && kept[next] == i;
        Check(shown == expected);
        next += shown;
    }
    Check(next == kept.size());
    return 0;
}
