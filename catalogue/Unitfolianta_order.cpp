#include "catalogue/Unitfolianta_order.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <span>
#include <utility>

#include "util/Unitutils.h"

namespace {

constexpr unsigned char kCapitalA = 0xC0;   // А
constexpr unsigned char kSmallA = 0xE0;     // а
constexpr unsigned char kCapitalYe = 0xC5;  // Е
constexpr unsigned char kCapitalYo = 0xA8;  // Ё
constexpr unsigned char kSmallYo = 0xB8;    // ё

// The small letter of each byte: Latin and Cyrillic capitals (Ё too) made small.
constexpr std::array<unsigned char, 256> kSmall = [] {
    std::array<unsigned char, 256> small{};
    for (int b = 0; b < 256; ++b) {
        small[std::size_t(b)] = (b >= 'A' && b <= 'Z')            ? (unsigned char)(b - 'A' + 'a')
                                : (b >= kCapitalA && b < kSmallA) ? (unsigned char)(b + 0x20)
                                : b == kCapitalYo                 ? kSmallYo
                                                                  : (unsigned char)b;
    }
    return small;
}();

// kSmall, with ё made е as well.
constexpr std::array<unsigned char, 256> kSmallNoYo = [] {
    std::array<unsigned char, 256> small = kSmall;
    small[kCapitalYo] = small[kSmallYo] = kCapitalYe + 0x20;
    return small;
}();

// The place of each byte in Russian alphabetical order: twice the byte's value, small letters
// weighed as their capitals and Ё (either case) just after Е.
constexpr std::array<std::uint16_t, 256> kWeight = [] {
    std::array<std::uint16_t, 256> weight{};
    for (int b = 0; b < 256; ++b) {
        int capital = (b >= 'a' && b <= 'z') ? b - 'a' + 'A' : (b >= kSmallA) ? b - 0x20 : b;
        weight[std::size_t(b)] = std::uint16_t(2 * capital);
        if (b == kCapitalYo || b == kSmallYo) {
            weight[std::size_t(b)] = std::uint16_t(2 * kCapitalYe + 1);
        }
    }
    return weight;
}();

// How many bytes of a text one sort key holds, one key byte each.
constexpr std::size_t kKeyBytes = 8;

// The place of each byte in Russian alphabetical order, numbered densely from 1 so that it fits
// a key byte: 0 is the end of a text, which sorts before every byte.
constexpr std::array<std::uint8_t, 256> kRank = [] {
    std::array<bool, 2 * 256> used{};
    for (int b = 1; b < 256; ++b) {
        used[kWeight[std::size_t(b)]] = true;
    }
    std::array<int, 2 * 256> placeOf{};
    int place = 0;
    for (std::size_t w = 0; w < used.size(); ++w) {
        placeOf[w] = used[w] ? ++place : 0;
    }
    std::array<std::uint8_t, 256> rank{};
    for (int b = 1; b < 256; ++b) {
        rank[std::size_t(b)] = std::uint8_t(placeOf[kWeight[std::size_t(b)]]);
    }
    return rank;
}();
static_assert(kRank[0xFF] == kRank[0xDF] && kRank[0xDF] > kRank[0xC0] && kRank[0xC0] > kRank['z'],
              "every place fits a byte and follows the weights");

// The places of text's next kKeyBytes bytes, the first highest; a text that ends within them
// has zeros from its end on, so keys order texts as CompareRussian does, as far as they reach.
std::uint64_t RussianKey(const char* text) {
    std::uint64_t key = 0;
    std::size_t i = 0;
    for (; i < kKeyBytes && text[i] != 0; ++i) {
        key = key << 8 | kRank[(unsigned char)text[i]];
    }
    return i == 0 ? 0 : key << (8 * (kKeyBytes - i));
}

// Whether the texts of a Russian key end within its bytes.
bool EndsWithin(std::uint64_t key) {
    return (key & 0xFF) == 0;
}

// The length of a size text, up to kLongestKeyedSize, and its first bytes, the length highest;
// keys order sizes as CompareSizeText does, as far as they reach.
constexpr std::size_t kSizeKeyBytes = kKeyBytes - 1;
constexpr std::size_t kLongestKeyedSize = 0xFF;
std::uint64_t SizeKey(const char* text) {
    const std::size_t length = strnlen(text, kLongestKeyedSize);
    std::uint64_t key = length;
    for (std::size_t i = 0; i < kSizeKeyBytes; ++i) {
        key = key << 8 | (i < length ? (unsigned char)text[i] : 0);
    }
    return key;
}

// Whether size texts whose keys tie may still differ: they run past the key's bytes.
bool SizesGoOn(std::uint64_t key) {
    return (key >> (8 * kSizeKeyBytes)) > kSizeKeyBytes;
}

// A record and its sort key, held side by side so that the sort never reads the texts.
struct TKeyed {
    std::uint64_t key;
    std::uint32_t record;
};

// Runs shorter than this are sorted by comparison: a radix pass costs a pass over its counts.
constexpr std::size_t kRadixFrom = 2048;
constexpr int kDigitBits = 11;
constexpr int kDigits = (64 + kDigitBits - 1) / kDigitBits;
constexpr std::size_t kBuckets = std::size_t(1) << kDigitBits;
// Ties of more than this share of a page's records have their next keys read in page order.
constexpr std::size_t kInPageOrderShare = 16;

unsigned DigitOf(std::uint64_t key, int digit) {
    return unsigned(key >> (digit * kDigitBits)) & (kBuckets - 1);
}

// Sorts run by key, ties kept in their order: by radix, the lowest digit first, a digit that all
// keys share skipped. spare is room for a copy.
void SortByKey(std::span<TKeyed> run, std::vector<TKeyed>& spare) {
    if (run.size() < kRadixFrom) {
        std::stable_sort(run.begin(), run.end(),
                         [](const TKeyed& x, const TKeyed& y) { return x.key < y.key; });
        return;
    }
    std::vector<std::array<std::uint32_t, kBuckets>> counts(kDigits);
    for (const TKeyed& k : run) {
        for (int d = 0; d < kDigits; ++d) {
            ++counts[std::size_t(d)][DigitOf(k.key, d)];
        }
    }
    spare.resize(std::max(spare.size(), run.size()));
    TKeyed* from = run.data();
    TKeyed* to = spare.data();
    for (int d = 0; d < kDigits; ++d) {
        std::array<std::uint32_t, kBuckets>& count = counts[std::size_t(d)];
        if (count[DigitOf(from[0].key, d)] == run.size()) {
            continue;
        }
        std::uint32_t next = 0;
        for (std::uint32_t& c : count) {
            next += std::exchange(c, next);
        }
        for (std::size_t i = 0; i < run.size(); ++i) {
            to[count[DigitOf(from[i].key, d)]++] = from[i];
        }
        std::swap(from, to);
    }
    if (from != run.data()) {
        std::copy(from, from + run.size(), run.data());
    }
}

// Calls settle(begin, end) for every run of two or more equal keys in keyed[begin, end).
template <typename Settle>
void ForEachTie(const std::vector<TKeyed>& keyed, std::size_t begin, std::size_t end,
                Settle settle) {
    for (std::size_t i = begin; i < end;) {
        std::size_t j = i + 1;
        while (j < end && keyed[j].key == keyed[i].key) {
            ++j;
        }
        if (j - i > 1) {
            settle(i, j);
        }
        i = j;
    }
}

// Orders the runs of keyed whose Russian keys of a text's first bytes tie by the bytes that
// follow, kKeyBytes more at a time, until every tie is settled or its texts have ended. A depth
// that many records reach has its keys read from the texts in page order first, as reading them
// in sorted order would miss the cache at every record.
void SettleTextTies(std::vector<TKeyed>& keyed, const std::vector<TZRecord>& records,
                    TZRecord::Field field, std::uint64_t flip, std::vector<TKeyed>& spare) {
    struct TTie {
        std::size_t begin, end;
    };
    std::vector<TTie> ties;
    std::vector<TTie> nextTies;
    const auto collect = [&](std::size_t begin, std::size_t end) {
        ForEachTie(keyed, begin, end, [&](std::size_t b, std::size_t e) {
            if (!EndsWithin(keyed[b].key ^ flip)) {
                nextTies.push_back({b, e});
            }
        });
    };
    collect(0, keyed.size());
    std::vector<std::uint64_t> keyOf;  // by record number, at the depth reached
    std::vector<bool> tied;
    for (std::size_t depth = kKeyBytes; !nextTies.empty(); depth += kKeyBytes) {
        ties.swap(nextTies);
        nextTies.clear();
        std::size_t count = 0;
        for (const TTie& tie : ties) {
            count += tie.end - tie.begin;
        }
        if (count > records.size() / kInPageOrderShare) {
            tied.assign(records.size(), false);
            for (const TTie& tie : ties) {
                for (std::size_t i = tie.begin; i < tie.end; ++i) {
                    tied[keyed[i].record] = true;
                }
            }
            keyOf.resize(records.size());
            for (std::size_t r = 0; r < records.size(); ++r) {
                if (tied[r]) {
                    keyOf[r] = RussianKey(records[r][field] + depth) ^ flip;
                }
            }
            for (const TTie& tie : ties) {
                for (std::size_t i = tie.begin; i < tie.end; ++i) {
                    keyed[i].key = keyOf[keyed[i].record];
                }
            }
        } else {
            for (const TTie& tie : ties) {
                for (std::size_t i = tie.begin; i < tie.end; ++i) {
                    keyed[i].key = RussianKey(records[keyed[i].record][field] + depth) ^ flip;
                }
            }
        }
        for (const TTie& tie : ties) {
            SortByKey(std::span(keyed).subspan(tie.begin, tie.end - tie.begin), spare);
            collect(tie.begin, tie.end);
        }
    }
}

}  // namespace

int CompareRussian(const char* a, const char* b) {
    for (;; ++a, ++b) {
        const int wa = kWeight[(unsigned char)*a];
        const int wb = kWeight[(unsigned char)*b];
        if (wa != wb || *a == 0) {
            return wa - wb;
        }
    }
}

void FoldLettersAndYo(const char* text, std::string& into) {
    into.assign(text);
    for (char& c : into) {
        c = char(kSmallNoYo[(unsigned char)c]);
    }
}

CTextFinder::CTextFinder(std::string_view pattern) : folded(pattern) {
    for (char& c : folded) {
        c = char(kSmall[(unsigned char)c]);
    }
    if (!folded.empty()) {
        firsts[0] = folded[0];
        for (int b = 1; b < 256; ++b) {
            if (kSmall[std::size_t(b)] == (unsigned char)folded[0] && char(b) != folded[0]) {
                firsts[1] = char(b);
            }
        }
    }
}

bool CTextFinder::FoundIn(const char* text) const {
    if (folded.empty()) {
        return true;
    }
    for (const char* p = std::strpbrk(text, firsts); p; p = std::strpbrk(p + 1, firsts)) {
        std::size_t i = 1;
        while (i < folded.size() && p[i] &&
               kSmall[(unsigned char)p[i]] == (unsigned char)folded[i]) {
            ++i;
        }
        if (i == folded.size()) {
            return true;
        }
    }
    return false;
}

const std::vector<std::uint32_t>& CRecordOrder::Of(
    std::shared_ptr<const std::vector<TZRecord>> records, TZRecord::Field field, TSortOrder order) {
    if (records != page) {
        page = std::move(records);
        for (auto& byField : orders) {
            byField[0].clear();
            byField[1].clear();
        }
    }
    const bool descending = order == TSortOrder::descending;
    std::vector<std::uint32_t>& sorted = orders[field][descending];
    if (sorted.size() != page->size()) {
        sorted = Sorted(*page, field, descending);
    }
    return sorted;
}

std::vector<std::uint32_t> CRecordOrder::Sorted(const std::vector<TZRecord>& records,
                                                TZRecord::Field field, bool descending) {
    // The texts lie all over the page, so a comparison of two would miss the cache twice. The
    // records are sorted by integer keys of their first bytes instead, made in one pass in page
    // order, and only records whose keys tie read their texts again: by their next bytes, or
    // sizes too long for a key by comparison. A descending key is the ascending one negated, so
    // ties stay in page order either way.
    const std::uint64_t flip = descending ? ~std::uint64_t(0) : 0;
    const bool bySize = field == TZRecord::kSize;
    std::vector<TKeyed> keyed(records.size());
    for (std::uint32_t i = 0; i < keyed.size(); ++i) {
        const char* text = records[i][field];
        keyed[i] = {(bySize ? SizeKey(text) : RussianKey(text)) ^ flip, i};
    }
    std::vector<TKeyed> spare;
    SortByKey(keyed, spare);
    if (bySize) {
        ForEachTie(keyed, 0, keyed.size(), [&](std::size_t begin, std::size_t end) {
            if (SizesGoOn(keyed[begin].key ^ flip)) {
                std::stable_sort(
                    keyed.begin() + std::ptrdiff_t(begin), keyed.begin() + std::ptrdiff_t(end),
                    [&](const TKeyed& x, const TKeyed& y) {
                        const int c =
                            CompareSizeText(records[x.record].size, records[y.record].size);
                        return descending ? c > 0 : c < 0;
                    });
            }
        });
    } else {
        SettleTextTies(keyed, records, field, flip, spare);
    }
    std::vector<std::uint32_t> order(keyed.size());
    std::transform(keyed.begin(), keyed.end(), order.begin(),
                   [](const TKeyed& k) { return k.record; });
    return order;
}
