// The connection's life across gets, the bounded waits and sizes, and the socket layer.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "tests/net/NetTestSupport.h"
#include "tests/support/Cp1251Bytes.h"
#include "tests/support/ScriptedServer.h"

namespace {

constexpr int kShortWaitMs = 200;

TEST(THttpClientConnection, ReusesAKeptOpenConnectionForTheSameTarget) {
    ScriptedServer server({{ReadRequest(), Send(Ok("one")), ReadRequest(), Send(Ok("two")),
                            ReadRequest(), Send(Ok("three"))}});
    auto client = MakeClient();
    EXPECT_EQ(client->FetchBody(server.Address("/a")), "one");
    EXPECT_EQ(client->FetchBody(server.Address("/b")), "two");
    EXPECT_EQ(client->FetchBody(server.Address("/c?q=1")), "three");
    EXPECT_EQ(server.Accepted(), 1);
    EXPECT_EQ(server.Requests().size(), 3u);
}

TEST(THttpClientConnection, ConnectsAnewWhenTheTargetChanges) {
    ScriptedServer first({{ReadRequest(), Send(Ok("a1"))}, {ReadRequest(), Send(Ok("a2"))}});
    ScriptedServer second({{ReadRequest(), Send(Ok("b"))}});
    auto client = MakeClient();
    EXPECT_EQ(client->FetchBody(first.Address("/")), "a1");
    EXPECT_EQ(client->FetchBody(second.Address("/")), "b");
    EXPECT_EQ(client->FetchBody(first.Address("/")), "a2");
    EXPECT_EQ(first.Accepted(), 2);
    EXPECT_EQ(second.Accepted(), 1);
}

TEST(THttpClientConnection, LeavingTheProxyConnectsDirectlyWithoutCredentials) {
    ScriptedServer proxy({{ReadRequest(), Send(Ok("via proxy"))}});
    ScriptedServer site({{ReadRequest(), Send(Ok("direct"))}});
    auto client = MakeClient();
    UseProxy(*client, proxy.Port());
    EXPECT_EQ(client->FetchBody(site.Address("/p")), "via proxy");
    EXPECT_EQ(proxy.Requests()[0].rfind("GET " + site.Address("/p") + " HTTP/1.1\r\n", 0), 0u);
    // What the window sets when the proxy check box is off.
    client->Request.ProxyPort = 0;
    client->Request.ProxyServer.clear();
    client->Request.ProxyPassword.clear();
    client->Request.ProxyUsername.clear();
    EXPECT_EQ(client->FetchBody(site.Address("/p")), "direct");
    ASSERT_EQ(site.Requests().size(), 1u);
    EXPECT_EQ(site.Requests()[0].find("Proxy-Authorization"), std::string::npos);
    EXPECT_EQ(proxy.Accepted(), 1);
}

TEST(THttpClientConnection, ReplacesAnIdleConnectionThePeerClosed) {
    struct Row {
        const char* label;
        bool proxy;
        TServerStep end;
    } rows[] = {
        {"direct, closed", false, Close()},
        {"direct, reset", false, Reset()},
        {"through the proxy, closed", true, Close()},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        // The peer closes only once the first get has returned.
        ScriptedServer server({{ReadRequest(), Send(Ok("first")), AwaitGo(), row.end},
                               {ReadRequest(), Send(Ok("second"))}});
        auto client = MakeClient();
        if (row.proxy) {
            UseProxy(*client, server.Port());
        }
        const std::string address = server.Address("/x");
        EXPECT_EQ(client->FetchBody(address), "first");
        EXPECT_TRUE(client->Connected());
        server.Go();
        ASSERT_TRUE(server.WaitForScripts(1));
        EXPECT_EQ(client->FetchBody(address), "second");
        EXPECT_EQ(server.Accepted(), 2);
        EXPECT_EQ(server.Requests().size(), 2u);
    }
}

TEST(THttpClientConnection, NoticesAPeerThatClosesRightAfterItsResponse) {
    constexpr int kGets = 20;
    for (const bool proxy : {false, true}) {
        SCOPED_TRACE(proxy ? "through the proxy" : "direct");
        std::vector<TConnectionScript> scripts;
        for (int i = 0; i < kGets; ++i) {
            scripts.push_back({ReadRequest(), Send(Ok(std::to_string(i))), Close()});
        }
        ScriptedServer server(scripts);
        auto client = MakeClient();
        if (proxy) {
            UseProxy(*client, server.Port());
        }
        for (int i = 0; i < kGets; ++i) {
            EXPECT_EQ(ErrorOf([&] {
                          EXPECT_EQ(client->FetchBody(server.Address("/")), std::to_string(i));
                      }),
                      "no error");
        }
        EXPECT_EQ(server.Accepted(), kGets);
    }
}

TEST(THttpClientConnection, DropsAConnectionWithBytesNoRequestAskedFor) {
    ScriptedServer server(
        {{ReadRequest(), Send(Ok("one") + "stray")}, {ReadRequest(), Send(Ok("two"))}});
    auto client = MakeClient();
    EXPECT_EQ(client->FetchBody(server.Address("/")), "one");
    EXPECT_EQ(client->FetchBody(server.Address("/")), "two");
    EXPECT_EQ(server.Accepted(), 2);
}

TEST(THttpClientConnection, AKeptConnectionThatDiesUnderARequestIsReplacedOnce) {
    // The kept connection dies under the second get, and so does the new one it is sent on.
    ScriptedServer server({{ReadRequest(), Send(Ok("one")), ReadRequest(), Close()},
                           {ReadRequest(), Close()},
                           {ReadRequest(), Send(Ok("three"))}});
    auto client = MakeClient();
    EXPECT_EQ(client->FetchBody(server.Address("/")), "one");
    EXPECT_EQ(ErrorOf([&] { client->FetchBody(server.Address("/")); }),
              "Connection Closed Gracefully.");
    EXPECT_FALSE(client->Connected());
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_EQ(client->FetchBody(server.Address("/")), "three");
}

TEST(THttpClientConnection, EveryWaitIsBounded) {
    struct Row {
        const char* label;
        std::vector<TServerStep> reply;
    } rows[] = {
        {"silent after the request", {}},
        {"silent inside the header", {Send("HTTP/1.1 200 OK\r\n")}},
        {"silent inside a counted body", {Send("HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nab")}},
        {"silent inside a chunked body",
         {Send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nab\r\n")}},
        {"silent, never closing a body read to its end", {Send("HTTP/1.0 200 OK\r\n\r\nab")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScriptedServer server({Answering(row.reply)});
        auto client = MakeClient();
        client->ReadTimeoutMs = kShortWaitMs;
        EXPECT_EQ(ErrorOf([&] { client->FetchBody(server.Address("/")); }),
                  "Socket Error # 10060\r\nConnection timed out.");
        EXPECT_FALSE(client->Connected());
    }
}

TEST(THttpClientConnection, TheWholeGetEndsAtItsDeadline) {
    constexpr int kDeadlineMs = 300;
    FullBacklogListener backlog;
    struct Row {
        const char* label;
        std::vector<TServerStep> reply;  // empty: connect to the full backlog
    } rows[] = {
        {"a body dripping a byte at a time, each in time",
         {Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n" + std::string(1000, 'a'), 1, 20)}},
        {"silent after the request", {ReadRequest()}},
        {"a connect that never completes", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScriptedServer server({Answering(row.reply)});
        const std::string address = row.reply.empty()
                                        ? "http://127.0.0.1:" + std::to_string(backlog.Port()) + "/"
                                        : server.Address("/");
        auto client = MakeClient();
        client->ConnectTimeoutMs = kTestReadTimeoutMs;
        client->TotalTimeoutMs = kDeadlineMs;
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(ErrorOf([&] { client->FetchBody(address); }),
                  "Socket Error # 10060\r\nConnection timed out.");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
        EXPECT_FALSE(client->Connected());
    }
}

// Records what the client reports and cancels once the body has reached cancelAt bytes.
class RecordingMonitor final : public TFetchMonitor {
public:
    explicit RecordingMonitor(std::int64_t cancelAt) : cancelAt(cancelAt) {}
    bool Progress(std::int64_t received, std::int64_t length) override {
        reports.emplace_back(received, length);
        return received >= cancelAt;
    }
    std::vector<std::pair<std::int64_t, std::int64_t>> reports;

private:
    std::int64_t cancelAt;
};

TEST(THttpClientConnection, AMonitorFollowsTheBodyAndMayCancelWhileTheGetWaits) {
    constexpr int kPauseMs = 200;
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n";
    // Half the body comes after a pause, the rest never: only a wait can see the cancel.
    ScriptedServer server({{ReadRequest(), Send(head + "abcde", head.size(), kPauseMs)},
                           {ReadRequest(), Send(Ok("next"))}});
    auto client = MakeClient();
    RecordingMonitor monitor(5);
    std::string message;
    try {
        client->FetchBody(server.Address("/"), &monitor);
    } catch (const EFetchCancelled& error) {
        message = error.what();
    }
    EXPECT_EQ(message, "\xC7\xE0\xE3\xF0\xF3\xE7\xEA\xE0 \xEF\xF0\xE5\xF0\xE2\xE0\xED\xE0.");
    EXPECT_FALSE(client->Connected());
    using Report = std::pair<std::int64_t, std::int64_t>;
    EXPECT_NE(std::find(monitor.reports.begin(), monitor.reports.end(), Report(0, 10)),
              monitor.reports.end())
        << "reports while the body pauses";
    EXPECT_EQ(monitor.reports.back(), Report(5, 10));
    EXPECT_EQ(client->FetchBody(server.Address("/")), "next");
}

TEST(THttpClientConnection, ConnectingIsBounded) {
    FullBacklogListener listener;
    auto client = MakeClient();
    client->ConnectTimeoutMs = kShortWaitMs;
    EXPECT_EQ(ErrorOf([&] {
                  client->FetchBody("http://127.0.0.1:" + std::to_string(listener.Port()) + "/");
              }),
              "Socket Error # 10060\r\nConnection timed out.");
    EXPECT_FALSE(client->Connected());
}

TEST(THttpClientConnection, HostileSizesEndTheGetWithAClearError) {
    const std::string many(THttpClient::kMaxHeaderLines + 1, 'x');
    std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
    for (std::size_t i = 0; i <= THttpClient::kMaxHeaderLines; ++i) {
        manyHeaders += "X-H: 1\r\n";
    }
    struct Row {
        const char* label;
        std::string reply;
        const char* message;
    } rows[] = {
        {"status line too long", std::string(THttpClient::kMaxLineLength + 1, 'a'),
         "Response line too long."},
        {"header line too long",
         "HTTP/1.1 200 OK\r\nX: " + std::string(THttpClient::kMaxLineLength, 'a') + "\r\n",
         "Response line too long."},
        {"too many header lines", manyHeaders + "\r\n", "Too many response header lines."},
        {"counted body over the limit", "HTTP/1.1 200 OK\r\nContent-Length: 101\r\n\r\n",
         "Response body too large."},
        {"counted body of an absurd size",
         "HTTP/1.1 200 OK\r\nContent-Length: 9223372036854775807\r\n\r\n",
         "Response body too large."},
        {"chunk size that overflows",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFFFFFFFF\r\n",
         "Chunk size too large."},
        {"chunks adding up over the limit",
         "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n32\r\n" + std::string(50, 'a') +
             "\r\n33\r\n",
         "Response body too large."},
        {"body read to the end over the limit", "HTTP/1.0 200 OK\r\n\r\n" + std::string(101, 'a'),
         "Response body too large."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        ScriptedServer server({{ReadRequest(), Send(row.reply)}});
        auto client = MakeClient();
        client->MaxBodySize = 100;
        EXPECT_EQ(ErrorOf([&] { client->FetchBody(server.Address("/")); }), row.message);
        EXPECT_FALSE(client->Connected());
    }
    ScriptedServer exact(
        {{ReadRequest(), Send("HTTP/1.0 200 OK\r\n\r\n" + std::string(100, 'a')), Close()}});
    auto client = MakeClient();
    client->MaxBodySize = 100;
    EXPECT_EQ(client->FetchBody(exact.Address("/")), std::string(100, 'a'));
}

TEST(THttpClientConnection, ConnectFailuresNameTheSocketError) {
    auto client = MakeClient();
    EXPECT_EQ(ErrorOf([&] {
                  client->FetchBody("http://127.0.0.1:" + std::to_string(RefusedPort()) + "/");
              }),
              "Socket Error # 10061\r\nConnection refused.");
    try {
        client->FetchBody("http://no-such-host.folianta.invalid/short.shtml");
        ADD_FAILURE() << "no error";
    } catch (const ESocketError& error) {
        EXPECT_TRUE(error.LastError() == kWsaHostNotFound || error.LastError() == kWsaTryAgain)
            << error.LastError();
        EXPECT_EQ(error.what(), "Socket Error # " + std::to_string(error.LastError()) + "\r\n");
    }
    for (const char* port : {"0", "-1", "70000", "99999999999", "123456789012345678901234567890"}) {
        for (const bool proxy : {false, true}) {
            SCOPED_TRACE(std::string(port) + (proxy ? " through the proxy" : " direct"));
            if (proxy) {
                UseProxy(*client, RefusedPort());
            }
            EXPECT_EQ(
                ErrorOf([&] { client->FetchBody("http://127.0.0.1:" + std::string(port) + "/"); }),
                "Socket Error # 10049\r\nCannot assign requested address.");
            client->Request.ProxyServer.clear();
        }
    }
    EXPECT_FALSE(client->Connected());
}

TEST(THttpClientConnection, AKeptConnectionServesOnlyItsOwnScheme) {
    // The second connection answers the client's TLS greeting as a plain server would.
    ScriptedServer server(
        {{ReadRequest(), Send(Ok("plain"))}, {Send("HTTP/1.1 400 Bad Request\r\n\r\n")}});
    const std::string hostAndPort = "127.0.0.1:" + std::to_string(server.Port());
    auto client = MakeClient();
    EXPECT_EQ(client->FetchBody("http://" + hostAndPort + "/"), "plain");
    EXPECT_EQ(ErrorOf([&] {
                  client->FetchBody("https://" + hostAndPort + "/");
              }).rfind(ToCp1251("Защищённое соединение не установлено: ошибка TLS ("), 0),
              0u);
    EXPECT_FALSE(client->Connected());
    EXPECT_EQ(server.Accepted(), 2);
    EXPECT_EQ(server.Requests().size(), 1u);
    ErrorOf([&] { client->FetchBody("https://127.0.0.1/"); });
    EXPECT_EQ(client->Port, THttpClient::kDefaultSecurePort);
}

// A resolver that does not answer until the test lets it, as a dead name server does for the
// whole of the resolver's timeout.
class BlockingResolver final : public TNameResolver {
public:
    std::uint32_t Resolve(const std::string&) override {
        std::unique_lock lock(mutex);
        released.wait_for(lock, std::chrono::seconds(5), [this] { return free; });
        throw ESocketError(kWsaTryAgain);
    }
    void Release() {
        std::lock_guard lock(mutex);
        free = true;
        released.notify_all();
    }

private:
    std::mutex mutex;
    std::condition_variable released;
    bool free = false;
};

// Cancels from due on, as the progress dialog does once its button is pressed.
class CancelFrom final : public TFetchMonitor {
public:
    explicit CancelFrom(std::chrono::steady_clock::time_point due) : due(due) {}
    bool Progress(std::int64_t, std::int64_t) override {
        return std::chrono::steady_clock::now() >= due;
    }

private:
    std::chrono::steady_clock::time_point due;
};

TEST(THttpClientConnection, CancelTheDeadlineAndTheConnectLimitEndAGetWhileANameOrAHandshakeWaits) {
    constexpr auto kDue = std::chrono::milliseconds(300);
    // The client asks its monitor every 25 ms; the rest is room for a sanitizer build on a busy
    // machine. What this tells apart lasts seconds: the look-up's 5 s, the connect limit's 30 s.
    constexpr auto kAtOnce = std::chrono::milliseconds(250);
    auto resolver = std::make_shared<BlockingResolver>();
    const std::unique_ptr<TSocketLayer> layer = MakePosixSocketLayer(resolver);
    // Takes connections and never says a word, TLS greetings included.
    ScriptedServer silent({{}, {}});
    const std::string handshake = "https://127.0.0.1:" + std::to_string(silent.Port()) + "/";
    enum class Ends { cancel, deadline, connectLimit };
    struct Row {
        const char* label;
        std::string address;
        Ends ends;
    } rows[] = {
        {"name look-up, cancel pressed", "http://silent.example/", Ends::cancel},
        {"name look-up, the whole get's deadline", "http://silent.example/", Ends::deadline},
        {"TLS handshake, cancel pressed", handshake, Ends::cancel},
        {"TLS handshake, the whole get's deadline", handshake, Ends::deadline},
        {"TLS handshake, the connect limit", handshake, Ends::connectLimit},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        THttpClient client(*layer);
        const auto start = std::chrono::steady_clock::now();
        CancelFrom monitor(start + kDue);
        const bool cancel = row.ends == Ends::cancel;
        if (row.ends == Ends::deadline) {
            client.TotalTimeoutMs = int(kDue.count());
        } else if (row.ends == Ends::connectLimit) {
            client.ConnectTimeoutMs = int(kDue.count());
        }
        const std::string error =
            ErrorOf([&] { client.FetchBody(row.address, cancel ? &monitor : nullptr); });
        EXPECT_LT(std::chrono::steady_clock::now() - start, kDue + kAtOnce);
        EXPECT_EQ(error, cancel ? EFetchCancelled().what()
                                : "Socket Error # 10060\r\nConnection timed out.");
        EXPECT_FALSE(client.Connected());
    }
    resolver->Release();
}

// A connection made through the layer, waited on until it is.
std::unique_ptr<TSocketConnection> ConnectedTo(const std::string& host, int port) {
    auto connection = PosixSocketLayer().Connect(host, port);
    EXPECT_TRUE(connection->WaitConnected(kTestReadTimeoutMs));
    return connection;
}

TEST(PosixSocketLayer, APeerThatClosedIsAnErrorNeverASignal) {
    // The reset waits until the connection is made, or it could already fail the connect.
    ScriptedServer server({{AwaitGo(), Reset()}});
    auto connection = ConnectedTo("LocalHost", server.Port());
    server.Go();
    ASSERT_TRUE(server.WaitForScripts(1));
    char byte;
    // The reset is seen by the first receive; every send after it fails.
    EXPECT_THROW(connection->Receive(&byte, 1, kTestReadTimeoutMs), ESocketError);
    EXPECT_THROW(connection->Send("GET / HTTP/1.1\r\n\r\n", kTestReadTimeoutMs), ESocketError);
}

TEST(PosixSocketLayer, TakesLocalhostInAnyCaseAndStrictDottedAddresses) {
    ScriptedServer server({{}, {}});
    EXPECT_NE(ConnectedTo("LocalHost", server.Port()), nullptr);
    EXPECT_NE(ConnectedTo("127.0.0.1", server.Port()), nullptr);
    EXPECT_EQ(ErrorOf([&] {
                  PosixSocketLayer()
                      .Connect("127.0.0.256", server.Port())
                      ->WaitConnected(kTestReadTimeoutMs);
              }),
              "Socket Error # 11001\r\n");
}

TEST(PosixSocketLayer, AShortWaitLastsAtLeastWhatItAsks) {
    ScriptedServer server({TConnectionScript{}});
    auto connection = ConnectedTo("127.0.0.1", server.Port());
    char byte;
    for (int attempt = 0; attempt < 20; ++attempt) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(connection->Receive(&byte, 1, 1), TSocketConnection::kNothingYet);
        EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1));
    }
}

}  // namespace
