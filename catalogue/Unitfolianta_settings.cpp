// The settings file of the catalogue store: its writer and its reader.
//
// The file is a list of lines, each a key alone (a switch that is on) or a key, a comma and one
// or three double-quoted values. The reader is forgiving by design: every line is scanned by a
// fixed sequence of steps that never fail, so a malformed line gives whatever the steps find
// and a value runs on across line ends up to the next double quote.
//
// Choices made here:
// - A line whose key run is empty (a blank line, or one that starts with a comma, CR or LF) is
//   ignored. Reading it with the key of the line before would turn a blank line left after a
//   genre into a genre made of the line end and the next line's text; the writer never makes
//   such a line, so ignoring it loses nothing it wrote.
// - A double quote inside a value is written as the typographic closing quote 0x94 of
//   Windows-1251. The reader ends a value at a double quote, so a raw one would cut the value
//   and shift every later value of the line (and of the lines the scan runs into). The stand-in
//   looks like the original to the user, keeps the text's length, and the reader treats it as
//   an ordinary byte, so files written before read exactly as they did. A line feed inside a
//   value (a value read from a line with too few values carries the line end it ran across)
//   is written as a space, for the same reason: it would otherwise start a line of its own.
// - A zero byte ends a scan like the end of the data: the store's texts end at their first zero
//   byte, so nothing after it could be kept in a value anyway.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <initializer_list>
#include <iterator>
#include <string>

#include "catalogue/Unitfolianta.h"
#include "util/Unitutils.h"
#include "util/Unitutils_file.h"

namespace {

enum class Key {
    autorList1,
    autorList2,
    zanrCheck,
    zanrList,
    zanrCheckList,
    sizeMaxCheck,
    sizeMax,
    sizeMinCheck,
    sizeMin,
    autorList1Check,
    autorList2Check,
    none
};

// Indexed by Key.
constexpr std::string_view kKeyNames[] = {
    "AutorList1", "AutorList2",   "ZanrCheck", "ZanrList",        "ZanrCheckList",  "SizeMaxCheck",
    "SizeMax",    "SizeMinCheck", "SizeMin",   "AutorList1Check", "AutorList2Check"};
static_assert(std::size(kKeyNames) == std::size_t(Key::none));

constexpr char kQuote = '"';
constexpr char kQuoteStandIn = '\x94';
constexpr std::string_view kLineEnd = "\r\n";

std::string_view NameOf(Key key) {
    return kKeyNames[std::size_t(key)];
}

Key FindKey(std::string_view run) {
    for (std::size_t i = 0; i < std::size(kKeyNames); ++i) {
        if (EqualIgnoringLatinCase(run, kKeyNames[i])) {
            return Key(i);
        }
    }
    return Key::none;
}

// One scan of a line: the steps of the reader, from the line's first byte on to the end of the
// data. A scan leaves its own line only inside its value runs, which copy a few hundred bytes
// at most, so each byte is scanned by the few lines that start just before it and a whole read
// stays linear in the file's size.
class LineScan {
public:
    LineScan(std::string_view data, std::size_t start) : data(data), pos(start) {}

    void Spaces() {
        while (More() && data[pos] == ' ') {
            ++pos;
        }
    }

    void Skip(char c) {
        if (More() && data[pos] == c) {
            ++pos;
        }
    }

    std::string_view KeyRun() {
        const std::size_t start = pos;
        while (More() && !std::strchr(", \r\n", data[pos])) {
            ++pos;
        }
        return data.substr(start, pos - start);
    }

    // Copies up to the next double quote, at most the array's capacity; finding nothing leaves
    // the value as it was.
    template <std::size_t N>
    void ValueRun(char (&value)[N]) {
        const std::size_t start = pos;
        while (More() && pos - start < N - 1 && data[pos] != kQuote) {
            ++pos;
        }
        if (pos > start) {
            std::memcpy(value, data.data() + start, pos - start);
            value[pos - start] = '\0';
        }
    }

    // A comma, then a quoted value, then the spaces after it.
    template <std::size_t N>
    void QuotedValue(char (&value)[N]) {
        Skip(',');
        Spaces();
        Skip(kQuote);
        ValueRun(value);
        Skip(kQuote);
        Spaces();
    }

private:
    bool More() const { return pos < data.size() && data[pos] != '\0'; }

    std::string_view data;
    std::size_t pos;
};

void ReadLine(CFolianta& store, std::string_view data, std::size_t start) {
    LineScan scan(data, start);
    scan.Spaces();
    // An empty key run matches no key, so such a line is ignored.
    const Key key = FindKey(scan.KeyRun());
    switch (key) {
        case Key::autorList1:
        case Key::autorList2: {
            TAutorInf entry;
            scan.QuotedValue(entry.link);
            scan.QuotedValue(entry.name);
            scan.QuotedValue(entry.comment);
            (key == Key::autorList1 ? store.autorList1 : store.autorList2).push_back(entry);
            break;
        }
        case Key::zanrList:
        case Key::zanrCheckList: {
            ShortStr name;
            scan.QuotedValue(name.text);
            (key == Key::zanrList ? store.zanrList : store.zanrCheckList).push_back(name);
            break;
        }
        case Key::sizeMax:
        case Key::sizeMin: {
            ShortStr value;
            scan.QuotedValue(value.text);
            (key == Key::sizeMax ? store.sizeMax : store.sizeMin) = value;
            break;
        }
        case Key::zanrCheck:
            store.zanrCheck = true;
            break;
        case Key::sizeMaxCheck:
            store.sizeMaxCheck = true;
            break;
        case Key::sizeMinCheck:
            store.sizeMinCheck = true;
            break;
        case Key::autorList1Check:
            store.autorList1Check = true;
            break;
        case Key::autorList2Check:
            store.autorList2Check = true;
            break;
        case Key::none:
            break;
    }
}

// A value's byte as the file holds it. A double quote would end the value early on reading and
// a line feed would start a line of its own, so both are written as look-alikes that the reader
// keeps as ordinary bytes. A carriage return alone starts no line and is kept.
char StoredByte(char c) {
    switch (c) {
        case kQuote:
            return kQuoteStandIn;
        case '\n':
            return ' ';
        default:
            return c;
    }
}

void AppendLine(std::string& out, Key key, std::initializer_list<const char*> values = {}) {
    out += NameOf(key);
    for (const char* value : values) {
        out += ',';
        out += kQuote;
        for (const char* p = value; *p; ++p) {
            out += StoredByte(*p);
        }
        out += kQuote;
    }
    out += kLineEnd;
}

void AppendSwitch(std::string& out, Key key, bool on) {
    if (on) {
        AppendLine(out, key);
    }
}

void AppendEntries(std::string& out, Key key, const TAutorList& list) {
    for (const TAutorInf& entry : list) {
        AppendLine(out, key, {entry.link, entry.name, entry.comment});
    }
}

void AppendNames(std::string& out, Key key, const std::vector<ShortStr>& names) {
    for (const ShortStr& name : names) {
        AppendLine(out, key, {name});
    }
}

}  // namespace

std::string CFolianta::SettingsText() const {
    std::string out;
    AppendEntries(out, Key::autorList1, autorList1);
    AppendEntries(out, Key::autorList2, autorList2);
    AppendSwitch(out, Key::zanrCheck, zanrCheck);
    AppendNames(out, Key::zanrList, zanrList);
    AppendNames(out, Key::zanrCheckList, zanrCheckList);
    AppendSwitch(out, Key::sizeMaxCheck, sizeMaxCheck);
    AppendLine(out, Key::sizeMax, {sizeMax});
    AppendSwitch(out, Key::sizeMinCheck, sizeMinCheck);
    AppendLine(out, Key::sizeMin, {sizeMin});
    AppendSwitch(out, Key::autorList1Check, autorList1Check);
    AppendSwitch(out, Key::autorList2Check, autorList2Check);
    return out;
}

bool CFolianta::SaveSettings(const char* path) const {
    const std::string text = SettingsText();
    if (std::int64_t(text.size()) > kMaxSettingsSize) {
        errno = EFBIG;
        return false;
    }
    return ReplaceFile(path, text);
}

bool CFolianta::LoadSettings(const char* path) {
    const std::optional<std::string> bytes = ReadWholeFile(path, kMaxSettingsSize);
    if (!bytes) {
        return false;
    }
    LoadSettingsText(*bytes);
    return true;
}

void CFolianta::LoadSettingsText(std::string_view bytes) {
    autorList1.clear();
    autorList2.clear();
    zanrList.clear();
    zanrCheckList.clear();
    zanrCheck = false;
    for (std::size_t start = 0; start < bytes.size();) {
        ReadLine(*this, bytes, start);
        const void* lineFeed = std::memchr(bytes.data() + start, '\n', bytes.size() - start);
        if (!lineFeed) {
            break;
        }
        start = std::size_t(static_cast<const char*>(lineFeed) - bytes.data()) + 1;
    }
}
