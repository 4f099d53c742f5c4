// The automatic checks of the page against a loopback server: what they send, what they save and
// show, and that a failure never opens a box.
#include <QTest>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/ProgramSettings.h"
#include "tests/gui/WindowFixture.h"
#include "tests/support/ScriptedServer.h"

namespace {

std::string FileBytes(const char* name) {
    std::ifstream in(name, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

class CheckTest : public WindowTest {
protected:
    void SetUp() override {
        WindowTest::SetUp();
        std::filesystem::remove(TProgramSettings::Path().toStdString());
        WriteFile("short.shtml", PageOfSizes({"1k", "2k", "3k"}));
    }
    void TearDown() override {
        WindowTest::TearDown();
        std::filesystem::remove(TProgramSettings::Path().toStdString());
    }
    // Handles events until the check under way has ended.
    void WaitForCheck() {
        ASSERT_TRUE(QTest::qWaitFor([this] { return !form->CheckRunning(); }, 10'000));
    }
    // Handles events until the start-up check has run and its marks have come.
    void OpenAndCheck() {
        Open();
        ASSERT_TRUE(
            QTest::qWaitFor([this] { return !form->CheckStateLabel->text().isEmpty(); }, 10'000));
        WaitForMarks();
    }
};

TEST_F(CheckTest, TheCheckGroupReadsBadValuesAsItsDefaults) {
    const struct {
        const char* label;
        const char* group;
        TCheckSettings read;
    } rows[] = {
        {"as written",
         "onStart=true\neveryMinutes=1440\naddress=http://a/b",
         {true, 1440, "http://a/b"}},
        {"off", "onStart=false\neveryMinutes=0", {false, 0, ""}},
        {"no bool, minutes below the least", "onStart=yes\neveryMinutes=14", {}},
        {"minutes above the most", "everyMinutes=1441", {}},
        {"minutes not a number", "everyMinutes=15x\naddress=", {}},
    };
    std::filesystem::create_directories(
        std::filesystem::path(TProgramSettings::Path().toStdString()).parent_path());
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        std::ofstream(TProgramSettings::Path().toStdString()) << "[check]\n" << row.group << "\n";
        EXPECT_EQ(ReadCheckSettings(), row.read);
    }
}

TEST_F(CheckTest, AStartUpCheckSavesThePageAndTheNextStartAsksOnlyForAChange) {
    const std::string page = PageOfSizes({"4k", "5k"});
    ScriptedServer server(
        {Answering({Send("HTTP/1.1 200 OK\r\nETag: \"v1\"\r\nContent-Length: " +
                         std::to_string(page.size()) + "\r\n\r\n" + page)}),
         Answering(
             {Send("HTTP/1.1 304 Not Modified\r\nETag: \"v1\"\r\nConnection: close\r\n\r\n")}),
         Answering({Send("HTTP/1.1 304 Not Modified\r\n\r\n")})});
    WriteCheckSettings({true, 0, QString::fromStdString(server.Address("/page.shtml"))});

    OpenAndCheck();
    EXPECT_EQ(FileBytes("current.shtml"), page);
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"}));
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Folianta — 2 новых"));
    const auto saved = std::filesystem::last_write_time("current.shtml");
    form.reset();

    OpenAndCheck();
    EXPECT_EQ(form->CheckStateLabel->text(), QString::fromUtf8("Страница не изменилась"));
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"})) << "the page of the validators, loaded";
    EXPECT_EQ(std::filesystem::last_write_time("current.shtml"), saved) << "nothing rewritten";
    const std::vector<std::string> requests = server.Requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].find("If-None-Match"), std::string::npos);
    EXPECT_NE(requests[1].find("\r\nIf-None-Match: \"v1\"\r\n"), std::string::npos);

    // By hand, the same address asks only for a change too.
    form->ComboBox1->setEditText(QString::fromStdString(server.Address("/page.shtml")));
    form->Button2->click();
    ASSERT_EQ(server.Requests().size(), 3u);
    EXPECT_NE(server.Requests()[2].find("\r\nIf-None-Match: \"v1\"\r\n"), std::string::npos);
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"}));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

// The row of work n, as PageOfSizes writes it but of size 7k.
std::string WorkRow(const std::string& n) {
    return ListingRow({"/w/" + n + ".shtml", "T" + n, "7k", "Genre", "/a/", "Author", n}) + "\n";
}

TEST_F(CheckTest, ACheckThatFindsNewWorksTellsThemAndKeepsTheSelectedWork) {
    // The page grows by three works at its top; the filters pass every work.
    const std::string grown =
        WorkRow("10") + WorkRow("11") + WorkRow("12") + PageOfSizes({"1k", "2k", "3k"});
    ScriptedServer server(
        {Answering({Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + grown), Close()})});
    WriteCheckSettings({false, 0, QString::fromStdString(server.Address("/page.shtml"))});
    Open();
    WaitForMarks();
    form->Table1->Select({0, 2, 0, 2});  // the work "/w/1.shtml"
    form->CheckNow();
    EXPECT_FALSE(form->Button2->isEnabled()) << "no fetch by hand during a check";
    WaitForCheck();
    WaitForMarks();
    EXPECT_TRUE(form->Button2->isEnabled());
    EXPECT_EQ(form->Table1->Selection().Top, 5) << "the same work, three rows lower";
    EXPECT_TRUE(form->CheckStateLabel->text().endsWith(QString::fromUtf8(": 3 новых")))
        << form->CheckStateLabel->text().toStdString();
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Folianta — 6 новых"));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(CheckTest, AHiddenWorkBackOnThePageIsNeitherShownNorToldAsNew) {
    ScriptedServer server({Answering({Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" +
                                           WorkRow("10") + WorkRow("0") + WorkRow("1")),
                                      Close()})});
    WriteCheckSettings({false, 0, QString::fromStdString(server.Address("/page.shtml"))});
    Open();
    WaitForMarks();
    form->Table1->setFocus();
    form->Table1->Select({0, 1, 0, 1});
    QTest::keyClick(form->Table1, Qt::Key_Delete);
    WriteFile("without.shtml", WorkRow("1"));
    form->OpenPageFile("without.shtml");
    WaitForMarks();

    form->CheckNow();
    WaitForCheck();
    EXPECT_TRUE(form->CheckStateLabel->text().endsWith(QString::fromUtf8(": 1 новых")))
        << form->CheckStateLabel->text().toStdString();
    EXPECT_EQ(Titles(), QStringList({"T10", "T1"}));
    EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
}

TEST_F(CheckTest, AFailedCheckGoesToTheLabelNeverToABox) {
    ScriptedServer server(
        {Answering({Send("HTTP/1.1 503 Service Unavailable\r\nRetry-After: "
                         "120\r\nContent-Length: 0\r\n\r\n")})});
    const struct {
        const char* label;
        std::string address;
        const char* state;
    } rows[] = {
        {"a busy server", server.Address("/page.shtml"),
         "Проверка не удалась: 503 Service Unavailable"},
        {"nobody listening", "http://127.0.0.1:" + std::to_string(RefusedPort()) + "/page.shtml",
         "Проверка не удалась: Socket Error # 10061"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        WriteCheckSettings({false, 0, QString::fromStdString(row.address)});
        Open();
        form->CheckNow();
        WaitForCheck();
        EXPECT_TRUE(form->CheckStateLabel->text().startsWith(QString::fromUtf8(row.state)))
            << form->CheckStateLabel->text().toStdString();
        EXPECT_TRUE(form->Button2->isEnabled());
        EXPECT_EQ(Titles(), QStringList({"T0", "T1", "T2"}));
        EXPECT_TRUE(errors.isEmpty()) << errors.join("\n").toStdString();
    }
}

}  // namespace
