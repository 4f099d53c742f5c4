// Splits arbitrary bytes as an address and checks what the request line relies on.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "net/UnitHttp.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view address(reinterpret_cast<const char*>(data), size);
    const TAddressParts parts = SplitAddress(address);
    const bool backslash = parts.scheme.find('\\') != std::string::npos ||
                           parts.host.find('\\') != std::string::npos ||
                           parts.portText.find('\\') != std::string::npos ||
                           parts.path.find('\\') != std::string::npos ||
                           parts.document.find('\\') != std::string::npos;
    if (backslash || parts.path.empty() || parts.path.front() != '/' || parts.path.back() != '/' ||
        parts.path.find('#') != std::string::npos ||
        parts.document.find('#') != std::string::npos ||
        parts.document.find('/') != std::string::npos ||
        parts.host.find(':') != std::string::npos ||
        parts.path.size() + parts.document.size() > size + 1 ||
        (parts.port && parts.portText.empty())) {
        std::abort();
    }
    return 0;
}
