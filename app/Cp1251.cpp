#include "app/Cp1251.h"

#include <QHash>
#include <QStringDecoder>
#include <array>
#include <cstring>

namespace {

// Both directions come from one table of the 256 bytes, decoded once by Qt's converter; a table
// look-up per character is much cheaper than a converter call per table cell.
struct CodePage {
    std::array<char16_t, 256> toUnicode{};
    QHash<char16_t, char> fromUnicode;

    CodePage() {
        QStringDecoder decoder("windows-1251");
        for (int b = 0; b < 256; ++b) {
            const char byte = char(b);
            const QString decoded = decoder.decode(QByteArrayView(&byte, 1));
            const char16_t unit = decoded.size() == 1 ? decoded[0].unicode() : u'\uFFFD';
            toUnicode[std::size_t(b)] = unit;
            if (unit != u'\uFFFD') {
                fromUnicode.insert(unit, byte);
            }
        }
    }
};

const CodePage& Table() {
    static const CodePage table;
    return table;
}

}  // namespace

QString DecodeCp1251(const char* text) {
    QString out;
    if (!text) {
        return out;
    }
    const auto& toUnicode = Table().toUnicode;
    const std::size_t n = std::strlen(text);
    out.resize(qsizetype(n));
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (std::size_t i = 0; i < n; ++i) {
        dst[i] = toUnicode[static_cast<unsigned char>(text[i])];
    }
    return out;
}

std::string EncodeCp1251(const QString& text) {
    const auto& fromUnicode = Table().fromUnicode;
    std::string out;
    out.reserve(std::size_t(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c.isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            ++i;  // one character outside the code page, one "?"
            out += '?';
            continue;
        }
        out += fromUnicode.value(c.unicode(), '?');
    }
    return out;
}
