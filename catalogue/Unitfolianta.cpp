#include "catalogue/Unitfolianta.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <string>

#include "util/Unitutils_file.h"

namespace {

constexpr std::size_t kCacheLine = 64;

std::shared_ptr<char[]> NewPageBuffer(std::int64_t size) {
    if (size < 0 || size > CFolianta::kMaxPageSize) {
        throw std::length_error("Page is too large: " + std::to_string(size) +
                                " bytes, the limit is " + std::to_string(CFolianta::kMaxPageSize));
    }
    // The kernel copies a file fastest into a buffer that begins on a cache line: into one 16
    // bytes further, as the heap may well place it, a 25 MB page took 60% longer. The text
    // begins at the first cache line of a plain allocation: an aligned one would be made a little
    // larger than a page of the same size freed before, so the heap could not simply reuse that.
    const std::shared_ptr<char[]> block(new char[std::size_t(size) + kCacheLine]);
    const std::size_t skip = -reinterpret_cast<std::uintptr_t>(block.get()) % kCacheLine;
    std::shared_ptr<char[]> buffer(block, block.get() + skip);
    buffer[std::size_t(size)] = '\0';
    return buffer;
}

}  // namespace

CFolianta::CFolianta() : records(std::make_shared<std::vector<TZRecord>>()) {
    static_assert(std::size(kListingMarkers) == std::size(decltype(extractors){}));
    for (std::size_t i = 0; i < std::size(kListingMarkers); ++i) {
        extractors[i].Set(kListingMarkers[i].start, kListingMarkers[i].end, true);
    }
}

bool CFolianta::LoadPage(const char* path) {
    const CFileReader file(path, kMaxPageSize);
    if (!file) {
        errno = file.Error();
        return false;
    }
    std::shared_ptr<char[]> text = NewPageBuffer(std::int64_t(file.Size()));
    const std::optional<std::size_t> got = file.ReadInto(text.get());
    if (!got) {
        return false;  // errno from the read
    }
    // A file that shrank since it was opened gives what it still holds, zero-padded as a
    // page of that size would be.
    std::memset(text.get() + *got, 0, file.Size() - *got);
    AdoptPage(std::move(text), std::int32_t(*got));
    return true;
}

void CFolianta::LoadPageText(std::string_view bytes) {
    std::shared_ptr<char[]> text = NewPageBuffer(std::int64_t(bytes.size()));
    std::memcpy(text.get(), bytes.data(), bytes.size());
    AdoptPage(std::move(text), std::int32_t(bytes.size()));
}

void CFolianta::AdoptPage(std::shared_ptr<char[]> text, std::int32_t size) {
    pageText = std::move(text);
    pageSize = size;
    ParsePage();
}
