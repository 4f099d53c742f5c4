#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"

// Waits in tests are short enough to end a broken test quickly and long enough never to end a
// working one.
constexpr int kTestReadTimeoutMs = 5000;

// A client set up as the window sets it: the designed request fields, no proxy.
inline std::unique_ptr<THttpClient> MakeClient() {
    auto client = std::make_unique<THttpClient>();
    client->Request.Accept = kRequestAccept;
    client->Request.UserAgent = kRequestUserAgent;
    client->ReadTimeoutMs = kTestReadTimeoutMs;
    return client;
}

inline void UseProxy(THttpClient& client, int port) {
    client.Request.ProxyPort = port;
    client.Request.ProxyServer = "127.0.0.1";
    client.Request.ProxyPassword = kProxyPassword;
    client.Request.ProxyUsername = kProxyUsername;
}

// The message of the EBaseError that call raises; "no error" when it returns.
inline std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const EBaseError& error) {
        return error.what();
    }
    return "no error";
}

inline std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}
