// Fetches one address the way the window's download does and writes the body to standard
// output, byte for byte:
//   folianta_fetch [-n COUNT] ADDRESS [PROXY_SERVER PROXY_PORT [PROXY_PASSWORD]]
// With a proxy, the fixed proxy user name is sent with the fixed password (or the one given).
// -n fetches the address COUNT times in a row with one client, as presses of the button do,
// and writes every body. An error prints its message to standard error and exits with status 1.
#include <cstdio>
#include <cstring>
#include <exception>

#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"

int main(int argc, char** argv) {
    int count = 1;
    char** args = argv + 1;
    int left = argc - 1;
    if (left >= 2 && std::strcmp(args[0], "-n") == 0) {
        count = StrToInt(args[1]);
        args += 2;
        left -= 2;
    }
    if ((left != 1 && left != 3 && left != 4) || count < 1) {
        std::fprintf(stderr,
                     "usage: %s [-n COUNT] ADDRESS [PROXY_SERVER PROXY_PORT [PROXY_PASSWORD]]\n",
                     argv[0]);
        return 2;
    }
    try {
        THttpClient client;
        client.Request.Accept = kRequestAccept;
        client.Request.UserAgent = kRequestUserAgent;
        if (left >= 3) {
            client.Request.ProxyPort = StrToInt(args[2]);
            client.Request.ProxyServer = args[1];
            client.Request.ProxyPassword = left == 4 ? args[3] : kProxyPassword;
            client.Request.ProxyUsername = kProxyUsername;
        }
        for (int i = 0; i < count; ++i) {
            const std::string body = client.FetchBody(args[0]);
            if (std::fwrite(body.data(), 1, body.size(), stdout) != body.size() ||
                std::fflush(stdout) != 0) {
                std::perror("folianta_fetch: standard output");
                return 1;
            }
        }
    } catch (const std::exception& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }
    return 0;
}
