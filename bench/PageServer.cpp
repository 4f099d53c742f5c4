#include "bench/PageServer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace {

// How often the server looks at its stop flag while it waits.
constexpr int kPollSliceMs = 50;

bool SendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) {
            return false;
        }
        sent += std::size_t(n);
    }
    return true;
}

}  // namespace

TTempPageFile::TTempPageFile(const std::string& bytes)
    : path((std::filesystem::temp_directory_path() /
            ("folianta_page_" + std::to_string(getpid()) + ".shtml"))
               .string()) {
    std::ofstream(path, std::ios::binary) << bytes;
}

TTempPageFile::~TTempPageFile() {
    std::filesystem::remove(path);
}

TPageServer::TPageServer(std::string file, Mode mode) : file(std::move(file)), mode(mode) {
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
}

std::string TPageServer::Address(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port) + path;
}

void TPageServer::Serve() {
    while (!stopping) {
        pollfd p{listener, POLLIN, 0};
        if (poll(&p, 1, kPollSliceMs) <= 0) {
            continue;
        }
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
            Answer(fd);
            close(fd);
        }
    }
}

void TPageServer::Answer(int fd) {
    std::string request;
    char buffer[4096];
    while (request.find("\r\n\r\n") == std::string::npos) {
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return;
        }
        request.append(buffer, std::size_t(n));
    }
    const int page = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (page < 0) {
        return;
    }
    struct stat info {};
    if (fstat(page, &info) != 0) {
        close(page);
        return;
    }
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: " +
                             std::to_string(info.st_size) + "\r\nConnection: close\r\n\r\n";
    if (SendAll(fd, head) && mode == Mode::kWholePage) {
        off_t offset = 0;
        while (offset < info.st_size &&
               sendfile(fd, page, &offset, std::size_t(info.st_size - offset)) > 0) {
        }
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
