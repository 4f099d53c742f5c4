#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "catalogue/Unitfolianta_records.h"

// The text of field number `field` of record as the filters read it: a stored record has all its
// fields, and a missing one (or a field number outside them) reads as empty.
inline const char* FieldText(const TZRecord& record, int field) {
    const char* text = record[field];
    return text ? text : "";
}

// A node of a filter tree: says whether a work record passes. A node with ownedByParent set is
// destroyed by the CFilterList whose slot holds it; otherwise its creator destroys it.
//
// A tree's contract is its verdicts: Accept has no side effects, so the view's FilterRecords
// evaluates a tree through a compiled form of it (filter/Unitfilter_plan.h) that gives every
// record the verdict Accept gives. The read-only accessors below serve that compiler.
class CBaseFilter {
public:
    explicit CBaseFilter(bool ownedByParent) : ownedByParent(ownedByParent) {}
    CBaseFilter(const CBaseFilter&) = delete;
    CBaseFilter& operator=(const CBaseFilter&) = delete;
    virtual ~CBaseFilter() = default;

    // True when the record passes; the base node passes every record. Never changes the record
    // and allocates nothing.
    virtual bool Accept(const TZRecord& record) const;

    bool ownedByParent;
};

// How a CFilterList combines its children's verdicts. Any other value rejects every record.
enum TListMode : int {
    lmAll = 0,     // every child passes
    lmAny = 1,     // at least one child passes
    lmNotAll = 2,  // at least one child rejects
    lmNone = 3,    // no child passes
};

// The verdict of a list of mode whose children's verdicts verdictOf(child) gives, asked in order
// until one settles it. CFilterList::Accept and the catalogue's compiled form both decide so.
template <typename Children, typename VerdictOf>
bool ListVerdict(int mode, const Children& children, VerdictOf verdictOf) {
    if (mode < lmAll || mode > lmNone) {
        return false;
    }
    // lmAll and lmNotAll are settled by the first rejecting child, lmAny and lmNone by the first
    // passing one.
    const bool settledBy = mode == lmAny || mode == lmNone;
    const bool negated = mode == lmNotAll || mode == lmNone;
    for (const auto& child : children) {
        if (verdictOf(child) == settledBy) {
            return settledBy != negated;
        }
    }
    return settledBy == negated;
}

// An inner node with a fixed number of slots. An empty slot counts as a rejecting child.
class CFilterList : public CBaseFilter {
public:
    // A list of childCount empty slots (childCount >= 0, else std::invalid_argument).
    CFilterList(int mode, int childCount, bool ownedByParent);
    ~CFilterList() override;

    // Resizes the slot array to n (n >= 0, else std::invalid_argument); the first min(old, n)
    // slots keep their children, new slots are empty, owned children of dropped slots are
    // destroyed.
    void SetCount(int n);
    // Puts child into slot index and returns true; an index outside the slots changes nothing
    // and returns false (the child then stays with its creator). An owned child that the slot
    // held before is destroyed.
    bool SetAt(int index, CBaseFilter* child);

    bool Accept(const TZRecord& record) const override;

    int Mode() const { return mode; }
    int Count() const { return childCount; }
    // The child in slot index; null for an empty slot or an index outside the slots.
    const CBaseFilter* At(int index) const {
        return index >= 0 && index < childCount ? children[std::size_t(index)] : nullptr;
    }

private:
    static void Release(CBaseFilter* child);

    std::vector<CBaseFilter*> children;
    int childCount = 0;
    int mode;
};

using TFilterChildren = std::vector<std::unique_ptr<CBaseFilter>>;

// A list of mode with one slot for each of children, in order, sized from them so that none is
// left out; a null child is an empty slot. The list owns the children (their ownedByParent is
// set) and destroys them with itself.
std::unique_ptr<CFilterList> MakeFilterList(int mode, TFilterChildren children, bool ownedByParent);

// A size bound on one record field, in the order of CompareSizeText. A field equal to the bound
// is rejected by both kinds of bound.
class CFilterCMP : public CBaseFilter {
public:
    CFilterCMP(const char* text, int field, bool lessThan, bool ownedByParent);

    // Copies text (any zero-terminated text, may be empty). lessThan set: the field must sort
    // below the bound; clear: above it. field must be 0..6, else std::out_of_range.
    void SetBound(const char* text, int field, bool lessThan);

    bool Accept(const TZRecord& record) const override;

    const std::string& Bound() const { return boundText; }
    bool LessThan() const { return lessThan; }
    int Field() const { return field; }

private:
    std::string boundText;
    bool lessThan = false;
    int field = 0;
};

// Byte-exact containment of a pattern anywhere in one record field. Rejects every record until
// a pattern is set; an empty pattern passes every record.
class CFilterInside : public CBaseFilter {
public:
    explicit CFilterInside(bool ownedByParent) : CBaseFilter(ownedByParent) {}

    // Copies text; field must be 0..6, else std::out_of_range.
    void SetPattern(const char* text, int field);

    bool Accept(const TZRecord& record) const override;

    // The pattern, or null while none is set.
    const std::string* Pattern() const { return pattern ? &*pattern : nullptr; }
    int Field() const { return field; }

private:
    std::optional<std::string> pattern;
    int field = 0;
};
