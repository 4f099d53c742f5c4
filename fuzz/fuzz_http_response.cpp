// Feeds arbitrary bytes to the HTTP client as the peer's side of the connection, in pieces of a
// size taken from the input, for two gets in a row (the second may reuse the connection). The
// same bytes go to the response reader whole, one at a time and in random slices: the three
// outcomes must agree, and agree with what the client's first get returns, raises and shows. The
// Retry-After and Date values go to the reader of waits.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string_view>

#include "net/UnitHttp.h"
#include "tests/support/ResponseSlices.h"

namespace {

constexpr std::int64_t kFuzzMaxBody = 1 << 20;
constexpr std::size_t kLongestRandomSlice = 64;

// The peer: every connection reads on from where the last one stopped; after the last byte it
// either closes or falls silent.
struct FuzzPeer {
    std::string_view bytes;
    std::size_t piece = 1;
    bool silentAtEnd = false;
};

class FuzzConnection final : public TSocketConnection {
public:
    explicit FuzzConnection(FuzzPeer& peer) : peer(peer) {}
    bool WaitConnected(int) override { return true; }
    void StartTls(const std::string&) override {}  // the fuzzed address is never https
    std::size_t Send(std::string_view bytes, int) override { return bytes.size(); }
    std::ptrdiff_t Receive(char* buffer, std::size_t capacity, int) override {
        if (peer.bytes.empty()) {
            return peer.silentAtEnd ? kNothingYet : 0;
        }
        const std::size_t n = std::min({capacity, peer.piece, peer.bytes.size()});
        std::copy_n(peer.bytes.data(), n, buffer);
        peer.bytes.remove_prefix(n);
        return std::ptrdiff_t(n);
    }

private:
    FuzzPeer& peer;
};

class FuzzLayer final : public TSocketLayer {
public:
    explicit FuzzLayer(FuzzPeer& peer) : peer(peer) {}
    std::unique_ptr<TSocketConnection> Connect(const std::string&, int) override {
        return std::make_unique<FuzzConnection>(peer);
    }

private:
    FuzzPeer& peer;
};

// The reader's outcome for bytes, which must not depend on how they are sliced.
TReadOutcome ReadAnyWay(std::string_view bytes) {
    const TReadOutcome whole = ReadInSlices(bytes, kFuzzMaxBody, [&] { return bytes.size(); });
    if (ReadInSlices(bytes, kFuzzMaxBody, [] { return 1; }) != whole) {
        std::abort();
    }
    // Seeded from the bytes, so that a failing input fails again.
    std::minstd_rand random(std::uint32_t(std::hash<std::string_view>()(bytes)));
    std::uniform_int_distribution<std::size_t> slice(1, kLongestRandomSlice);
    if (ReadInSlices(bytes, kFuzzMaxBody, [&] { return slice(random); }) != whole) {
        std::abort();
    }
    return whole;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t control = data[0];
    FuzzPeer peer;
    peer.bytes = std::string_view(reinterpret_cast<const char*>(data) + 1, size - 1);
    peer.piece = (control & 0x0F) == 0 ? SIZE_MAX : control & 0x0F;
    peer.silentAtEnd = control & 0x10;
    const TReadOutcome read = ReadAnyWay(peer.bytes);
    FuzzLayer layer(peer);
    THttpClient client(layer);
    client.MaxBodySize = kFuzzMaxBody;
    // The peer answers every wait at once, so a silent peer would otherwise be asked again and
    // again until a real wait's time ran out.
    client.ReadTimeoutMs = 0;
    if (control & 0x20) {
        client.Request.ProxyServer = "proxy.example";
        client.Request.ProxyPort = 3128;
        client.Request.ProxyUsername = "user";
    }
    if (control & 0x40) {
        client.ProtocolVersion = TProtocolVersion::pv1_0;
    }
    if (control & 0x80) {
        client.Request.IfNoneMatch = "\"v\"";
    }
    // The wait a Retry-After asks for, read as a check reads it, is never negative nor too long;
    // the Date line is read the same way, for more dates.
    constexpr std::int64_t kNow = 1796637600;
    constexpr std::int64_t kLongestWait = 86400;
    for (const std::string* value : {&read.info.RetryAfter, &read.info.Date}) {
        const auto wait = RetryAfterSeconds(*value, kNow, kLongestWait);
        if (wait && (*wait < 0 || *wait > kLongestWait)) {
            std::abort();
        }
    }
    for (int get = 0; get < 2; ++get) {
        std::string error;
        try {
            const std::string body = client.FetchBody("http://site.example:8080/dir/page.shtml");
            if (std::int64_t(body.size()) > kFuzzMaxBody || (get == 0 && body != read.body)) {
                std::abort();
            }
        } catch (const EProtocolReplyError&) {
        } catch (const ESocketError&) {
            continue;  // a silent peer: the reader was told of a close instead
        } catch (const EBaseError& e) {
            error = e.what();
        }
        // The first get reads the response from the first byte, as the reader did.
        if (get == 0 &&
            (error != read.error || client.ResponseCode() != read.statusCode ||
             client.ResponseText() != read.statusText || client.Response() != read.info)) {
            std::abort();
        }
    }
    return 0;
}
