#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_order.h"
#include "catalogue/Unitfolianta_records.h"

class CBaseFilter;

// The numbers of the records that filter accepts, in page order; none for a null filter. The
// tree is compiled once per call into a TFilterPlan, which gives every record the verdict
// filter->Accept gives. The result is made in room, whose capacity is reused.
std::vector<std::uint32_t> FilterRecords(const std::vector<TZRecord>& records,
                                         const CBaseFilter* filter,
                                         std::vector<std::uint32_t> room = {});

// What the table is to show of a page, as the window's controls say it. Texts are
// Windows-1251 bytes.
struct TViewRequest {
    // The filter tree; null shows nothing. It stays the caller's and is read only during Refilter.
    const CBaseFilter* filter = nullptr;
    // The history's TWorkMark bits of every record, by record number. Marks of another length
    // (none yet, or those of another page) narrow nothing.
    std::shared_ptr<const std::vector<std::uint8_t>> marks{};
    // When not 0, only the records whose marks hold one of these bits are shown.
    std::uint8_t wantedMarks = 0;
    // Only the records whose title or author name holds it, letter case ignored; empty: all.
    std::string find{};
    // The order shown: page order, or the order of sortField ascending or descending.
    TZRecord::Field sortField = TZRecord::kTitle;
    TSortOrder sortOrder = TSortOrder::page;
    // The records whose marks hold one of these bits are left out (the works the reader hid).
    std::uint8_t hiddenMarks = 0;
    // The reader's title words (see CTitleWords): a record whose title holds an excluded entry
    // is left out; with wanted entries, only one whose title holds one of them is kept.
    std::vector<std::string> excludedTitleWords{};
    std::vector<std::string> wantedTitleWords{};
};

// The table's view of a page: the records it shows, in the order it shows them. A refilter runs
// the stages in turn, each over what the one before kept: the filter with the reader's rules (the
// hidden works and the title words) in the same pass, the wanted marks, the find text and the
// sort. The sorted orders of a page are made on first use and kept for the next refilters of the
// same records; so are the title words' verdicts on every record, while the words stay the same.
class CRecordView {
public:
    // Makes the view of the page store holds for request.
    void Refilter(const CFolianta& store, const TViewRequest& request);

    // The page text and the records the view was made of, shared so that they stay readable
    // after later loads.
    const std::shared_ptr<const char[]>& Page() const { return page; }
    const std::vector<TZRecord>& Records() const { return *records; }
    const std::shared_ptr<const std::vector<TZRecord>>& RecordsBuffer() const { return records; }
    // The numbers in Records of the shown records, in the order shown.
    const std::vector<std::uint32_t>& Shown() const { return shown; }
    // The shown record at index; null for any index outside them.
    const TZRecord* ShownAt(int index) const;

    // How many records of Records hold one of bits in marks and are kept by the reader's rules:
    // no bit of hiddenMarks, and a title the last refilter's title words keep. The other stages
    // do not count. Marks of another length count none.
    std::size_t CountKeptByReaderRules(const std::vector<std::uint8_t>& marks, std::uint8_t bits,
                                       std::uint8_t hiddenMarks) const;

private:
    // Judges every title of the page for request's title words, unless the same words already
    // judged the same records.
    void JudgeTitles(const TViewRequest& request);

    std::shared_ptr<const char[]> page;
    std::shared_ptr<const std::vector<TZRecord>> records =
        std::make_shared<const std::vector<TZRecord>>();
    std::vector<std::uint32_t> shown;
    CRecordOrder orders;
    // Whether the title words keep each record, by record number; empty while no entry counts.
    // The records and the words judged.
    std::vector<std::uint8_t> titleKept;
    std::shared_ptr<const std::vector<TZRecord>> judgedRecords;
    std::vector<std::string> judgedExcluded, judgedWanted;
};
