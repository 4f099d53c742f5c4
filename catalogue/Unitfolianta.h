#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "catalogue/Unitfolianta_records.h"

using TAutorList = std::vector<TAutorInf>;

// The catalogue store: the page currently loaded (its text, lines and records), the author lists
// and the other filter settings. What the table shows of the page is a CRecordView's.
//
// Records are views into the page text and stay valid until the next successful load, or for as
// long as a holder of RecordsBuffer and PageBuffer keeps them.
class CFolianta {
public:
    // The largest page accepted: the size and its terminating zero must fit a 32-bit int.
    static constexpr std::int64_t kMaxPageSize = INT32_MAX - 1;

    CFolianta();
    CFolianta(const CFolianta&) = delete;
    CFolianta& operator=(const CFolianta&) = delete;

    // Reads the regular file at path whole and parses it. False,
    // at once and with nothing changed and errno saying why, when it is no regular file (a
    // FIFO, a folder, a device), cannot be opened or read, or is larger than kMaxPageSize.
    bool LoadPage(const char* path);
    // Replaces the page with a copy of bytes and parses it, as LoadPage does with a file's
    // contents; throws std::length_error beyond kMaxPageSize.
    void LoadPageText(std::string_view bytes);

    // Cuts the page text into lines and records (a page of halvedPageSize bytes or more in two
    // halves at once, one on a second thread), writing zero bytes into it over every line feed and
    // over the end markers found: rows, records and the page bytes come out as ParseRow on each
    // line, after all line feeds were zeroed, would make them.
    void ParsePage();
    // The smallest page ParsePage reads in two halves at once; below it, starting a thread costs
    // more than it saves. The checks of the parser set it small, so that they reach the split.
    static constexpr std::int32_t kHalvedPageSize = 1 << 20;
    std::int32_t halvedPageSize = kHalvedPageSize;

    // Fills record from the first listing row of line, the eight marker pairs found one after
    // another by Extract; false (record unchanged) when a marker is missing. The zeros the parse
    // writes stay either way: at the row body's end "</tr>" and at the end marker of every field
    // found before the missing one, but none when the body is never closed.
    bool ParseRow(char* line, TZRecord& record) const;
    // Finds extractor's field at cursor and moves cursor past its end marker. Returns the
    // field's first byte, or null (cursor unchanged) when a marker is missing.
    static char* Extract(char*& cursor, const FieldExtractor& extractor);

    // The largest settings file LoadSettings reads and SaveSettings writes; one the program
    // writes holds a few kilobytes, and this leaves room for 240,000 author entries at their
    // full length.
    static constexpr std::int64_t kMaxSettingsSize = std::int64_t(64) << 20;

    // Writes the settings members to the file at path, one line per entry, name, switch and
    // size text, CR LF ended, as SettingsText gives them, through a CFileReplacement: a link
    // at path stays and its file gets the settings; a FIFO, a device, a folder or a file this
    // process may not write is left alone. False on any failure, the old file then as it was
    // and errno saying why: EFBIG for settings over kMaxSettingsSize, which could not be read
    // back.
    bool SaveSettings(const char* path) const;
    // The bytes SaveSettings writes. A double quote inside a value is written as the
    // typographic quote 0x94 and a line feed as a space, bytes the reader keeps as ordinary
    // ones: a raw quote would end the value early and a line feed would start a line of its own.
    std::string SettingsText() const;
    // Reads the regular file at path whole and applies it as LoadSettingsText does. False, at
    // once and with nothing changed and errno saying why, when it is no regular file, cannot be
    // opened or read, or is larger than kMaxSettingsSize.
    bool LoadSettings(const char* path);
    // Applies settings file bytes. Empties both author lists and both genre lists and clears
    // zanrCheck; the other switches and the size texts keep their values unless a line sets
    // them. Each line is then scanned from its start by fixed steps that never fail: a value
    // runs to the next double quote, across line ends if need be, or to its capacity, and what
    // is left feeds the steps after it. A line whose key is empty (a blank line, one that
    // starts with a comma) is ignored, not read with the key before it. A zero byte ends a
    // scan as the end of the data does. Reads no byte outside bytes.
    void LoadSettingsText(std::string_view bytes);

    TAutorList& GetAutorList1() { return autorList1; }
    TAutorList& GetAutorList2() { return autorList2; }

    // Read-only views of the page state. PageBuffer and RecordsBuffer share ownership of the
    // page text and of the records, so a holder keeps them readable after later loads (a load
    // then parses into a new records array).
    const char* PageText() const { return pageText.get(); }
    std::int32_t PageSize() const { return pageSize; }
    std::shared_ptr<const char[]> PageBuffer() const { return pageText; }
    const std::vector<char*>& Rows() const { return rows; }
    const std::vector<TZRecord>& Records() const { return *records; }
    std::shared_ptr<const std::vector<TZRecord>> RecordsBuffer() const { return records; }

private:
    void AdoptPage(std::shared_ptr<char[]> text, std::int32_t size);
    // Parses the lines from line on, the last one ending at end (a line feed or the page's
    // final zero), as ParsePage does, appending to lineStarts and found. Reads and writes no
    // byte outside them, so two stretches of lines may be parsed at once.
    void ParseLines(char* line, char* end, std::vector<char*>& lineStarts,
                    std::vector<TZRecord>& found) const;

    std::shared_ptr<char[]> pageText;
    std::int32_t pageSize = 0;

public:
    TAutorList autorList1;
    TAutorList autorList2;

private:
    std::vector<char*> rows;
    std::shared_ptr<std::vector<TZRecord>> records;
    FieldExtractor extractors[8];

public:
    bool autorList1Check = false;
    bool autorList2Check = false;
    bool zanrCheck = false;
    std::vector<ShortStr> zanrList;
    std::vector<ShortStr> zanrCheckList;
    bool sizeMaxCheck = false;
    ShortStr sizeMax;
    bool sizeMinCheck = false;
    ShortStr sizeMin;
};
