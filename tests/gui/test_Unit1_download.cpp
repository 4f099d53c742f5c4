#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/DownloadProgress.h"
#include "net/UnitHttp.h"
#include "net/UnitHttp_texts.h"
#include "tests/gui/WindowFixture.h"
#include "tests/support/FileTesting.h"
#include "tests/support/ScriptedServer.h"

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

// Watches for the progress dialog of a get: how often it was shown, what it said, and when.
// With cancelOnShow, it presses the dialog's cancel button as a user would, once it shows.
class ProgressDialogWatch : public QObject {
public:
    explicit ProgressDialogWatch(bool cancelOnShow) : cancelOnShow(cancelOnShow) {
        qApp->installEventFilter(this);
        running.start();
    }
    ~ProgressDialogWatch() override { qApp->removeEventFilter(this); }

    int shown = 0;
    qint64 shownAtMs = -1;
    QString label;
    QElapsedTimer running;

protected:
    bool eventFilter(QObject* object, QEvent* event) override {
        auto* dialog = qobject_cast<QProgressDialog*>(object);
        if (dialog && event->type() == QEvent::Show) {
            ++shown;
            shownAtMs = running.elapsed();
            if (cancelOnShow) {
                // Once the dialog has had a round of events to show what it has.
                QTimer::singleShot(0, dialog, [this, dialog] {
                    label = dialog->findChild<QLabel*>()->text();
                    QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
                });
            }
        }
        return false;
    }

private:
    bool cancelOnShow;
};

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
    ProgressDialogWatch watch(false);
    form->Button2->click();
    EXPECT_EQ(watch.shown, 0) << "a quick get shows no dialog";
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
        bool pageLocked = false;  // "current.shtml" may not be written
    } rows[] = {
        {"invalid proxy port, nothing sent", true, "80a", "",
         "'80a' is not a valid integer value."},
        {"status outside 2xx", false, "8080", QString::fromStdString(server.Address("/x")),
         "404 Not Found."},
        {"a page that cannot be saved, told before the get", false, "8080",
         QString::fromStdString(server.Address("/x")),
         QString::fromUtf8("Не удалось сохранить страницу в «current.shtml»: нет прав доступа."),
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        errors.clear();
        form->ProxyCheck->setChecked(row.proxy);
        form->ProxyPort->setText(row.proxyPort);
        if (!row.address.isEmpty()) {
            form->ComboBox1->setEditText(row.address);
        }
        std::filesystem::permissions(
            "current.shtml", std::filesystem::perms::owner_write,
            row.pageLocked ? std::filesystem::perm_options::remove
                           : std::filesystem::perm_options::add);
        {
            const TWithoutPermissionOverride ordinaryUser;
            form->Button2->click();
        }
        EXPECT_EQ(errors, QStringList({QCoreApplication::applicationName() + "|" + row.error}));
        EXPECT_EQ(FileBytes("current.shtml"), "before");
        EXPECT_EQ(Titles(), QStringList({"T0", "T1", "T2"}));
        EXPECT_EQ(store.Records().size(), 3u);
    }
    EXPECT_EQ(server.Requests().size(), 1u) << "only the 404 row reached the server";
}

TEST_F(DownloadTest, CancelInTheProgressDialogLeavesEverythingAsItWas) {
    // The first connection sends part of its body and falls silent.
    ScriptedServer server(
        {{ReadRequest(), Send("HTTP/1.1 200 OK\r\nContent-Length: 1000\r\n\r\n0123456789")},
         {ReadRequest(), Send(Ok(PageOfSizes({"9k"})))}});
    const QString address = QString::fromStdString(server.Address("/slow.shtml"));
    form->ComboBox1->setEditText(address);
    ProgressDialogWatch watch(true);
    form->Button2->click();
    const qint64 endedAtMs = watch.running.elapsed();

    EXPECT_EQ(watch.shown, 1);
    EXPECT_GE(watch.shownAtMs, TDownloadProgress::kShowAfterMs);
    EXPECT_LT(endedAtMs - watch.shownAtMs, 1000) << "cancel ends the get at once";
    EXPECT_TRUE(watch.label.contains(address)) << watch.label.toStdString();
    EXPECT_TRUE(watch.label.contains(QStringLiteral("Получено 10 из")))
        << watch.label.toStdString();
    EXPECT_EQ(errors, QStringList({QCoreApplication::applicationName() + "|Загрузка прервана."}));
    EXPECT_FALSE(form->Http1.Connected());
    EXPECT_EQ(FileBytes("current.shtml"), "before");
    EXPECT_EQ(QDir().entryList(QDir::Files), QStringList({"current.shtml", "short.shtml"}))
        << "nothing left beside the page";
    EXPECT_EQ(Titles(), QStringList({"T0", "T1", "T2"}));
    EXPECT_EQ(store.Records().size(), 3u);

    errors.clear();
    form->Button2->click();
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    EXPECT_EQ(Titles(), QStringList({"T0"}));
    EXPECT_EQ(server.Accepted(), 2);
}

}  // namespace
