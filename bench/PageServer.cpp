#include "bench/PageServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

extern char** environ;

namespace {

// How often the server looks at its stop flag while it waits.
constexpr int kPollSliceMs = 50;
// The blocks an https server reads the page in.
constexpr std::size_t kTlsBlock = 256 * 1024;

std::string TempPath(const std::string& name) {
    return (std::filesystem::temp_directory_path() /
            ("folianta_" + std::to_string(getpid()) + "_" + name))
        .string();
}

bool SendAll(int fd, SSL* tls, const char* bytes, std::size_t size) {
    for (std::size_t sent = 0; sent < size;) {
        const ssize_t n = tls ? SSL_write(tls, bytes + sent, int(size - sent))
                              : send(fd, bytes + sent, size - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += std::size_t(n);
    }
    return true;
}

}  // namespace

bool RunQuietly(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int status = 0;
    const bool ran = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0 &&
                     waitpid(pid, &status, 0) == pid;
    posix_spawn_file_actions_destroy(&actions);
    return ran && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TTempPageFile::TTempPageFile(const std::string& bytes) : path(TempPath("page.shtml")) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TTempPageFile::~TTempPageFile() {
    std::filesystem::remove(path);
}

TTestCertificate::TTestCertificate()
    : certificate(TempPath("certificate.pem")), key(TempPath("key.pem")) {
    if (!RunQuietly({"openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                     "ec_paramgen_curve:P-256", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1",
                     "-addext", "subjectAltName=IP:127.0.0.1", "-keyout", key, "-out",
                     certificate})) {
        throw std::runtime_error("openssl cannot make a certificate");
    }
}

TTestCertificate::~TTestCertificate() {
    std::filesystem::remove(certificate);
    std::filesystem::remove(key);
}

TPageServer::TPageServer(std::string file, Mode mode, const TTestCertificate* certificate)
    : file(std::move(file)), mode(mode) {
    if (certificate) {
        tlsContext = SSL_CTX_new(TLS_server_method());
        if (!tlsContext ||
            SSL_CTX_use_certificate_chain_file(tlsContext,
                                               certificate->CertificateFile().c_str()) != 1 ||
            SSL_CTX_use_PrivateKey_file(tlsContext, certificate->KeyFile().c_str(),
                                        SSL_FILETYPE_PEM) != 1) {
            SSL_CTX_free(tlsContext);
            throw std::runtime_error("cannot load the test certificate");
        }
    }
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

TPageServer::~TPageServer() {
    stopping = true;
    thread.join();
    close(listener);
    SSL_CTX_free(tlsContext);
}

std::string TPageServer::Address(const std::string& path) const {
    return (tlsContext ? "https" : "http") + std::string("://127.0.0.1:") + std::to_string(port) +
           path;
}

void TPageServer::Serve() {
    while (!stopping) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, kPollSliceMs) <= 0) {
            continue;
        }
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (tlsContext) {
            const std::unique_ptr<SSL, decltype(&SSL_free)> tls(SSL_new(tlsContext), SSL_free);
            if (tls && SSL_set_fd(tls.get(), fd) == 1 && SSL_accept(tls.get()) == 1) {
                Answer(fd, tls.get());
                SSL_shutdown(tls.get());
            }
        } else {
            Answer(fd, nullptr);
        }
        close(fd);
    }
}

void TPageServer::Answer(int fd, SSL* tls) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n =
            tls ? SSL_read(tls, buffer, sizeof buffer) : recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        request.append(buffer, std::size_t(n));
    }
    received += request.size();
    const int page = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (page < 0) {
        return;
    }
    struct stat info {};
    if (fstat(page, &info) != 0) {
        close(page);
        return;
    }
    const std::string tag =
        "\"" + std::to_string(info.st_size) + "-" + std::to_string(info.st_mtim.tv_sec) + "\"";
    if (request.find("\r\nIf-None-Match: " + tag + "\r\n") != std::string::npos) {
        const std::string head =
            "HTTP/1.1 304 Not Modified\r\nETag: " + tag + "\r\nConnection: close\r\n\r\n";
        if (SendAll(fd, tls, head.data(), head.size())) {
            sent += head.size();
        }
        close(page);
        return;
    }
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                             std::to_string(info.st_size) + "\r\nETag: " + tag +
                             "\r\nConnection: close\r\n\r\n";
    if (SendAll(fd, tls, head.data(), head.size()) && mode == Mode::kWholePage) {
        sent += head.size();
        SendPage(fd, tls, page, info.st_size);
        sent += std::size_t(info.st_size);
    }
    // A stalling server holds the connection until the client closes it or the server stops.
    while (mode == Mode::kStallAfterHead && !stopping) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, kPollSliceMs) > 0 && recv(fd, buffer, sizeof buffer, 0) <= 0) {
            break;
        }
    }
    close(page);
}

void TPageServer::SendPage(int fd, SSL* tls, int page, off_t size) {
    if (!tls) {
        off_t offset = 0;
        while (offset < size && sendfile(fd, page, &offset, std::size_t(size - offset)) > 0) {
        }
        return;
    }
    std::vector<char> block(kTlsBlock);
    for (ssize_t n; (n = read(page, block.data(), block.size())) > 0;) {
        if (!SendAll(fd, tls, block.data(), std::size_t(n))) {
            return;
        }
    }
}
