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

constexpr long kDay = 24 * 60 * 60;

struct TValidity {
    long fromSeconds = -kDay;  // from now
    long toSeconds = kDay;
};

// A key and a certificate for it.
struct TIdentity {
    std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key{EVP_EC_gen("P-256"), &EVP_PKEY_free};
    std::unique_ptr<X509, decltype(&X509_free)> certificate{X509_new(), &X509_free};
};

// An identity with the common name, valid as given, signed by issuer (by itself when null);
// altNames ("DNS:localhost,IP:127.0.0.1") make it a server's, none an authority's.
std::unique_ptr<TIdentity> Identity(const char* commonName, const char* altNames,
                                    TValidity validity, const TIdentity* issuer) {
    static long serial = 0;
    auto made = std::make_unique<TIdentity>();
    X509* x = made->certificate.get();
    X509* signer = issuer ? issuer->certificate.get() : x;
    X509_set_version(x, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(x), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(x), validity.fromSeconds);
    X509_gmtime_adj(X509_getm_notAfter(x), validity.toSeconds);
    X509_set_pubkey(x, made->key.get());
    X509_NAME_add_entry_by_txt(X509_get_subject_name(x), "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>(commonName), -1, -1, 0);
    X509_set_issuer_name(x, X509_get_subject_name(signer));
    X509V3_CTX context;
    X509V3_set_ctx_nodb(&context);
    X509V3_set_ctx(&context, signer, x, nullptr, nullptr, 0);
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
    EXPECT_GT(X509_sign(x, (issuer ? issuer : made.get())->key.get(), EVP_sha256()), 0);
    return made;
}

// A TLS server on loopback for one connection: it keeps the name the client asked for (SNI)
// and, once the handshake went through, answers one get with "ok".
class TTlsPeer {
public:
    explicit TTlsPeer(const TIdentity& identity) : context(SSL_CTX_new(TLS_server_method())) {
        SSL_CTX_use_certificate(context, identity.certificate.get());
        SSL_CTX_use_PrivateKey(context, identity.key.get());
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
    const auto authority = Identity("Folianta test authority", nullptr, {}, nullptr);
    const auto stranger = Identity("Unknown authority", nullptr, {}, nullptr);
    const TTempFolder folder;
    const std::string trusted = (folder.Path() / "authority.pem").string();
    {
        const std::unique_ptr<FILE, decltype(&fclose)> file(fopen(trusted.c_str(), "w"), &fclose);
        ASSERT_TRUE(file && PEM_write_X509(file.get(), authority->certificate.get()));
    }
    ASSERT_EQ(setenv("SSL_CERT_FILE", trusted.c_str(), 1), 0);

    const std::string refused = "Защищённое соединение не установлено: ";
    const std::string notFor = refused + "сертификат сервера выдан не для ";
    const std::string unknownIssuer =
        refused + "сертификат сервера выдан неизвестным удостоверяющим центром.";
    const char* both = "DNS:localhost,IP:127.0.0.1";
    const TValidity current, past{-2 * kDay, -kDay}, future{kDay, 2 * kDay};
    const TIdentity* ca = authority.get();
    const struct Row {
        const char* label;
        const char* altNames;
        TValidity validity;
        const TIdentity* issuer;  // null: signed by itself
        const char* host;
        std::string outcome;  // the body, or the error's message in UTF-8
    } rows[] = {
        {"good, by name", both, current, ca, "localhost", "ok"},
        {"good, by address", both, current, ca, "127.0.0.1", "ok"},
        {"another name", "DNS:other.example", current, ca, "localhost", notFor + "localhost."},
        {"another address", "DNS:localhost,IP:127.0.0.2", current, ca, "127.0.0.1",
         notFor + "127.0.0.1."},
        {"an address for a name", "IP:127.0.0.1", current, ca, "localhost", notFor + "localhost."},
        {"expired", both, past, ca, "localhost",
         refused + "срок действия сертификата сервера истёк."},
        {"not yet valid", both, future, ca, "localhost",
         refused + "срок действия сертификата сервера ещё не начался."},
        {"untrusted authority", both, current, stranger.get(), "localhost", unknownIssuer},
        {"self-signed", both, current, nullptr, "localhost", unknownIssuer},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.label);
        TTlsPeer peer(*Identity("Folianta test server", row.altNames, row.validity, row.issuer));
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
