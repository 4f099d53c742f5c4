#include <QCoreApplication>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"
#include "tests/gui/WindowFixture.h"
#include "tests/net/ScriptedServer.h"

namespace {

std::string Ok(const std::string& body) {
    return "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
}

std::string FileBytes(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class DownloadTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        WriteFile("short.shtml", PageOfSizes({"1k", "2k", "3k"}));
        WriteFile("current.shtml", "before");
        Open();
    }
};

TEST_F(DownloadTest, FetchesSavesLoadsAndShowsThePage) {
    // A zero byte outside the rows: the saved file keeps it and all that follows.
    const std::string page = std::string("<p>\0</p>\n", 9) + PageOfSizes({"7k", "8k"});
    ScriptedServer server({{ReadRequest(), Send(Ok(page), 100)}});
    form->ComboBox1->setEditText(QString::fromStdString(server.Address("/short.shtml#top")));
    form->Button2->click();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_EQ(FileBytes("current.shtml"), page);
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"}));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_EQ(server.Requests()[0],
              "GET /short.shtml HTTP/1.1\r\nHost: 127.0.0.1\r\nAccept: text/html, */*\r\n"
              "User-Agent: Mozilla/3.0 (compatible; Folianta)\r\n\r\n");
}

TEST_F(DownloadTest, GoesThroughTheProxyWithItsCredentials) {
    ScriptedServer proxy({{ReadRequest(), Send(Ok(PageOfSizes({"5k"})))}});
    form->ProxyCheck->setChecked(true);
    form->ProxyServer->setText("127.0.0.1");
    form->ProxyPort->setText(QString::number(proxy.Port()));
    form->Button2->click();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_EQ(Titles(), QStringList({"T0"}));
    ASSERT_EQ(proxy.Requests().size(), 1u);
    const std::string credentials =
        EncodeBase64(std::string(kProxyUsername) + ":" + kProxyPassword);
    EXPECT_EQ(proxy.Requests()[0], "GET http://" FOLIANTA_SITE_HOST
                                   "/short.shtml HTTP/1.1\r\nHost: " FOLIANTA_SITE_HOST
                                   "\r\nAccept: text/html, */*\r\n"
                                   "User-Agent: Mozilla/3.0 (compatible; Folianta)\r\n"
                                   "Proxy-Authorization: Basic " +
                                       credentials + "\r\n\r\n");
}

TEST_F(DownloadTest, AFailureLeavesTheFileTheStoreAndTheTable) {
    ScriptedServer server({{ReadRequest(), Send("HTTP/1.1 404 Not Found\r\n"
                                                "Content-Length: 4\r\n\r\ngone")}});
    const struct {
        const char* label;
        bool proxy;
        QString proxyPort;
        QString address;
        QString error;
    } rows[] = {
        {"invalid proxy port, nothing sent", true, "80a", "",
         "'80a' is not a valid integer value."},
        {"status outside 2xx", false, "8080", QString::fromStdString(server.Address("/x")),
         "404 Not Found."},
        {"secure address", false, "8080", "https://127.0.0.1/", "Intercept value is not valid."},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        errors.clear();
        form->ProxyCheck->setChecked(row.proxy);
        form->ProxyPort->setText(row.proxyPort);
        if (!row.address.isEmpty()) {
            form->ComboBox1->setEditText(row.address);
        }
        form->Button2->click();
        EXPECT_EQ(errors, QStringList({QCoreApplication::applicationName() + "|" + row.error}));
        EXPECT_EQ(FileBytes("current.shtml"), "before");
        EXPECT_EQ(Titles(), QStringList({"T0", "T1", "T2"}));
        EXPECT_EQ(store.Records().size(), 3u);
    }
    EXPECT_EQ(server.Requests().size(), 1u) << "only the 404 row reached the server";
}

}  // namespace
