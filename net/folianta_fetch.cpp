// Fetches one address the way the window's download does and writes the body to standard
// output, byte for byte:
//   folianta_fetch ADDRESS [PROXY_SERVER PROXY_PORT [PROXY_PASSWORD]]
// With a proxy, the fixed proxy user name is sent with the fixed password (or the one given).
// An error prints its message to standard error and exits with status 1.
#include <cstdio>
#include <exception>

#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: %s ADDRESS [PROXY_SERVER PROXY_PORT [PROXY_PASSWORD]]\n",
                     argv[0]);
        return 2;
    }
    try {
        THttpClient client;
        client.Request.Accept = kRequestAccept;
        client.Request.UserAgent = kRequestUserAgent;
        if (argc >= 4) {
            client.Request.ProxyPort = StrToInt(argv[3]);
            client.Request.ProxyServer = argv[2];
            client.Request.ProxyPassword = argc == 5 ? argv[4] : kProxyPassword;
            client.Request.ProxyUsername = kProxyUsername;
        }
        const std::string body = client.FetchBody(argv[1]);
        if (std::fwrite(body.data(), 1, body.size(), stdout) != body.size() ||
            std::fflush(stdout) != 0) {
            std::perror("folianta_fetch: standard output");
            return 1;
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
