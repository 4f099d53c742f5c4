// The https download against a TLS server on loopback whose certificates a test authority made
// here. The client trusts that authority alone, through SSL_CERT_FILE, which its context reads
// once per process: these tests run in a program of their own.
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>

#include "tests/net/NetTestSupport.h"
#include "tests/support/Cp1251Bytes.h"
#include "tests/support/ScriptedServer.h"
#include "tests/support/TempFolder.h"

namespace {

using TKey = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using TCertificate = std::unique_ptr<X509, decltype(&X509_free)>;

constexpr long kDay = 24 * 60 * 60;

TKey NewKey() {
    return {EVP_EC_gen("P-256"), &EVP_PKEY_free};
}

struct TValidity {
    long fromSeconds = -kDay;  // from now
    long toSeconds = kDay;
};

// A certificate for key with the common name, valid as given, signed by issuer (itself when
// null); altNames ("DNS:localhost,IP:127.0.0.1") makes it a server's, none an authority's.
TCertificate Issue(EVP_PKEY* key, const char* commonName, const char* altNames, TValidity validity,
                   X509* issuer, EVP_PKEY* issuerKey) {
    static long serial = 0;
    TCertificate certificate(X509_new(), &X509_free);
    X509* x = certificate.get();
    X509_set_version(x, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(x), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(x), validity.fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(x), validity.toSeconds);
    X509_set_pubkey(x, key);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(x, issuer ? X509_get_subject_name(issuer) : name);
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, issuer ? issuer : x, x, nullptr, nullptr, 0);
    const auto add = [&](int nid, const char* value) {
        X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
        EXPECT_NE(extension, nullptr) << value;
        X509_add_ext(x, extension, -1);
        X509_EXTENSION_free(extension);
    };
    if (altNames) {
        add(NID_subject_alt_name, altNames);
    } else {
        add(NID_basic_constraints, "critical,CA:TRUE");
        add(NID_key_usage, "critical,keyCertSign");
    }
    EXPECT_GT(X509_sign(x, issuerKey ? issuerKey : key, EVP_sha256()), 0);
    return certificate;
}

// A TLS server on loopback for one connection: it keeps the name the client asked for (SNI)
// and, once the handshake went through, answers one get with "ok".
class TTlsPeer {
public:
    TTlsPeer(X509* certificate, EVP_PKEY* key) : context(SSL_CTX_new(TLS_server_method())) {
        SSL_CTX_use_certificate(context, certificate);
        SSL_CTX_use_PrivateKey(context, key);
        SSL_CTX_set_tlsext_servername_arg(context, &serverName);
        SSL_CTX_set_tlsext_servername_callback(context, &KeepServerName);
        listener = ListenOnLoopback(1, port);
        thread = std::thread([this] { Serve(); });
    }
    ~TTlsPeer() {
        if (thread.joinable()) {
            thread.join();
        }
        close(listener);
        SSL_CTX_free(context);
    }
    TTlsPeer(const TTlsPeer&) = delete;
    TTlsPeer& operator=(const TTlsPeer&) = delete;

    int Port() const { return port; }
    // The name the client sent, once the connection is over; empty when it sent none.
    const std::string& ServerName() {
        thread.join();
        return serverName;
    }

private:
    static int KeepServerName(SSL* ssl, int*, void* name) {
        const char* sent = SSL_get_servername(ssl, TLSEXT_NAMETYPE_host_name);
        *static_cast<std::string*>(name) = sent ? sent : "";
        return SSL_TLSEXT_ERR_OK;
    }

    void Serve() {
        pollfd waiting{listener, POLLIN, 0};
        if (poll(&waiting, 1, kTestReadTimeoutMs) != 1) {
            return;
        }
        const int fd = accept(listener, nullptr, nullptr);
        const timeval wait{kTestReadTimeoutMs / 1000, 0};
        setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        SSL* ssl = SSL_new(context);
        SSL_set_fd(ssl, fd);
        if (SSL_accept(ssl) == 1) {
            std::string request;
            char buffer[512];
            for (int n; request.find("\r\n\r\n") == std::string::npos &&
                        (n = SSL_read(ssl, buffer, sizeof buffer)) > 0;) {
                request.append(buffer, std::size_t(n));
            }
            const std::string answer = Ok("ok");
            SSL_write(ssl, answer.data(), int(answer.size()));
            SSL_shutdown(ssl);
        }
        SSL_free(ssl);
        close(fd);
    }

    SSL_CTX* context;
    int listener = -1;
    int port = 0;
    std::string serverName;
    std::thread thread;
};

TEST(THttpClientTls, AcceptsOnlyACurrentCertificateOfATrustedAuthorityForTheNameAskedFor) {
    // A peer gone mid-handshake must fail the server's write, not end the test program.
    std::signal(SIGPIPE, SIG_IGN);
    const TKey authorityKey = NewKey();
    const TCertificate authority =
        Issue(authorityKey.get(), "Folianta test authority", nullptr, {}, nullptr, nullptr);
    const TTempFolder folder;
    const std::string trusted = (folder.Path() / "authority.pem").string();
    {
        const std::unique_ptr<FILE, decltype(&fclose)> file(fopen(trusted.c_str(), "w"), &fclose);
        ASSERT_TRUE(file && PEM_write_X509(file.get(), authority.get()));
    }
    ASSERT_EQ(setenv("SSL_CERT_FILE", trusted.c_str(), 1), 0);
    const TKey strangerKey = NewKey();
    const TCertificate stranger =
        Issue(strangerKey.get(), "Unknown authority", nullptr, {}, nullptr, nullptr);

    const std::string refused = "Защищённое соединение не установлено: ";
    const std::string notIssuedFor = refused + "сертификат сервера выдан не для ";
    const std::string unknownIssuer =
        refused + "сертификат сервера выдан неизвестным удостоверяющим центром.";
    const char* both = "DNS:localhost,IP:127.0.0.1";
    const struct Row {
        const char* label;
        const char* altNames;
        TValidity validity;
        X509* issuer;  // null: signed by itself
        EVP_PKEY* issuerKey;
        const char* host;
        std::string outcome;  // the body, or the error's message in UTF-8
    } rows[] = {
        {"good, by name", both, {}, authority.get(), authorityKey.get(), "localhost", "ok"},
        {"good, by address", both, {}, authority.get(), authorityKey.get(), "127.0.0.1", "ok"},
        {"another name",
         "DNS:other.example",
         {},
         authority.get(),
         authorityKey.get(),
         "localhost",
         notIssuedFor + "localhost."},
        {"another address",
         "DNS:localhost,IP:127.0.0.2",
         {},
         authority.get(),
         authorityKey.get(),
         "127.0.0.1",
         notIssuedFor + "127.0.0.1."},
        {"an address where a name is asked for",
         "IP:127.0.0.1",
         {},
         authority.get(),
         authorityKey.get(),
         "localhost",
         notIssuedFor + "localhost."},
        {"expired",
         both,
         {-2 * kDay, -kDay},
         authority.get(),
         authorityKey.get(),
         "localhost",
         refused + "срок действия сертификата сервера истёк."},
        {"not yet valid",
         both,
         {kDay, 2 * kDay},
         authority.get(),
         authorityKey.get(),
         "localhost",
         refused + "срок действия сертификата сервера ещё не начался."},
        {"untrusted authority",
         both,
         {},
         stranger.get(),
         strangerKey.get(),
         "localhost",
         unknownIssuer},
        {"self-signed", both, {}, nullptr, nullptr, "localhost", unknownIssuer},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        const TKey key = NewKey();
        const TCertificate certificate = Issue(key.get(), "Folianta test server", row.altNames,
                                               row.validity, row.issuer, row.issuerKey);
        TTlsPeer peer(certificate.get(), key.get());
        std::string outcome;
        const std::string error = ErrorOf([&] {
            outcome = MakeClient()->FetchBody("https://" + std::string(row.host) + ":" +
                                              std::to_string(peer.Port()) + "/");
        });
        EXPECT_EQ(outcome.empty() ? error : outcome, ToCp1251(row.outcome));
        // An address is never sent as the server's name.
        EXPECT_EQ(peer.ServerName(), std::string(row.host) == "localhost" ? "localhost" : "");
    }
}

}  // namespace
