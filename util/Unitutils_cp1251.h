#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A text written in the source as UTF-8 and kept as the Windows-1251 bytes the program's
// messages are made of, converted while compiling: ASCII and the Russian letters (Ё and ё too)
// only; any other character does not compile.
//   constexpr TCp1251Text kDone(u8"Готово.");
template <std::size_t N>
class TCp1251Text {
public:
    consteval TCp1251Text(const char8_t (&utf8)[N]) {
        for (std::size_t i = 0; i + 1 < N; ++i) {
            const unsigned lead = utf8[i];
            if (lead < 0x80) {
                bytes[length++] = char(lead);
                continue;
            }
            if ((lead & 0xE0) != 0xC0 || i + 2 >= N) {
                throw "not a two-byte UTF-8 character";
            }
            const unsigned code = (lead & 0x1Fu) << 6 | (unsigned(utf8[++i]) & 0x3Fu);
            if (code >= 0x410 && code <= 0x44F) {
                bytes[length++] = char(0xC0 + (code - 0x410));
            } else if (code == 0x401 || code == 0x451) {
                bytes[length++] = char(code == 0x401 ? 0xA8 : 0xB8);  // Ё, ё
            } else {
                throw "not a Russian letter";
            }
        }
    }

    constexpr std::string_view View() const { return {bytes, length}; }
    operator std::string() const { return std::string(View()); }

private:
    char bytes[N] = {};
    std::size_t length = 0;
};
