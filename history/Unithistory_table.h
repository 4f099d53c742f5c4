#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A work as the history keeps it. Texts are the page's bytes; times are seconds since the epoch.
struct THistoryWork {
    std::string link;
    std::string size;
    std::string seenSize;  // the size when last seen, while unseen since
    std::int64_t firstMet = 0;
    std::int64_t lastMet = 0;
    std::int64_t opened = 0;  // 0: never
    bool seen = false;
    bool hidden = false;  // kept out of the table by the reader, and never forgotten meanwhile
    bool dirty = false;   // changed in the transaction under way
};

// The works of the history in memory, found by link. A loaded page looks up each of its works:
// a table of nodes, one cache miss or more per look-up, made that cost twice the load itself, so
// the works stand in one vector and an open-addressed table at most half full finds them.
class CWorkTable {
public:
    static std::uint64_t HashOf(std::string_view link);

    // The work at link, whose hash is hash; null when it is not here.
    THistoryWork* Find(std::string_view link, std::uint64_t hash);
    THistoryWork* Find(std::string_view link) { return Find(link, HashOf(link)); }
    // Fetches the place-table slot where a look-up of hash starts into the cache.
    void Prefetch(std::uint64_t hash) const;
    // Adds work, whose link must not be here yet. Places of the other works stay.
    THistoryWork& Add(THistoryWork work);
    // Removes the works remove accepts; the places of the others may change.
    template <typename Remove>
    std::size_t EraseIf(Remove remove) {
        const std::size_t removed = std::erase_if(works, remove);
        if (removed > 0) {
            Reindex();
        }
        return removed;
    }
    // Holds works, whose links differ, instead of what it held.
    void Assign(std::vector<THistoryWork> all);
    void Clear() { Assign({}); }

    std::vector<THistoryWork>& Works() { return works; }
    const std::vector<THistoryWork>& Works() const { return works; }

private:
    // Fills placeTable anew for works.
    void Reindex();
    // Files works[place] in placeTable, which has a free one.
    void Place(std::size_t place);

    std::vector<THistoryWork> works;
    // A slot holds the link's hash in its high half and the work's place in works, plus one, in
    // its low half; 0 is a free slot.
    std::vector<std::uint64_t> placeTable;
};
