// The page download on a generated 100,000-row page (about 25 MB) served from loopback, beside
// curl fetching the same page from the same server in the same run. Both open a new connection
// for every fetch; curl's time includes starting its process, which writes to /dev/null.
#include <arpa/inet.h>
#include <benchmark/benchmark.h>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/PageGenerator.h"
#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"

extern char** environ;

namespace {

constexpr std::size_t kRows = 100'000;
constexpr int kAcceptSliceMs = 50;

// Serves the page to every connection, one after another, then closes it.
class PageServer {
public:
    explicit PageServer(const std::string& page)
        : response("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                   std::to_string(page.size()) + "\r\nConnection: close\r\n\r\n" + page) {
        listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener, SOMAXCONN) != 0 ||
            getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            throw std::runtime_error("cannot listen on loopback");
        }
        port = ntohs(address.sin_port);
        thread = std::thread([this] { Serve(); });
    }
    ~PageServer() {
        stopping = true;
        thread.join();
        close(listener);
    }
    std::string Address() const {
        return "http://127.0.0.1:" + std::to_string(port) + "/long.shtml";
    }

private:
    void Serve() {
        while (!stopping) {
            pollfd p{listener, POLLIN, 0};
            if (poll(&p, 1, kAcceptSliceMs) <= 0) {
                continue;
            }
            const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            std::string request;
            char buffer[4096];
            while (request.find("\r\n\r\n") == std::string::npos) {
                const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
                if (n <= 0) {
                    break;
                }
                request.append(buffer, std::size_t(n));
            }
            for (std::size_t sent = 0; sent < response.size();) {
                const ssize_t n =
                    send(fd, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
                if (n <= 0) {
                    break;
                }
                sent += std::size_t(n);
            }
            close(fd);
        }
    }

    const std::string response;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
};

const std::string& Page() {
    static const std::string page = GenerateListingPage(kRows, 20261208).bytes;
    return page;
}

PageServer& Server() {
    static PageServer server(Page());
    return server;
}

void BM_FetchBody(benchmark::State& state) {
    const std::string address = Server().Address();
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
    std::string address = Server().Address();
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
