#pragma once

// A filter tree evaluated as plainly as its rules read: every child of a list asked, an empty
// slot a rejecting child, sizes ordered by length and then byte by byte, containment by strstr.
// Nodes of other classes (subclasses included) answer through their own Accept. The view's
// FilterRecords must keep exactly the records this accepts.

#include <cstring>
#include <typeinfo>

#include "filter/Unitfilter.h"

namespace reference {

inline const char* TextOf(const TZRecord& record, int field) {
    return record[field] ? record[field] : "";
}

inline int CompareSizes(const char* a, const char* b) {
    const std::size_t la = std::strlen(a), lb = std::strlen(b);
    if (la != lb) {
        return la < lb ? -1 : 1;
    }
    return std::memcmp(a, b, la);
}

inline bool Accept(const CBaseFilter* node, const TZRecord& record) {
    if (!node) {
        return false;
    }
    if (typeid(*node) == typeid(CFilterList)) {
        const auto& list = static_cast<const CFilterList&>(*node);
        bool all = true, any = false;
        for (int i = 0; i < list.Count(); ++i) {
            const bool v = Accept(list.At(i), record);
            all = all && v;
            any = any || v;
        }
        switch (list.Mode()) {
            case lmAll:
                return all;
            case lmAny:
                return any;
            case lmNotAll:
                return !all;
            case lmNone:
                return !any;
            default:
                return false;
        }
    }
    if (typeid(*node) == typeid(CFilterCMP)) {
        const auto& bound = static_cast<const CFilterCMP&>(*node);
        const int order = CompareSizes(TextOf(record, bound.Field()), bound.Bound().c_str());
        return bound.LessThan() ? order < 0 : order > 0;
    }
    if (typeid(*node) == typeid(CFilterInside)) {
        const auto& inside = static_cast<const CFilterInside&>(*node);
        return inside.Pattern() &&
               std::strstr(TextOf(record, inside.Field()), inside.Pattern()->c_str());
    }
    return node->Accept(record);
}

}  // namespace reference
