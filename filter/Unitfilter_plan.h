#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "filter/Unitfilter.h"
#include "filter/Unitfilter_matcher.h"

// The compiled form of a filter tree that the view's FilterRecords runs over every record: it
// gives each record exactly the verdict the tree's own Accept gives. The containment leaves of an
// lmAny or lmNone list that search one field become one TPatternMatcher, so that a list of a
// thousand authors costs about one pass over the field. In every list the matchers and the lists
// are asked first, then the other nodes through their own Accept. The plan keeps pointers to the
// tree's nodes: the tree must outlive it unchanged.
class TFilterPlan {
public:
    explicit TFilterPlan(const CBaseFilter& root);

    // The verdict of the tree's Accept for record.
    bool Accept(const TZRecord& record) const { return Evaluate(root, record); }

private:
    struct Node {
        // A list when mode is set; else the matcher's verdict when there is one, else the verdict
        // of node (an empty slot rejects).
        std::optional<int> mode;
        std::vector<Node> children;
        std::unique_ptr<TPatternMatcher> matcher;
        int field = 0;  // the record field the matcher reads
        const CBaseFilter* node = nullptr;
    };

    static Node Compile(const CBaseFilter* filter);
    static bool Evaluate(const Node& node, const TZRecord& record);

    Node root;
};
