// Feeds arbitrary bytes to the HTTP client as the peer's side of the connection, in pieces of a
// size taken from the input, for two gets in a row (the second may reuse the connection).
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "net/UnitHttp.h"

namespace {

constexpr std::int64_t kFuzzMaxBody = 1 << 20;

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
    for (int get = 0; get < 2; ++get) {
        try {
            const std::string body = client.FetchBody("http://site.example:8080/dir/page.shtml");
            if (std::int64_t(body.size()) > kFuzzMaxBody) {
                std::abort();
            }
        } catch (const EBaseError&) {
        }
    }
    return 0;
}
