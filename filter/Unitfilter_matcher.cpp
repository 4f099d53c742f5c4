#include "filter/Unitfilter_matcher.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t kMaxKeyWidth = 8;
// Bits of a key's hash in the bitmap: 8 KB.
constexpr int kKeyHashBits = 16;

std::uint64_t Mix(std::uint64_t key) {
    return key * 0x9E3779B97F4A7C15u;
}

// The last bytes read, up to 8, the latest lowest; their key is its low keyWidth bytes.
std::uint64_t Append(std::uint64_t last, char byte) {
    return last << 8 | static_cast<unsigned char>(byte);
}

}  // namespace

TPatternMatcher::TPatternMatcher(const std::vector<std::string_view>& patterns)
    : keyBits((std::size_t(1) << kKeyHashBits) / 64, 0) {
    for (const std::string_view pattern : patterns) {
        shortest = std::min(shortest, pattern.size());
    }
    keyWidth = std::min(kMaxKeyWidth, shortest);
    if (keyWidth == 0) {
        matchesEverything = true;
        return;
    }
    keyMask = keyWidth == kMaxKeyWidth ? ~std::uint64_t(0) : (std::uint64_t(1) << 8 * keyWidth) - 1;
    // At most half the slots are taken, so a probe soon meets the key or an empty slot.
    slotBits = 1;
    while ((std::size_t(1) << slotBits) < 2 * patterns.size()) {
        ++slotBits;
    }
    slotKeys.assign(std::size_t(1) << slotBits, 0);
    slotFirst.assign(std::size_t(1) << slotBits, -1);
    filed.reserve(patterns.size());
    for (const std::string_view pattern : patterns) {
        std::uint64_t key = 0;
        for (const char byte : pattern.substr(pattern.size() - keyWidth)) {
            key = Append(key, byte);
        }
        const std::uint64_t mixed = Mix(key);
        const std::uint64_t hash = mixed >> (64 - kKeyHashBits);
        keyBits[hash / 64] |= std::uint64_t(1) << (hash % 64);
        const std::size_t slot = SlotOf(key, mixed);
        slotKeys[slot] = key;
        filed.push_back(
            {std::uint32_t(filedBytes.size()), std::uint32_t(pattern.size()), slotFirst[slot]});
        slotFirst[slot] = std::int32_t(filed.size() - 1);
        filedBytes.append(pattern);
    }
}

std::size_t TPatternMatcher::SlotOf(std::uint64_t key, std::uint64_t mixed) const {
    const std::size_t mask = slotKeys.size() - 1;
    std::size_t slot = std::size_t(mixed >> (64 - slotBits));
    while (slotFirst[slot] >= 0 && slotKeys[slot] != key) {
        slot = (slot + 1) & mask;
    }
    return slot;
}

bool TPatternMatcher::FoundIn(const char* text) const {
    if (matchesEverything) {
        return true;
    }
    const std::size_t length = std::strlen(text);
    if (length < shortest) {
        return false;
    }
    // A pattern ends at least the shortest one's length into the text, so keys are looked up
    // from there on; of the bytes before, a key holds at most the last 7.
    std::uint64_t last = 0;
    const char* p = text + shortest - std::min(shortest, kMaxKeyWidth);
    for (; p < text + shortest - 1; ++p) {
        last = Append(last, *p);
    }
    for (; p < text + length; ++p) {
        last = Append(last, *p);
        const std::uint64_t key = last & keyMask;
        const std::uint64_t mixed = Mix(key);
        const std::uint64_t hash = mixed >> (64 - kKeyHashBits);
        if (!(keyBits[hash / 64] >> (hash % 64) & 1)) {
            continue;
        }
        const std::size_t end = std::size_t(p + 1 - text);
        for (std::int32_t i = slotFirst[SlotOf(key, mixed)]; i >= 0;
             i = filed[std::size_t(i)].nextWithKey) {
            const TFiledPattern& pattern = filed[std::size_t(i)];
            if (pattern.length <= end &&
                std::memcmp(p + 1 - pattern.length, filedBytes.data() + pattern.offset,
                            pattern.length) == 0) {
                return true;
            }
        }
    }
    return false;
}
