#include "tests/support/Cp1251Bytes.h"

#include <stdexcept>

std::string ToCp1251(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            out += char(c);
            continue;
        }
        if ((c & 0xE0) != 0xC0 || i + 1 >= utf8.size()) {
            throw std::invalid_argument("ToCp1251: not a two-byte UTF-8 character");
        }
        const unsigned code = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3Fu);
        if (code >= 0x410 && code <= 0x44F) {
            out += char(0xC0 + (code - 0x410));
        } else if (code == 0x401) {
            out += char(0xA8);
        } else if (code == 0x451) {
            out += char(0xB8);
        } else {
            throw std::invalid_argument("ToCp1251: character outside the Russian alphabet");
        }
    }
    return out;
}
