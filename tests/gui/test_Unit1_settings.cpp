#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>
#include <QTimer>
#include <algorithm>
#include <fstream>
#include <functional>
#include <iterator>

#include "app/Cp1251.h"
#include "tests/gui/WindowFixture.h"

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

std::string ReadFile(const std::string& name) {
    std::ifstream in(name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// The state of the filter controls, as the user sees it.
struct Controls {
    bool sizeMax, sizeMin, autor, notAutor, zanr;
    QString sizeMaxText, sizeMinText;
    QStringList genres, ticked;
    bool operator==(const Controls&) const = default;
};

Controls Read(const TForm1& w) {
    Controls c{w.SizeMaxCheck->isChecked(),
               w.SizeMinCheck->isChecked(),
               w.AutorCheck->isChecked(),
               w.NotAutorCheck->isChecked(),
               w.ZanrCheck->isChecked(),
               w.SizeMaxEdit->text(),
               w.SizeMinEdit->text(),
               {},
               {}};
    for (int i = 0; i < w.ZanrList->Count(); ++i) {
        c.genres << w.ZanrList->ItemText(i);
        if (w.ZanrList->Checked(i)) {
            c.ticked << w.ZanrList->ItemText(i);
        }
    }
    return c;
}

std::ostream& operator<<(std::ostream& out, const Controls& c) {
    return out << c.sizeMax << c.sizeMin << c.autor << c.notAutor << c.zanr << " max '"
               << c.sizeMaxText.toStdString() << "' min '" << c.sizeMinText.toStdString() << "' "
               << c.genres.join(",").toStdString() << " ticked "
               << c.ticked.join(",").toStdString();
}

class SettingsTest : public WindowTest {
protected:
    // Counts the genre list's tick events, which only the user's ticks may raise.
    void CountGenreEvents() {
        form->ZanrList->onClickCheck = [this] {
            ++genreEvents;
            form->ZanrListClickCheck();
        };
    }
    int genreEvents = 0;
};

TEST_F(SettingsTest, SavingAfterAPlainStartWritesTheDesignedSettingsByteForByte) {
    // The designed genres in Windows-1251, from "Байки" to "Юмор".
    const char* const genres[] = {
        "\xC1\xE0\xE9\xEA\xE8",
        "\xC4\xE5\xF2\xE5\xEA\xF2\xE8\xE2",
        "\xC4\xE5\xF2\xF1\xEA\xE0\xFF",
        "\xC4\xF0\xE0\xEC\xE0\xF2\xF3\xF0\xE3\xE8\xFF",
        "\xC5\xF1\xF2\xE5\xF1\xF2\xE2\xEE\xE7\xED\xE0\xED\xE8\xE5",
        "\xC8\xE7\xEE\xE1\xF0\xE5\xF2\xE0\xF2\xE5\xEB\xFC\xF1\xF2\xE2\xEE",
        "\xC8\xF1\xF2\xEE\xF0\xE8\xFF",
        "\xCA\xE8\xE1\xE5\xF0\xEF\xE0\xED\xEA",
        "\xCA\xF0\xE8\xF2\xE8\xEA\xE0",
        "\xCB\xE8\xF0\xE8\xEA\xE0",
        "\xCB\xE8\xF2\xEE\xE1\xE7\xEE\xF0",
        "\xCB\xFE\xE1\xEE\xE2\xED\xFB\xE9 \xF0\xEE\xEC\xE0\xED",
        "\xCC\xE5\xEC\xF3\xE0\xF0\xFB",
        "\xCC\xE8\xF1\xF2\xE8\xEA\xE0",
        "\xCE\xEA\xEA\xF3\xEB\xFC\xF2\xE8\xE7\xEC",
        "\xCF\xE0\xF0\xEE\xE4\xE8\xE8",
        "\xCF\xE5\xF0\xE5\xE2\xEE\xE4\xFB",
        "\xCF\xEE\xEB\xE8\xF2\xE8\xEA\xE0",
        "\xCF\xEE\xFD\xE7\xE8\xFF",
        "\xCF\xF0\xE8\xEA\xEB\xFE\xF7\xE5\xED\xE8\xFF",
        "\xCF\xF0\xEE\xE7\xE0",
        "\xCF\xF3\xE1\xEB\xE8\xF6\xE8\xF1\xF2\xE8\xEA\xE0",
        "\xD0\xE5\xEB\xE8\xE3\xE8\xFF",
        "\xD1\xEA\xE0\xE7\xEA\xE8",
        "\xD1\xEE\xE1\xFB\xF2\xE8\xFF",
        "\xD4\xE0\xED\xF2\xE0\xF1\xF2\xE8\xEA\xE0",
        "\xD4\xE8\xEB\xEE\xF1\xEE\xF4\xE8\xFF",
        "\xD4\xFD\xED\xF2\xE5\xE7\xE8",
        "\xD5\xEE\xF0\xF0\xEE\xF0",
        "\xDD\xE7\xEE\xF2\xE5\xF0\xE8\xEA\xE0",
        "\xDE\xEC\xEE\xF0",
    };
    ASSERT_EQ(std::size(genres), 31u);
    std::string expected;
    for (const char* genre : genres) {
        expected += std::string("ZanrList,\"") + genre + "\"\r\n";
    }
    expected += "SizeMax,\"1000\xCA\"\r\n";  // Cyrillic Ka
    expected += "SizeMin,\"100K\"\r\n";      // Latin K

    TForm1& w = Open();
    w.Button8->click();
    const std::string written = ReadFile("Settings.ini");
    EXPECT_EQ(written, expected);
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 33);
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SettingsTest, SavedControlsComeBackOnLoading) {
    TForm1& w = Open();
    CountGenreEvents();
    w.SizeMaxCheck->setChecked(true);
    w.SizeMaxEdit->setText(U("5К"));
    w.SizeMinEdit->setText("");
    w.NotAutorCheck->setChecked(true);
    w.ZanrCheck->setChecked(true);
    w.ZanrList->SetChecked(0, true);
    w.ZanrList->SetChecked(30, true);
    store.GetAutorList1().push_back(TAutorInf::Make("/a/", "\xC8\xEC\xFF", ""));  // "Имя"
    store.GetAutorList2().push_back(TAutorInf::Make("", "", ""));
    const Controls saved = Read(w);
    w.Button8->click();

    w.SizeMaxCheck->setChecked(false);
    w.SizeMaxEdit->setText("1");
    w.SizeMinCheck->setChecked(true);
    w.SizeMinEdit->setText("2");
    w.NotAutorCheck->setChecked(false);
    w.AutorCheck->setChecked(true);
    w.ZanrCheck->setChecked(false);
    w.ZanrList->Clear();
    w.ZanrList->AddItem("x");
    store.GetAutorList1().clear();
    store.GetAutorList2().push_back(TAutorInf::Make("/b/", "", ""));

    w.Button9->click();
    EXPECT_EQ(Read(w), saved);
    ASSERT_EQ(store.GetAutorList1().size(), 1u);
    EXPECT_STREQ(store.GetAutorList1()[0].name, "\xC8\xEC\xFF");
    ASSERT_EQ(store.GetAutorList2().size(), 1u);
    EXPECT_STREQ(store.GetAutorList2()[0].link, "") << "the entry of three empty texts";
    EXPECT_EQ(genreEvents, 0) << "the program's genre changes raise no tick event";
    EXPECT_TRUE(errors.isEmpty());
}

TEST_F(SettingsTest, LoadingWithoutAFileSetsTheControlsToTheStoresSettings) {
    TForm1& w = Open();
    w.SizeMaxCheck->setChecked(true);
    w.ZanrCheck->setChecked(true);
    w.Button9->click();
    const Controls cleared{false, false, false, false, false, "", "", {}, {}};
    EXPECT_EQ(Read(w), cleared) << "nothing loaded or saved yet: every switch off, all empty";
    EXPECT_EQ(errors, QStringList(QCoreApplication::applicationName() +
                                  U("|Не удалось прочитать настройки из «Settings.ini»: файл или "
                                    "папка не найдены.")));

    w.SizeMinCheck->setChecked(true);
    w.SizeMinEdit->setText("7k");
    w.Button8->click();
    ASSERT_EQ(std::remove("Settings.ini"), 0);
    w.SizeMinCheck->setChecked(false);
    w.SizeMinEdit->setText("");
    w.Button9->click();
    EXPECT_TRUE(w.SizeMinCheck->isChecked()) << "back to what the store holds since the save";
    EXPECT_EQ(w.SizeMinEdit->text(), "7k");
}

TEST_F(SettingsTest, StartUpAppliesTheSettingsFileBeforeTheFirstPage) {
    WriteFile("short.shtml", PageOfSizes({"1k", "2k", "3k", "4k"}));
    WriteFile("Settings.ini",
              "AutorList2,\"/a9/"
              "\",\"N\",\"\"\r\nZanrList,\"Sci\"\r\nZanrList,\"\xCF\xF0\xEE\xE7\xE0\"\r\n"
              "ZanrCheckList,\"\xCF\xF0\xEE\xE7\xE0\"\r\nSizeMaxCheck\r\nSizeMax,\"3k\"\r\n"
              "SizeMin,\"\"\r\nAutorList2Check\r\n");
    TForm1& w = Open();
    const Controls loaded{true,        false, false, true, false, "3k", "", {"Sci", U("Проза")},
                          {U("Проза")}};
    EXPECT_EQ(Read(w), loaded);
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"})) << "the page is filtered by the loaded bounds";
    ASSERT_EQ(store.GetAutorList2().size(), 1u);
    EXPECT_STREQ(store.GetAutorList2()[0].link, "/a9/");
}

TEST_F(SettingsTest, AnUnreadableSettingsFileLeavesTheDesignedControlsAtStartUpAndIsTold) {
    ASSERT_TRUE(QDir().mkdir("Settings.ini"));
    TForm1& w = Open();
    EXPECT_EQ(w.ZanrList->Count(), 31);
    EXPECT_EQ(w.SizeMaxEdit->text(), U("1000К"));
    EXPECT_EQ(w.SizeMinEdit->text(), "100K");
    QCoreApplication::processEvents();
    EXPECT_EQ(errors, QStringList(QCoreApplication::applicationName() +
                                  U("|Не удалось прочитать настройки из «Settings.ini»: это "
                                    "папка, а не файл.")));
}

TEST_F(SettingsTest, TickedNamesMatchItemsWithLatinCaseIgnored) {
    TForm1& w = Open();
    const std::string items =
        "ZanrList,\"Sci\"\r\nZanrList,\"SCI\"\r\nZanrList,\"\xCF\xF0\xEE\xE7\xE0\"\r\n"  // Проза
        "ZanrList,\"sci fi\"\r\n";
    const struct {
        const char* label;
        std::string ticks;
        QStringList ticked;
    } rows[] = {
        {"one name equal to two items ticks both", "ZanrCheckList,\"sCi\"\r\n", {"Sci", "SCI"}},
        {"a name equal to no item ticks nothing", "ZanrCheckList,\"Fi\"\r\n", {}},
        {"Cyrillic case counts", "ZanrCheckList,\"\xEF\xF0\xEE\xE7\xE0\"\r\n", {}},  // проза
        {"Cyrillic bytes equal", "ZanrCheckList,\"\xCF\xF0\xEE\xE7\xE0\"\r\n", {U("Проза")}},
        {"whole names only", "ZanrCheckList,\"sci f\"\r\n", {}},
        {"a ticked name twice",
         "ZanrCheckList,\"SCI FI\"\r\nZanrCheckList,\"sci fi\"\r\n",
         {"sci fi"}},
    };
    CountGenreEvents();
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        WriteFile("Settings.ini", items + row.ticks);
        w.Button9->click();
        EXPECT_EQ(Read(w).ticked, row.ticked);
        EXPECT_EQ(w.ZanrList->Count(), 4);
    }
    EXPECT_EQ(genreEvents, 0);
}

TEST_F(SettingsTest, GenreSwitchTurnedOnByLoadingShowsNothingUntilTheNextChange) {
    WriteFile("short.shtml",
              PageOfSizes({"1k"}) +
                  ListingRow({"/w/p", "P", "2k", "\xCF\xF0\xEE\xE7\xE0", "/a/", "N", ""}));
    TForm1& w = Open();
    ASSERT_EQ(w.Table1->RowCount(), 3);
    WriteFile("Settings.ini",
              "ZanrCheck\r\nZanrList,\"\xCF\xF0\xEE\xE7\xE0\"\r\nZanrCheckList,"
              "\"\xCF\xF0\xEE\xE7\xE0\"\r\n"
              "SizeMax,\"1000\xCA\"\r\nSizeMin,\"100K\"\r\n");
    w.Button9->click();
    ASSERT_TRUE(w.ZanrCheck->isChecked());
    ASSERT_TRUE(w.ZanrList->Checked(0));
    EXPECT_EQ(w.Table1->RowCount(), 1) << "filtered while the genre list was empty";
    w.SizeMinEdit->setText("1");  // any filter control's change refilters
    EXPECT_EQ(Titles(), QStringList({"P"}));
}

TEST_F(SettingsTest, SavingLeavesTheTableAsItIs) {
    WriteFile("short.shtml", PageOfSizes({"1k", "2k"}, 2));
    TForm1& w = Open();
    w.NotAutorCheck->setChecked(true);
    store.GetAutorList2().push_back(TAutorInf::Make("/a0/", "", ""));
    w.Button8->click();
    EXPECT_EQ(Titles(), QStringList({"T0", "T1"})) << "not refiltered";
    EXPECT_FALSE(ReadFile("Settings.ini").empty());
    w.SizeMinEdit->setText("");
    EXPECT_EQ(Titles(), QStringList({"T1"})) << "the next change applies the list";
}

// Answers the question box that closing the window may ask with the button captioned answer,
// as a user would, and keeps its text; a close that asks nothing leaves asked empty.
class CloseQuestion {
public:
    explicit CloseQuestion(const QString& answer) {
        QTimer::singleShot(0, [this, answer] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box) {
                return;
            }
            asked = box->text();
            for (QAbstractButton* button : box->buttons()) {
                if (button->text() == answer) {
                    button->click();
                }
            }
        });
    }
    QString asked;
};

// Closes window, cancelling the question if one is asked; true when one was. A window closed
// without a question is shown again.
bool ClosingAsks(TForm1& window) {
    CloseQuestion question(U("Отмена"));
    if (window.close()) {
        QCoreApplication::processEvents();  // the answerer finds no question and is done
        window.show();
    }
    return !question.asked.isEmpty();
}

TEST_F(SettingsTest, ClosingWithUnsavedSettingsAsksAndSavesOnlyWhenTold) {
    TForm1& w = Open();
    store.GetAutorList1().push_back(TAutorInf::Make("/a7/", "Author", ""));
    const struct {
        const char* label;
        const char* answer;
        bool folderInTheWay;  // a folder named Settings.ini makes the save fail
        bool closed;
        QStringList errors;
    } rows[] = {
        {"cancel", "Отмена", false, false, {}},
        {"do not save", "Не сохранять", false, true, {}},
        {"save, which fails",
         "Сохранить",
         true,
         false,
         {QCoreApplication::applicationName() +
          U("|Не удалось сохранить настройки в «Settings.ini»: это папка, а не файл.")}},
        {"save", "Сохранить", false, true, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        errors.clear();
        if (row.folderInTheWay) {
            ASSERT_TRUE(QDir().mkdir("Settings.ini"));
        }
        CloseQuestion question(U(row.answer));
        EXPECT_EQ(w.close(), row.closed);
        EXPECT_EQ(question.asked, U("Настройки изменены. Сохранить их в «Settings.ini»?"));
        EXPECT_EQ(errors, row.errors);
        EXPECT_EQ(QFileInfo("Settings.ini").isFile(), std::string(row.label) == "save");
        QDir().rmdir("Settings.ini");
        w.show();
    }
    EXPECT_NE(ReadFile("Settings.ini").find("AutorList1,\"/a7/\",\"Author\",\"\"\r\n"),
              std::string::npos);
}

TEST_F(SettingsTest, ClosingAsksAfterAChangeOfAnyOneSettingAlone) {
    TForm1& w = Open();
    store.GetAutorList1().push_back(TAutorInf::Make("/a1/", "One", ""));
    store.GetAutorList2().push_back(TAutorInf::Make("/a2/", "Two", ""));
    // Texts keep their length and ticks their count, so that only their content tells.
    const struct {
        const char* label;
        std::function<void()> change;
    } rows[] = {
        {"upper size switch", [&] { w.SizeMaxCheck->toggle(); }},
        {"upper size", [&] { w.SizeMaxEdit->setText(U("2000К")); }},
        {"lower size switch", [&] { w.SizeMinCheck->toggle(); }},
        {"lower size", [&] { w.SizeMinEdit->setText("200K"); }},
        {"wanted authors switch", [&] { w.AutorCheck->toggle(); }},
        {"unwanted authors switch", [&] { w.NotAutorCheck->toggle(); }},
        {"genre switch", [&] { w.ZanrCheck->toggle(); }},
        {"a genre ticked", [&] { w.ZanrList->SetChecked(3, true); }},
        {"the tick moved to another genre",
         [&] {
             w.ZanrList->SetChecked(3, false);
             w.ZanrList->SetChecked(4, true);
         }},
        {"a wanted author added",
         [&] { store.GetAutorList1().push_back(TAutorInf::Make("/a3/", "", "")); }},
        {"a wanted author's name", [&] { CopyCapped(store.GetAutorList1()[0].name, "Uno"); }},
        {"an unwanted author added",
         [&] { store.GetAutorList2().push_back(TAutorInf::Make("/a4/", "", "")); }},
        {"an unwanted author's link", [&] { CopyCapped(store.GetAutorList2()[0].link, "/b2/"); }},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        w.Button8->click();
        EXPECT_FALSE(ClosingAsks(w)) << "nothing changed since the save";
        row.change();
        EXPECT_TRUE(ClosingAsks(w));
    }
    WriteFile("Settings.ini", "SizeMaxCheck\r\n");
    w.Button9->click();
    EXPECT_FALSE(ClosingAsks(w)) << "nothing changed since the load";
    EXPECT_TRUE(errors.isEmpty());
}

}  // namespace
