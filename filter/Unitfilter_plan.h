#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "filter/Unitfilter.h"
#include "filter/Unitfilter_matcher.h"

// The compiled form of a filter tree that the catalogue's ApplyFilter runs over every record.
// It gives each record exactly the verdict the tree's own Accept gives, for every tree, at a
// cost close to reading the tested fields once.
//
// Settled when it is built, from the tree as it is then: empty slots, lists of an unknown mode
// and leaves without a pattern or with an empty one become constant verdicts, and so does every
// list that such a constant settles; neutral constants drop out; a list of one child is that
// child, negated for lmNotAll and lmNone; inside a list the tests that most often decide it go
// first (the matchers of author and genre lists, then bounds, single containments, lists and
// other nodes), and each list stops at its first deciding child; the containment leaves of one
// lmAny or lmNone list that search one field become one TPatternMatcher. Nodes of other classes,
// subclasses of the three included, are asked through their own Accept. The plan reads the tree's
// bound and pattern texts in place: the tree must outlive it unchanged.
class TFilterPlan {
public:
    explicit TFilterPlan(const CBaseFilter& root);

    // The verdict of the tree's Accept for record.
    bool Accept(const TZRecord& record) const;
    // The verdict every record gets, when the tree settles it without reading a record.
    std::optional<bool> Constant() const;
    // The record fields the plan may read, bit i for field i; nodes asked through their own
    // Accept may read any field.
    unsigned FieldsRead() const { return fieldsRead; }

private:
    struct Node {
        // In the order the children of a list are asked.
        enum class Kind : std::uint8_t { kConstant, kMatch, kBound, kContains, kList, kForeign };
        Kind kind = Kind::kConstant;
        bool negated = false;      // the verdict of the node is inverted
        bool value = false;        // kConstant: the verdict
        bool lessThan = false;     // kBound: an upper bound
        bool conjunction = false;  // kList: every child must pass; else one is enough
        int field = 0;             // kBound, kContains, kMatch: the record field read
        std::string_view text;     // kBound: the bound; kContains: the pattern (zero-terminated)
        std::uint32_t first = 0;   // kList: the children are children[first, first + count)
        std::uint32_t count = 0;
        const TPatternMatcher* matcher = nullptr;  // kMatch
        const CBaseFilter* foreign = nullptr;      // kForeign
    };

    Node Compile(const CBaseFilter* filter);
    Node CompileList(const CFilterList& list);
    // Replaces the plain containment leaves of a one-passing-child-is-enough list that search
    // one field by a matcher of their patterns.
    void MergeContainment(std::vector<Node>& members);
    bool Evaluate(const Node& node, const TZRecord& record) const;
    // The verdict of a node that is not a list.
    bool EvaluateLeaf(const Node& node, const TZRecord& record) const;

    std::vector<Node> nodes;
    std::vector<std::uint32_t> children;
    std::vector<std::unique_ptr<TPatternMatcher>> matchers;
    unsigned fieldsRead = 0;
    Node root;
};
