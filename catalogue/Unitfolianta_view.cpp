#include "catalogue/Unitfolianta_view.h"

#include <utility>

#include "catalogue/Unitfolianta_words.h"
#include "filter/Unitfilter_plan.h"

namespace {

// Room reserved in the filter's result.
constexpr std::size_t kReservedShown = 1000;
// How many records ahead of the one filtered its row is fetched into the cache, and the step.
constexpr std::size_t kPrefetchAhead = 16;
constexpr std::size_t kCacheLine = 64;
// The title words' verdicts on a record.
constexpr std::uint8_t kNotJudged = 0;
constexpr std::uint8_t kKept = 1;
constexpr std::uint8_t kLeftOut = 2;

// Keeps, of shown, the numbers keep accepts, in their order.
template <typename Keep>
void Narrow(std::vector<std::uint32_t>& shown, Keep keep) {
    // Every number is written and the count alone follows the verdict: a branch on it, taken
    // about half the time, was mispredicted so often that it cost more than the verdicts.
    std::size_t kept = 0;
    for (std::size_t i = 0; i < shown.size(); ++i) {
        const std::uint32_t record = shown[i];
        shown[kept] = record;
        kept += keep(record) ? 1 : 0;
    }
    shown.resize(kept);
}

// Puts shown in the order it has in order, a permutation of all record numbers.
void Arrange(std::vector<std::uint32_t>& shown, const std::vector<std::uint32_t>& order) {
    if (shown.size() == order.size()) {
        shown = order;  // every record passed, as with no filter on
        return;
    }
    std::vector<bool> isShown(order.size());
    for (const std::uint32_t record : shown) {
        isShown[record] = true;
    }
    shown.clear();
    for (const std::uint32_t record : order) {
        if (isShown[record]) {
            shown.push_back(record);
        }
    }
}

}  // namespace

std::vector<std::uint32_t> FilterRecords(const std::vector<TZRecord>& records,
                                         const CBaseFilter* filter,
                                         std::vector<std::uint32_t> room) {
    std::vector<std::uint32_t> kept = std::move(room);
    kept.clear();
    kept.reserve(kReservedShown);
    if (!filter) {
        return kept;
    }
    const TFilterPlan plan(*filter);
    for (std::size_t i = 0; i < records.size(); ++i) {
        // A verdict settles at a byte that depends on the text, and the branch mispredicted there
        // keeps the processor from running ahead into the next records: their rows would come
        // from memory one after another. So the rows of records a few places ahead are fetched
        // now (a record's fields lie in its row, from the work link to the last cell).
        if (i + kPrefetchAhead < records.size()) {
            const TZRecord& ahead = records[i + kPrefetchAhead];
            for (const char* line = ahead.workLink; line <= ahead.lastCell; line += kCacheLine) {
                __builtin_prefetch(line);
            }
        }
        if (plan.Accept(records[i])) {
            kept.push_back(std::uint32_t(i));
        }
    }
    return kept;
}

void CRecordView::Refilter(const CFolianta& store, const TViewRequest& request) {
    page = store.PageBuffer();
    records = store.RecordsBuffer();
    const std::vector<TZRecord>& all = *records;
    shown = FilterRecords(all, request.filter, std::move(shown));
    // Marks of another length are not this page's.
    const std::uint8_t* marks =
        request.marks && request.marks->size() == all.size() ? request.marks->data() : nullptr;
    NarrowByReaderRules(request, marks);
    if (marks && request.wantedMarks != 0) {
        Narrow(shown, [&](std::uint32_t record) { return marks[record] & request.wantedMarks; });
    }
    if (!request.find.empty()) {
        const CTextFinder finder(request.find);
        Narrow(shown, [&](std::uint32_t record) {
            return finder.FoundIn(all[record].title) || finder.FoundIn(all[record].autorName);
        });
    }
    if (request.sortOrder != TSortOrder::page) {
        Arrange(shown, orders.Of(records, request.sortField, request.sortOrder));
    }
}

void CRecordView::NarrowByReaderRules(const TViewRequest& request, const std::uint8_t* marks) {
    const std::uint8_t hidden = marks ? request.hiddenMarks : 0;
    const CTitleWords words(request.excludedTitleWords, request.wantedTitleWords);
    if (words.Empty()) {
        if (hidden != 0) {
            Narrow(shown, [&](std::uint32_t record) { return !(marks[record] & hidden); });
        }
        return;
    }
    // Judging a title costs about as much as the whole refilter without words, and the words
    // change far less often than the other controls.
    if (judgedRecords != records || judgedExcluded != request.excludedTitleWords ||
        judgedWanted != request.wantedTitleWords) {
        judgedRecords = records;
        judgedExcluded = request.excludedTitleWords;
        judgedWanted = request.wantedTitleWords;
        titleVerdicts.assign(records->size(), kNotJudged);
    }
    std::string folded;
    Narrow(shown, [&](std::uint32_t record) {
        std::uint8_t& verdict = titleVerdicts[record];
        if (verdict == kNotJudged) {
            verdict = words.Keeps((*records)[record].title, folded) ? kKept : kLeftOut;
        }
        // Both stages in one pass, which halves their cost over a large page.
        return verdict == kKept && (hidden == 0 || !(marks[record] & hidden));
    });
}

const TZRecord* CRecordView::ShownAt(int index) const {
    return unsigned(index) < shown.size() ? &(*records)[shown[unsigned(index)]] : nullptr;
}
