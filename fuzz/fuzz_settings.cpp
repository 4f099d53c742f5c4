// Loads arbitrary bytes as a settings file, saves what was read and loads that again: the saved
// file has one line per entry, name, switch and size text, and the second load gives back what
// the first read, a line feed inside a value read back as the space it was saved as.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "catalogue/Unitfolianta.h"

namespace {

// True when b is a as the file carries it: equal, but for a line feed of a read as a space.
template <std::size_t N>
bool Same(const char (&a)[N], const char (&b)[N]) {
    std::size_t i = 0;
    for (; a[i] && b[i]; ++i) {
        if ((a[i] == '\n' ? ' ' : a[i]) != b[i]) {
            return false;
        }
    }
    return a[i] == b[i];
}

bool SameNames(const std::vector<ShortStr>& a, const std::vector<ShortStr>& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!Same(a[i].text, b[i].text)) {
            return false;
        }
    }
    return true;
}

bool SameEntries(const TAutorList& a, const TAutorList& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (!Same(a[i].link, b[i].link) || !Same(a[i].name, b[i].name) ||
            !Same(a[i].comment, b[i].comment)) {
            return false;
        }
    }
    return true;
}

bool SameSettings(const CFolianta& a, const CFolianta& b) {
    return SameEntries(a.autorList1, b.autorList1) && SameEntries(a.autorList2, b.autorList2) &&
           SameNames(a.zanrList, b.zanrList) && SameNames(a.zanrCheckList, b.zanrCheckList) &&
           a.zanrCheck == b.zanrCheck && a.sizeMaxCheck == b.sizeMaxCheck &&
           a.sizeMinCheck == b.sizeMinCheck && a.autorList1Check == b.autorList1Check &&
           a.autorList2Check == b.autorList2Check && Same(a.sizeMax.text, b.sizeMax.text) &&
           Same(a.sizeMin.text, b.sizeMin.text);
}

std::size_t Count(std::string_view text, char c) {
    std::size_t n = 0;
    for (char x : text) {
        n += x == c;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    CFolianta first;
    first.LoadSettingsText(std::string_view(reinterpret_cast<const char*>(data), size));
    const std::string saved = first.SettingsText();

    const std::size_t entries = first.autorList1.size() + first.autorList2.size();
    const std::size_t names = first.zanrList.size() + first.zanrCheckList.size();
    const std::size_t switches = first.zanrCheck + first.sizeMaxCheck + first.sizeMinCheck +
                                 first.autorList1Check + first.autorList2Check;
    // A read value never holds a double quote: the only quotes written are the delimiters.
    if (Count(saved, '"') != 6 * entries + 2 * names + 4) {
        std::abort();
    }

    if (Count(saved, '\n') != entries + names + switches + 2) {
        std::abort();
    }

    CFolianta second;
    second.LoadSettingsText(saved);
    if (!SameSettings(first, second) || second.SettingsText() != saved) {
        std::abort();
    }
    return 0;
}
