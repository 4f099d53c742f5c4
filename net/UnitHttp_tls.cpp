#include "net/UnitHttp_tls.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <climits>
#include <cstdint>

#include "net/UnitHttp_errors.h"
#include "util/Unitutils_cp1251.h"

namespace {

// The reasons a server's certificate is refused for, and the words before OpenSSL's own.
constexpr TCp1251Text kExpired(u8"срок действия сертификата сервера истёк.");
constexpr TCp1251Text kNotYetValid(u8"срок действия сертификата сервера ещё не начался.");
constexpr TCp1251Text kIssuedForAnother(u8"сертификат сервера выдан не для ");  // and the name
constexpr TCp1251Text kUnknownIssuer(
    u8"сертификат сервера выдан неизвестным удостоверяющим центром.");
constexpr TCp1251Text kNotVerified(u8"сертификат сервера не прошёл проверку");
constexpr TCp1251Text kTlsFailure(u8"ошибка TLS");

std::string CertificateReason(long result, const std::string& serverName) {
    switch (result) {
        case X509_V_ERR_CERT_HAS_EXPIRED:
            return kExpired;
        case X509_V_ERR_CERT_NOT_YET_VALID:
            return kNotYetValid;
        case X509_V_ERR_HOSTNAME_MISMATCH:
        case X509_V_ERR_IP_ADDRESS_MISMATCH:
            return std::string(kIssuedForAnother) + serverName + ".";
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
        case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
        case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
        case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
            return kUnknownIssuer;
        default:
            return std::string(kNotVerified) + " (" + X509_verify_cert_error_string(result) + ").";
    }
}

// The newest error OpenSSL reported on this thread, in its own words.
std::string LibraryReason() {
    const char* reason = ERR_reason_error_string(ERR_peek_last_error());
    return std::string(kTlsFailure) + " (" + (reason ? reason : "unknown") + ").";
}

// The session's transport: the socket's own bytes, sent with MSG_NOSIGNAL, since OpenSSL's socket
// BIO writes with write() and a peer gone away would raise SIGPIPE and end the program.
int SocketOf(BIO* bio) {
    return int(reinterpret_cast<std::intptr_t>(BIO_get_data(bio)));
}

bool WouldBlock() {
    return errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR;
}

int TransportWrite(BIO* bio, const char* bytes, int length) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = send(SocketOf(bio), bytes, std::size_t(length), MSG_NOSIGNAL);
    if (n < 0 && WouldBlock()) {
        BIO_set_retry_write(bio);
    }
    return int(n);
}

int TransportRead(BIO* bio, char* buffer, int capacity) {
    BIO_clear_retry_flags(bio);
    const ssize_t n = recv(SocketOf(bio), buffer, std::size_t(capacity), 0);
    if (n < 0 && WouldBlock()) {
        BIO_set_retry_read(bio);
    }
    return int(n);
}

long TransportControl(BIO*, int command, long, void*) {
    return command == BIO_CTRL_FLUSH ? 1 : 0;  // every write goes straight to the socket
}

const BIO_METHOD* Transport() {
    static BIO_METHOD* const method = [] {
        BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "folianta socket");
        if (!m || !BIO_meth_set_write(m, TransportWrite) || !BIO_meth_set_read(m, TransportRead) ||
            !BIO_meth_set_ctrl(m, TransportControl)) {
            throw ETlsError(LibraryReason());
        }
        return m;
    }();
    return method;
}

// One context for the whole run: the system's trust store is read once.
SSL_CTX* ClientContext() {
    static SSL_CTX* const context = [] {
        SSL_CTX* c = SSL_CTX_new(TLS_client_method());
        if (!c || !SSL_CTX_set_min_proto_version(c, TLS1_2_VERSION) ||
            !SSL_CTX_set_default_verify_paths(c)) {
            throw ETlsError(LibraryReason());
        }
        SSL_CTX_set_verify(c, SSL_VERIFY_PEER, nullptr);
        // Send may take part of the bytes, and is called again with the rest.
        SSL_CTX_set_mode(c, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
        return c;
    }();
    return context;
}

int ClampToInt(std::size_t size) {
    return size > INT_MAX ? INT_MAX : int(size);
}

}  // namespace

TTlsSession::TTlsSession(int fd, const std::string& serverName)
    : ssl(nullptr), serverName(serverName) {
    ERR_clear_error();
    // A zero byte would cut the name that the certificate is checked against.
    if (serverName.empty() || serverName.find('\0') != std::string::npos) {
        throw ETlsError(std::string(kIssuedForAnother) + serverName + ".");
    }
    SSL_CTX* context = ClientContext();
    BIO* transport = BIO_new(Transport());
    ssl = SSL_new(context);
    if (!transport || !ssl) {
        BIO_free(transport);
        SSL_free(ssl);
        throw ETlsError(LibraryReason());
    }
    BIO_set_data(transport, reinterpret_cast<void*>(std::intptr_t(fd)));
    BIO_set_init(transport, 1);
    SSL_set_bio(ssl, transport, transport);
    // An address is checked against the certificate's addresses and is never sent as a name.
    in_addr address{};
    const bool named =
        inet_pton(AF_INET, serverName.c_str(), &address) == 1
            ? X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), serverName.c_str()) == 1
            : SSL_set_tlsext_host_name(ssl, serverName.c_str()) == 1 &&
                  SSL_set1_host(ssl, serverName.c_str()) == 1;
    if (!named) {
        SSL_free(ssl);
        throw ETlsError(LibraryReason());
    }
}

TTlsSession::~TTlsSession() {
    if (!failed && SSL_is_init_finished(ssl)) {
        SSL_shutdown(ssl);  // one try: the close that follows does not wait for the server
    }
    SSL_free(ssl);
    ERR_clear_error();
}

void TTlsSession::Handshake(short& events) {
    Begin(events);
    const int result = SSL_connect(ssl);
    if (result != 1) {
        SortOut(result, events);
        if (events == 0) {
            throw EConnClosedGracefully();
        }
    }
}

std::size_t TTlsSession::Write(std::string_view bytes, short& events) {
    Begin(events);
    const int result = SSL_write(ssl, bytes.data(), ClampToInt(bytes.size()));
    if (result > 0) {
        return std::size_t(result);
    }
    SortOut(result, events);
    if (events == 0) {
        throw EConnClosedGracefully();
    }
    return 0;
}

std::size_t TTlsSession::Read(char* buffer, std::size_t capacity, short& events) {
    Begin(events);
    const int result = SSL_read(ssl, buffer, ClampToInt(capacity));
    if (result > 0) {
        return std::size_t(result);
    }
    SortOut(result, events);
    return 0;
}

void TTlsSession::Begin(short& events) {
    events = 0;
    // What a step finds in either is its own.
    ERR_clear_error();
    errno = 0;
}

void TTlsSession::SortOut(int result, short& events) {
    const int error = SSL_get_error(ssl, result);
    switch (error) {
        case SSL_ERROR_WANT_READ:
            events = POLLIN;
            return;
        case SSL_ERROR_WANT_WRITE:
            events = POLLOUT;
            return;
        case SSL_ERROR_ZERO_RETURN:
            return;  // the server ended the session
        case SSL_ERROR_SYSCALL:
            failed = true;
            if (errno != 0) {
                throw ESocketError(WsaCodeFromErrno(errno));
            }
            // The connection was closed without the server ending the session first. Once the
            // session is up, that is refused: an attacker may cut the connection anywhere, and
            // a body that runs until the close could not be told from a whole one.
            if (SSL_is_init_finished(ssl)) {
                throw ETlsCutOff();
            }
            throw EConnClosedGracefully();
        default:
            failed = true;
            if (const long verified = SSL_get_verify_result(ssl); verified != X509_V_OK) {
                throw ETlsError(CertificateReason(verified, serverName));
            }
            throw ETlsError(LibraryReason());
    }
}
