#include "history/Unithistory_table.h"

#include <algorithm>
#include <bit>
#include <functional>

namespace {

constexpr std::uint64_t kPlaceMask = 0xFFFF'FFFF;
constexpr std::size_t kFewestSlots = 16;

}  // namespace

std::uint64_t CWorkTable::HashOf(std::string_view link) {
    return std::hash<std::string_view>()(link);
}

THistoryWork* CWorkTable::Find(std::string_view link, std::uint64_t hash) {
    if (placeTable.empty()) {
        return nullptr;
    }
    const std::size_t mask = placeTable.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const std::uint64_t slot = placeTable[i];
        if (slot == 0) {
            return nullptr;
        }
        THistoryWork& work = works[(slot & kPlaceMask) - 1];
        if ((slot >> 32) == (hash >> 32) && work.link == link) {
            return &work;
        }
    }
}

void CWorkTable::Prefetch(std::uint64_t hash) const {
    if (!placeTable.empty()) {
        __builtin_prefetch(&placeTable[hash & (placeTable.size() - 1)]);
    }
}

THistoryWork& CWorkTable::Add(THistoryWork work) {
    works.push_back(std::move(work));
    if (works.size() * 2 > placeTable.size()) {
        Reindex();
    } else {
        Place(works.size() - 1);
    }
    return works.back();
}

void CWorkTable::Assign(std::vector<THistoryWork> all) {
    works = std::move(all);
    Reindex();
}

void CWorkTable::Reindex() {
    placeTable.assign(std::bit_ceil(std::max(kFewestSlots, works.size() * 2)), 0);
    for (std::size_t place = 0; place < works.size(); ++place) {
        Place(place);
    }
}

void CWorkTable::Place(std::size_t place) {
    const std::uint64_t hash = HashOf(works[place].link);
    const std::size_t mask = placeTable.size() - 1;
    std::size_t i = hash & mask;
    while (placeTable[i] != 0) {
        i = (i + 1) & mask;
    }
    placeTable[i] = (hash & ~kPlaceMask) | (place + 1);
}
