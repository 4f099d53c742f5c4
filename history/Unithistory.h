#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct sqlite3;

// The history of the works met in loaded pages, kept in an SQLite database: one row per work
// link with the size text last met, when the work was first and last met, whether it was seen
// and when it was opened. Texts are the page's bytes, kept as they are.
//
// The rows are mirrored in memory, so that a load of a page whose works are known writes
// nothing and costs one hash look-up per work; only what changed is written, in one
// transaction per call. Another running copy of the program may share the file: SQLite locks
// it, a busy file is waited on, and a change the other copy made is read in before each call.

// What the history says of a work of the loaded page; bits of a TWorkMarks byte.
enum TWorkMark : std::uint8_t {
    kUnseen = 1,   // met for the first time, or met with another size, since last seen
    kUpdated = 2,  // unseen because its size changed since it was seen
    kOpened = 4,   // opened at least once
};

// A work as a loaded page gives it.
struct TMetWork {
    std::string_view link;
    std::string_view size;
};

// What the tooltip of a work tells: when it was first met and, for an updated work, the size
// it had when it was last seen.
struct TWorkDetails {
    std::int64_t firstMet = 0;
    std::string seenSize;
};

class CHistory {
public:
    // Works not met in any load for this long are forgotten, at the next load.
    static constexpr std::int64_t kForgetAfterSeconds = std::int64_t(365) * 24 * 60 * 60;

    // Opens the history at path, creating it (and its folder) when missing. A file that is no
    // history database (damaged, or another kind of file) is moved aside, never deleted, to
    // "<path>.damaged-<now>", and a new history is made: movedAside then names where it went.
    // Throws std::runtime_error, naming the file and SQLite's reason, when it cannot be opened.
    CHistory(const std::string& path, std::int64_t now);
    CHistory(const CHistory&) = delete;
    CHistory& operator=(const CHistory&) = delete;
    ~CHistory();

    // Records the works of a page loaded at now (seconds since the epoch): a link not known is
    // added, unseen; a known one met with another size text is unseen again; every one met is
    // met now (kept to the day). Works not met for kForgetAfterSeconds are forgotten. marks gets
    // the TWorkMark bits of each work, in order. Throws std::runtime_error on a database failure,
    // the history then as before the call.
    void RecordLoad(std::span<const TMetWork> works, std::int64_t now,
                    std::vector<std::uint8_t>& marks);
    // The work at link was opened at now: it is opened and seen. An unknown link does nothing.
    void MarkOpened(std::string_view link, std::int64_t now);
    // Every work of links is seen. Unknown links do nothing.
    void MarkSeen(std::span<const std::string_view> links);
    // The work at link is unseen again, as a work met for the first time is. An unknown link
    // does nothing.
    void MarkUnseen(std::string_view link);
    // What the history holds of link; nullopt for a link not known.
    std::optional<TWorkDetails> Details(std::string_view link) const;

    // Where a damaged file was moved by the constructor; empty when none was.
    const std::string& MovedAside() const { return movedAside; }

    // The history file of this user: "$XDG_DATA_HOME/folianta/history.sqlite", or under
    // "$HOME/.local/share" when XDG_DATA_HOME is not set or empty.
    static std::string DefaultPath();

private:
    struct TWork {
        std::string link;
        std::string size;
        std::string seenSize;  // the size when last seen, while unseen since
        std::int64_t firstMet = 0;
        std::int64_t lastMet = 0;
        std::int64_t opened = 0;  // 0: never
        bool seen = false;
        bool dirty = false;
    };

    // The work at link; null when it is not known.
    const TWork* Find(std::string_view link) const;
    const TWork* Find(std::string_view link, std::uint64_t hash) const;
    TWork* Find(std::string_view link, std::uint64_t hash) {
        return const_cast<TWork*>(std::as_const(*this).Find(link, hash));
    }
    TWork* Find(std::string_view link) {
        return const_cast<TWork*>(std::as_const(*this).Find(link));
    }
    TWork& Add(TWork work);
    // Fills placeTable anew for works, in a table at most half full.
    void Reindex();
    // Files works[place] in placeTable, which has a free slot.
    void Place(std::size_t place);
    void OpenDatabase(const std::string& file);
    // Runs change in one transaction, with the changes of other copies read in first, and writes
    // the works it touched; on failure the file and the works in memory are as before.
    void Transact(const std::function<void()>& change);
    // Marks a work to be written at the end of the transaction.
    void Touch(TWork& work);
    static std::uint8_t Marks(const TWork& work);
    void Execute(const char* sql);
    void ReadIfChanged();
    void ReadAll();
    void Forget(std::int64_t now);
    void WriteDirty();
    std::int64_t DataVersion();
    [[noreturn]] void Fail(const char* doing);

    std::string path;
    sqlite3* db = nullptr;
    // Every work of the file, and an open-addressed table that finds one by its link: a loaded
    // page looks up each of its works, and a table of nodes, one cache miss or more per look-up,
    // made that look-up cost twice the load itself. A slot holds the link's hash in its high
    // half and the work's place in works, plus one, in its low half; 0 is a free slot.
    std::vector<TWork> works;
    std::vector<std::uint64_t> placeTable;
    // Places in works of the works touched by the transaction under way.
    std::vector<std::size_t> dirty;
    std::int64_t dataVersion = -1;
    std::int64_t forgottenDay = -1;
    std::string movedAside;
};
