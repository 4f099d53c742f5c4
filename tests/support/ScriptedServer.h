#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A loopback server for the client tests: listens on 127.0.0.1, port chosen by the system,
// accepts connections one after another and runs one script per connection. It records every
// request exactly as received.

struct TServerStep {
    enum Kind {
        kReadRequest,  // read up to and including the empty line that ends a request
        kSend,         // send bytes, in pieces of piece bytes (0: at once) with pauses between
        kClose,        // close the connection
        kReset,        // close the connection with a reset
        kAwaitGo,      // wait until the test calls Go()
    };
    Kind kind;
    std::string bytes;
    std::size_t piece = 0;
    int pauseMs = 0;
};

inline TServerStep ReadRequest() {
    return {TServerStep::kReadRequest, {}};
}
inline TServerStep Send(std::string bytes, std::size_t piece = 0, int pauseMs = 0) {
    return {TServerStep::kSend, std::move(bytes), piece, pauseMs};
}
inline TServerStep Close() {
    return {TServerStep::kClose, {}};
}
inline TServerStep Reset() {
    return {TServerStep::kReset, {}};
}

inline TServerStep AwaitGo() {
    return {TServerStep::kAwaitGo, {}};
}

// A connection whose script ends without closing stays open until the server is destroyed.
using TConnectionScript = std::vector<TServerStep>;

// The script of a connection that reads one request and answers it with reply.
inline TConnectionScript Answering(const std::vector<TServerStep>& reply) {
    TConnectionScript script{ReadRequest()};
    script.insert(script.end(), reply.begin(), reply.end());
    return script;
}

class ScriptedServer {
public:
    explicit ScriptedServer(std::vector<TConnectionScript> scripts);
    ~ScriptedServer();
    ScriptedServer(const ScriptedServer&) = delete;
    ScriptedServer& operator=(const ScriptedServer&) = delete;

    int Port() const { return port; }
    // "http://127.0.0.1:<port>" followed by path.
    std::string Address(const std::string& path) const;
    // The requests read so far, in order, byte for byte.
    std::vector<std::string> Requests() const;
    int Accepted() const;
    // Waits until the scripts of the first count connections have run; false after a long
    // safety wait.
    bool WaitForScripts(int count) const;
    // Lets every script waiting at AwaitGo go on.
    void Go();

private:
    void Run();
    bool RunScript(int fd, const TConnectionScript& script);
    // Sends step's bytes in its pieces; false once the peer is gone or the server stops.
    bool SendInPieces(int fd, const TServerStep& step);

    std::vector<TConnectionScript> scripts;
    int listener = -1;
    int port = 0;
    mutable std::mutex mutex;
    mutable std::condition_variable changed;
    std::vector<std::string> requests;
    std::vector<int> heldOpen;
    int accepted = 0;
    int finished = 0;
    bool stopping = false;
    bool go = false;
    std::thread thread;
};

// A listening port whose queue of pending connections is full, so that a further connect
// neither completes nor fails.
class FullBacklogListener {
public:
    FullBacklogListener();
    ~FullBacklogListener();
    FullBacklogListener(const FullBacklogListener&) = delete;
    FullBacklogListener& operator=(const FullBacklogListener&) = delete;
    int Port() const { return port; }

private:
    int listener = -1;
    int port = 0;
    std::vector<int> fillers;
};

// A socket listening on 127.0.0.1 at a port the system picks, which goes to port.
int ListenOnLoopback(int backlog, int& port);

// A loopback port on which nothing listens.
int RefusedPort();
