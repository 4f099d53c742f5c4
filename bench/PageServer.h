#pragma once

#include <atomic>
#include <string>
#include <thread>

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

// A loopback HTTP server for benchmarks: answers every connection, one after another, with the
// bytes of one file, sent straight from the file (so the server holds no copy of the page in
// memory), then closes it. A stalling server sends only the response head and then holds the
// connection silent until the client gives up.
class TPageServer {
public:
    enum class Mode { kWholePage, kStallAfterHead };

    TPageServer(std::string file, Mode mode = Mode::kWholePage);
    ~TPageServer();
    TPageServer(const TPageServer&) = delete;
    TPageServer& operator=(const TPageServer&) = delete;

    // "http://127.0.0.1:<port>" followed by path.
    std::string Address(const std::string& path) const;

private:
    void Serve();
    void Answer(int fd);

    const std::string file;
    const Mode mode;
    int listener = -1;
    int port = 0;
    std::atomic<bool> stopping{false};
    std::thread thread;
};
