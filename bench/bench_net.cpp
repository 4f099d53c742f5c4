// The page download on a generated 100,000-row page (about 25 MB) served from loopback, over
// http and over https, each beside curl fetching the same page from the same server in the same
// run. Both open a new connection for every fetch; curl's time includes starting its process,
// which writes to /dev/null. Over https both trust the server's certificate by its file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "bench/PageServer.h"
#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"
#include "tests/support/PageGenerator.h"

namespace {

constexpr std::size_t kRows = 100'000;

const std::string& Page() {
    static const std::string page = GenerateListingPage(kRows, 20261208).bytes;
    return page;
}

const TTempPageFile& PageFile() {
    static const TTempPageFile file(Page());
    return file;
}

TPageServer& PlainServer() {
    static TPageServer server(PageFile().Path());
    return server;
}

const TTestCertificate& Certificate() {
    static const TTestCertificate certificate;
    return certificate;
}

TPageServer& SecureServer() {
    static TPageServer server(PageFile().Path(), TPageServer::Mode::kWholePage, &Certificate());
    // The client reads the trust store once, at its first https get.
    setenv("SSL_CERT_FILE", Certificate().CertificateFile().c_str(), 1);
    return server;
}

// Counts the body's bytes and drops them, as curl's /dev/null does: a body kept in a growing
// string would make the run measure the allocator's fresh pages instead of the get.
class TCountingSink final : public TBodySink {
public:
    void Write(std::string_view bytes) override { count += bytes.size(); }
    std::size_t count = 0;
};

void BM_FetchBody(benchmark::State& state, TPageServer& (*server)()) {
    const std::string address = server().Address("/long.shtml");
    for (auto _ : state) {
        THttpClient client;
        client.Request.Accept = kRequestAccept;
        client.Request.UserAgent = kRequestUserAgent;
        TCountingSink body;
        client.FetchBody(address, body);
        if (body.count != Page().size()) {
            state.SkipWithError("short body");
            break;
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * Page().size()));
}
BENCHMARK_CAPTURE(BM_FetchBody, http, PlainServer)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK_CAPTURE(BM_FetchBody, https, SecureServer)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Reference_Curl(benchmark::State& state, TPageServer& (*server)()) {
    const std::string address = server().Address("/long.shtml");
    for (auto _ : state) {
        if (!RunQuietly({"curl", "-s", "-f", "-o", "/dev/null", "--noproxy", "*", "--cacert",
                         Certificate().CertificateFile(), address})) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * Page().size()));
}
BENCHMARK_CAPTURE(BM_Reference_Curl, http, PlainServer)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Reference_Curl, https, SecureServer)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
