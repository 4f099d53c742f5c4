#pragma once

#include <openssl/types.h>
#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

// Runs a program found on the PATH, its output thrown away; true when it ends with status 0.
bool RunQuietly(std::vector<std::string> arguments);

// A page written to a file of its own in the temp folder, removed again with the object.
class TTempPageFile {
public:
    explicit TTempPageFile(const std::string& bytes);
    ~TTempPageFile();
    TTempPageFile(const TTempPageFile&) = delete;
    TTempPageFile& operator=(const TTempPageFile&) = delete;
    const std::string& Path() const { return path; }

private:
    std::string path;
};

// A certificate for 127.0.0.1 that signs itself, made by the openssl command in the temp folder
// and removed again with the object. Clients trust it by its file.
class TTestCertificate {
public:
    TTestCertificate();
    ~TTestCertificate();
    TTestCertificate(const TTestCertificate&) = delete;
    TTestCertificate& operator=(const TTestCertificate&) = delete;
    const std::string& CertificateFile() const { return certificate; }
    const std::string& KeyFile() const { return key; }

private:
    std::string certificate;
    std::string key;
};

// A loopback HTTP server for benchmarks: answers every connection, one after another, with the
// bytes of one file, sent straight from the file (so the server holds no copy of the page in
// memory), then closes it. A stalling server sends only the response head and then holds the
// connection silent until the client gives up. With a certificate it speaks https, and reads
// the file in blocks to encrypt them. The page's ETag is made of its size and time of change; a
// request that names it in If-None-Match is answered 304 Not Modified without the page.
class TPageServer {
public:
    enum class Mode { kWholePage, kStallAfterHead };

    TPageServer(std::string file, Mode mode = Mode::kWholePage,
                const TTestCertificate* certificate = nullptr);
    ~TPageServer();
    TPageServer(const TPageServer&) = delete;
    TPageServer& operator=(const TPageServer&) = delete;

    // "http://127.0.0.1:<port>" (or "https://...") followed by path.
    std::string Address(const std::string& path) const;

    // The bytes of the requests read and of the responses sent so far (a page sent whole).
    std::atomic<std::size_t> received{0};
    std::atomic<std::size_t> sent{0};

private:
    void Serve();
    void Answer(int fd, SSL* tls);
    // The page's bytes after the head, from the file page of size bytes.
    void SendPage(int fd, SSL* tls, int page, off_t size);

    const std::string file;
    const Mode mode;
    SSL_CTX* tlsContext = nullptr;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
};
