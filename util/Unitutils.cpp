#include "util/Unitutils.h"

#include <cstring>

int CompareSizeText(const char* a, const char* b) {
    const std::size_t la = std::strlen(a);
    const std::size_t lb = std::strlen(b);
    if (la != lb) {
        return la < lb ? -1 : 1;
    }
    const auto* ua = reinterpret_cast<const unsigned char*>(a);
    const auto* ub = reinterpret_cast<const unsigned char*>(b);
    for (std::size_t i = 0; i < la; ++i) {
        if (ua[i] != ub[i]) {
            return int(ua[i]) - int(ub[i]);
        }
    }
    return 0;
}
