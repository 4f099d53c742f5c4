// The page download on a generated 100,000-row page (about 25 MB) served from loopback, beside
// curl fetching the same page from the same server in the same run. Both open a new connection
// for every fetch; curl's time includes starting its process, which writes to /dev/null.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "tests/support/PageGenerator.h"
#include "bench/PageServer.h"
#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"

extern char** environ;

namespace {

constexpr std::size_t kRows = 100'000;

const std::string& Page() {
    static const std::string page = GenerateListingPage(kRows, 20261208).bytes;
    return page;
}

TPageServer& Server() {
    static const TTempPageFile file(Page());
    static TPageServer server(file.Path());
    return server;
}

void BM_FetchBody(benchmark::State& state) {
    const std::string address = Server().Address("/long.shtml");
    for (auto _ : state) {
        THttpClient client;
        client.Request.Accept = kRequestAccept;
        client.Request.UserAgent = kRequestUserAgent;
        const std::string body = client.FetchBody(address);
        if (body.size() != Page().size()) {
            state.SkipWithError("short body");
            break;
        }
        benchmark::DoNotOptimize(body.data());
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * Page().size()));
}
BENCHMARK(BM_FetchBody)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_Reference_Curl(benchmark::State& state) {
    std::string address = Server().Address("/long.shtml");
    char curl[] = "curl", silent[] = "-s", fail[] = "-f", output[] = "-o", null[] = "/dev/null",
         noProxy[] = "--noproxy", all[] = "*";
    char* argv[] = {curl, silent, fail, output, null, noProxy, all, address.data(), nullptr};
    for (auto _ : state) {
        pid_t pid = 0;
        int status = 0;
        if (posix_spawnp(&pid, "curl", nullptr, nullptr, argv, environ) != 0 ||
            waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("curl failed");
            break;
        }
    }
    state.SetBytesProcessed(std::int64_t(state.iterations() * Page().size()));
}
BENCHMARK(BM_Reference_Curl)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
