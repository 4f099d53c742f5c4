#include "filter/Unitfilter_plan.h"

#include <algorithm>
#include <map>
#include <string_view>
#include <typeinfo>

namespace {

template <typename T>
const T* ExactlyA(const CBaseFilter* filter) {
    return filter && typeid(*filter) == typeid(T) ? static_cast<const T*>(filter) : nullptr;
}

}  // namespace

TFilterPlan::TFilterPlan(const CBaseFilter& tree) : root(Compile(&tree)) {}

TFilterPlan::Node TFilterPlan::Compile(const CBaseFilter* filter) {
    Node compiled;
    const auto* list = ExactlyA<CFilterList>(filter);
    if (!list) {
        compiled.node = filter;
        return compiled;
    }
    compiled.mode = list->Mode();
    // In a list that one passing child settles, the leaves on one field pass together when any
    // of their patterns occurs; a subclass of a leaf may answer otherwise, so it is asked itself.
    const bool anyPasses = list->Mode() == lmAny || list->Mode() == lmNone;
    std::map<int, std::vector<std::string_view>> patternsByField;
    for (int i = 0; i < list->Count(); ++i) {
        const auto* leaf = ExactlyA<CFilterInside>(list->At(i));
        if (anyPasses && leaf && leaf->Pattern()) {
            patternsByField[leaf->Field()].push_back(*leaf->Pattern());
        } else {
            compiled.children.push_back(Compile(list->At(i)));
        }
    }
    for (const auto& [field, patterns] : patternsByField) {
        Node matched;
        matched.matcher = std::make_unique<TPatternMatcher>(patterns);
        matched.field = field;
        compiled.children.push_back(std::move(matched));
    }
    // Matchers and lists are asked first: a list of authors or genres settles most records, a
    // size bound lets most through.
    std::stable_partition(compiled.children.begin(), compiled.children.end(),
                          [](const Node& child) { return child.mode || child.matcher; });
    // A list of all or any of one child gives that child's verdict: the child is asked directly.
    if (compiled.children.size() == 1 && (list->Mode() == lmAll || list->Mode() == lmAny)) {
        return std::move(compiled.children.front());
    }
    return compiled;
}

bool TFilterPlan::Evaluate(const Node& node, const TZRecord& record) {
    if (node.mode) {
        return ListVerdict(*node.mode, node.children,
                           [&record](const Node& child) { return Evaluate(child, record); });
    }
    if (node.matcher) {
        return node.matcher->FoundIn(FieldText(record, node.field));
    }
    return node.node && node.node->Accept(record);
}
