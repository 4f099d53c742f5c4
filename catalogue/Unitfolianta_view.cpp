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

// The numbers of the records that keep and then filter accept, in page order; none for a null
// filter. keep, given a record's number, is asked first, so the records it leaves out cost the
// filter nothing.
template <typename Keep>
std::vector<std::uint32_t> FilterKept(const std::vector<TZRecord>& records,
                                      const CBaseFilter* filter, std::vector<std::uint32_t> room,
                                      Keep keep) {
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
        if (keep(i) && plan.Accept(records[i])) {
            kept.push_back(std::uint32_t(i));
        }
    }
    return kept;
}

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
    return FilterKept(records, filter, std::move(room), [](std::size_t) { return true; });
}

void CRecordView::Refilter(const CFolianta& store, const TViewRequest& request) {
    page = store.PageBuffer();
    records = store.RecordsBuffer();
    const std::vector<TZRecord>& all = *records;
    // Marks of another length are not this page's.
    const std::uint8_t* marks =
        request.marks && request.marks->size() == all.size() ? request.marks->data() : nullptr;
    const std::uint8_t hidden = marks ? request.hiddenMarks : 0;
    JudgeTitles(request);
    const std::uint8_t* titled = titleKept.empty() ? nullptr : titleKept.data();
    shown = FilterKept(all, request.filter, std::move(shown), [&](std::size_t record) {
        return (!titled || titled[record]) && (hidden == 0 || !(marks[record] & hidden));
    });
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

void CRecordView::JudgeTitles(const TViewRequest& request) {
    if (judgedRecords == records && judgedExcluded == request.excludedTitleWords &&
        judgedWanted == request.wantedTitleWords) {
        return;
    }
    judgedRecords = records;
    judgedExcluded = request.excludedTitleWords;
    judgedWanted = request.wantedTitleWords;
    titleKept.clear();
    const CTitleWords words(judgedExcluded, judgedWanted);
    if (words.Empty()) {
        return;
    }
    // Judging every title costs about ten refilters with no filter on, once per page and words:
    // the words change far less often than the other controls, and the unseen count needs the
    // verdicts of the records the filter leaves out too.
    const std::vector<TZRecord>& all = *records;
    titleKept.resize(all.size());
    std::string folded;
    for (std::size_t i = 0; i < all.size(); ++i) {
        // Each title lies in a cache line of its own; fetched ahead, as in FilterKept, the
        // judging took two thirds of the time.
        if (i + kPrefetchAhead < all.size()) {
            __builtin_prefetch(all[i + kPrefetchAhead].title);
        }
        titleKept[i] = words.Keeps(all[i].title, folded);
    }
}

std::size_t CRecordView::CountKeptByReaderRules(const std::vector<std::uint8_t>& marks,
                                                std::uint8_t bits, std::uint8_t hiddenMarks) const {
    if (marks.size() != records->size()) {
        return 0;
    }
    std::size_t count = 0;
    for (std::size_t i = 0; i < marks.size(); ++i) {
        count +=
            (marks[i] & bits) && !(marks[i] & hiddenMarks) && (titleKept.empty() || titleKept[i]);
    }
    return count;
}

const TZRecord* CRecordView::ShownAt(int index) const {
    return unsigned(index) < shown.size() ? &(*records)[shown[unsigned(index)]] : nullptr;
}
