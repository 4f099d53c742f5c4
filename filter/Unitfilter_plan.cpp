#include "filter/Unitfilter_plan.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <typeinfo>

#include "util/Unitutils.h"

namespace {

template <typename T>
const T* ExactlyA(const CBaseFilter& filter) {
    return typeid(filter) == typeid(T) ? static_cast<const T*>(&filter) : nullptr;
}

}  // namespace

TFilterPlan::TFilterPlan(const CBaseFilter& tree) : root(Compile(&tree)) {}

std::optional<bool> TFilterPlan::Constant() const {
    if (root.kind != Node::Kind::kConstant) {
        return std::nullopt;
    }
    return root.value != root.negated;
}

bool TFilterPlan::Accept(const TZRecord& record) const {
    return Evaluate(root, record);
}

TFilterPlan::Node TFilterPlan::Compile(const CBaseFilter* filter) {
    Node node;
    if (!filter) {
        return node;  // an empty slot rejects
    }
    if (const auto* list = ExactlyA<CFilterList>(*filter)) {
        return CompileList(*list);
    }
    if (const auto* bound = ExactlyA<CFilterCMP>(*filter)) {
        node.kind = Node::Kind::kBound;
        node.text = bound->Bound();
        node.lessThan = bound->LessThan();
        node.field = bound->Field();
        fieldsRead |= 1u << node.field;
        return node;
    }
    if (const auto* inside = ExactlyA<CFilterInside>(*filter)) {
        const std::string* pattern = inside->Pattern();
        if (!pattern || pattern->empty()) {
            node.value = pattern != nullptr;
            return node;
        }
        node.kind = Node::Kind::kContains;
        node.text = *pattern;
        node.field = inside->Field();
        fieldsRead |= 1u << node.field;
        return node;
    }
    if (ExactlyA<CBaseFilter>(*filter)) {
        node.value = true;
        return node;
    }
    node.kind = Node::Kind::kForeign;
    node.foreign = filter;
    fieldsRead = (1u << TZRecord::kFieldCount) - 1;
    return node;
}

TFilterPlan::Node TFilterPlan::CompileList(const CFilterList& list) {
    Node node;
    const int mode = list.Mode();
    if (mode < lmAll || mode > lmNone) {
        return node;
    }
    node.conjunction = mode == lmAll || mode == lmNotAll;
    node.negated = mode == lmNotAll || mode == lmNone;
    // A child whose verdict differs from `conjunction` settles the list: a rejecting one an
    // all-list, a passing one an any-list.
    std::vector<Node> members;
    for (int i = 0; i < list.Count(); ++i) {
        Node child = Compile(list.At(i));
        if (child.kind == Node::Kind::kConstant) {
            if ((child.value != child.negated) != node.conjunction) {
                node.value = !node.conjunction;
                return node;
            }
            continue;
        }
        members.push_back(child);
    }
    if (members.empty()) {
        node.value = node.conjunction;
        return node;
    }
    if (!node.conjunction) {
        MergeContainment(members);
    }
    if (members.size() == 1) {
        Node only = members.front();
        only.negated = only.negated != node.negated;
        return only;
    }
    // A matcher of a list's patterns usually decides: a work is by few of the listed authors, in
    // few of the ticked genres; bounds let most works through.
    std::stable_sort(members.begin(), members.end(),
                     [](const Node& a, const Node& b) { return a.kind < b.kind; });
    node.kind = Node::Kind::kList;
    node.first = std::uint32_t(children.size());
    node.count = std::uint32_t(members.size());
    for (const Node& member : members) {
        children.push_back(std::uint32_t(nodes.size()));
        nodes.push_back(member);
    }
    return node;
}

void TFilterPlan::MergeContainment(std::vector<Node>& members) {
    std::map<int, std::vector<std::string_view>> patternsByField;
    for (const Node& member : members) {
        if (member.kind == Node::Kind::kContains && !member.negated) {
            patternsByField[member.field].push_back(member.text);
        }
    }
    for (const auto& [field, patterns] : patternsByField) {
        if (patterns.size() < 2) {
            continue;
        }
        std::unique_ptr<TPatternMatcher> matcher = TPatternMatcher::Build(patterns);
        if (!matcher) {
            continue;  // too large a table: the leaves stay as they are
        }
        const int f = field;
        std::erase_if(members, [f](const Node& m) {
            return m.kind == Node::Kind::kContains && !m.negated && m.field == f;
        });
        Node merged;
        merged.kind = Node::Kind::kMatch;
        merged.field = field;
        merged.matcher = matcher.get();
        matchers.push_back(std::move(matcher));
        members.push_back(merged);
    }
}

bool TFilterPlan::Evaluate(const Node& node, const TZRecord& record) const {
    if (node.kind != Node::Kind::kList) {
        return EvaluateLeaf(node, record);
    }
    // Lists of leaves are the common case: their children are settled here without a call.
    bool verdict = node.conjunction;
    for (std::uint32_t i = node.first; i < node.first + node.count; ++i) {
        const Node& child = nodes[children[i]];
        const bool passes =
            child.kind == Node::Kind::kList ? Evaluate(child, record) : EvaluateLeaf(child, record);
        if (passes != node.conjunction) {
            verdict = !node.conjunction;
            break;
        }
    }
    return verdict != node.negated;
}

inline bool TFilterPlan::EvaluateLeaf(const Node& node, const TZRecord& record) const {
    bool verdict = false;
    switch (node.kind) {
        case Node::Kind::kConstant:
            verdict = node.value;
            break;
        case Node::Kind::kBound: {
            const int order = CompareSizeText(FieldText(record, node.field), node.text);
            verdict = node.lessThan ? order < 0 : order > 0;
            break;
        }
        case Node::Kind::kContains:
            verdict = std::strstr(FieldText(record, node.field), node.text.data()) != nullptr;
            break;
        case Node::Kind::kMatch:
            verdict = node.matcher->FoundIn(FieldText(record, node.field));
            break;
        case Node::Kind::kForeign:
            verdict = node.foreign->Accept(record);
            break;
        case Node::Kind::kList:
            break;  // lists are evaluated by Evaluate
    }
    return verdict != node.negated;
}
