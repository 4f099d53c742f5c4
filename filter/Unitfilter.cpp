#include "filter/Unitfilter.h"

#include <cstring>
#include <stdexcept>

#include "util/Unitutils.h"

namespace {

int CheckedField(int field) {
    if (field < 0 || field >= TZRecord::kFieldCount) {
        throw std::out_of_range("filter field index out of range");
    }
    return field;
}

int CheckedCount(int n) {
    if (n < 0) {
        throw std::invalid_argument("filter list slot count is negative");
    }
    return n;
}

}  // namespace

bool CBaseFilter::Accept(const TZRecord&) const {
    return true;
}

CFilterList::CFilterList(int mode, int childCount, bool ownedByParent)
    : CBaseFilter(ownedByParent), mode(mode) {
    SetCount(childCount);
}

CFilterList::~CFilterList() {
    for (CBaseFilter* child : children) {
        Release(child);
    }
}

void CFilterList::Release(CBaseFilter* child) {
    if (child && child->ownedByParent) {
        delete child;
    }
}

void CFilterList::SetCount(int n) {
    CheckedCount(n);
    for (std::size_t i = std::size_t(n); i < children.size(); ++i) {
        Release(children[i]);
    }
    children.resize(std::size_t(n), nullptr);
    childCount = n;
}

bool CFilterList::SetAt(int index, CBaseFilter* child) {
    if (index < 0 || index >= childCount) {
        return false;
    }
    CBaseFilter*& slot = children[std::size_t(index)];
    if (slot != child) {
        Release(slot);
        slot = child;
    }
    return true;
}

bool CFilterList::Accept(const TZRecord& record) const {
    // An empty slot is a rejecting child.
    return ListVerdict(mode, children, [&record](const CBaseFilter* child) {
        return child && child->Accept(record);
    });
}

std::unique_ptr<CFilterList> MakeFilterList(int mode, TFilterChildren children,
                                            bool ownedByParent) {
    auto list = std::make_unique<CFilterList>(mode, int(children.size()), ownedByParent);
    for (std::size_t i = 0; i < children.size(); ++i) {
        if (children[i]) {
            children[i]->ownedByParent = true;
            list->SetAt(int(i), children[i].release());
        }
    }
    return list;
}

CFilterCMP::CFilterCMP(const char* text, int field, bool lessThan, bool ownedByParent)
    : CBaseFilter(ownedByParent) {
    SetBound(text, field, lessThan);
}

void CFilterCMP::SetBound(const char* text, int field, bool lessThan) {
    this->field = CheckedField(field);
    boundText = text;
    this->lessThan = lessThan;
}

bool CFilterCMP::Accept(const TZRecord& record) const {
    const int c = CompareSizeText(FieldText(record, field), boundText);
    return lessThan ? c < 0 : c > 0;
}

void CFilterInside::SetPattern(const char* text, int field) {
    this->field = CheckedField(field);
    pattern = text;
}

bool CFilterInside::Accept(const TZRecord& record) const {
    return pattern && std::strstr(FieldText(record, field), pattern->c_str()) != nullptr;
}
