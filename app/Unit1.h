#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QWidget>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "app/CheckListBox.h"
#include "app/CheckSchedule.h"
#include "app/PageFetch.h"
#include "app/ProgramSettings.h"
#include "app/StringGrid.h"
#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_view.h"
#include "net/UnitHttp.h"

class QAction;
class QTimer;
class TAnchors;
class TDesktopNotice;
class TPageCheck;
struct TCheckResult;
class THistoryService;
struct TPageMarks;
class TFormAutorList;
class TFormWordList;
class TRecordTableModel;
class TTableMenu;

// The one catalogue store of the program, constructed before the application object.
extern CFolianta catalogue;

// The main window: the result table, the filter controls, the page sources and the settings
// commands. Every handler works on the catalogue store given at construction and runs through
// the error guard, so an exception ends the handler and is shown in the error box. The window's
// size and place, the table's columns and sort, the unseen switch, the proxy fields, the typed
// addresses and the page folder are kept across runs in the program's settings file.
class TForm1 : public QWidget {
public:
    // Builds the designed window, opens the history of works at historyPath (none when empty),
    // takes back what the last run kept and runs FormCreate. store must outlive the window.
    explicit TForm1(CFolianta& store, const std::string& historyPath = {},
                    QWidget* parent = nullptr);
    ~TForm1() override;

    // Start-up: the settings file "Settings.ini" of the working folder (copied into the controls
    // only when it could be read), the page "short.shtml", then the table. A settings file that
    // exists but cannot be read is reported once the event loop runs.
    void FormCreate();
    // Keeps the window from being made lower than the bottom of GroupBox1 plus a margin; the
    // window system enforces it as the minimum height.
    void FormCanResize();
    // "Чтение из файла": loads the fixed local page file "H:\long.shtml" when the working folder
    // holds one, else asks for a page file (ChoosePageFile).
    void Button1Click();
    // Ctrl+O, "Открыть страницу…": asks for a page file in a file dialog, which starts in the
    // folder of the last one chosen, and loads the one chosen.
    void ChoosePageFile();
    // Loads the page file at path, records its works in the history and refilters; how every
    // page file is loaded, also one dropped on the window or named on the command line. A file
    // that cannot be read throws, naming it and saying why; the page shown then stays.
    void OpenPageFile(const QString& path);
    // "Чтение со страници": GETs the address of ComboBox1 (through the proxy when ProxyCheck is
    // ticked and ProxyServer is not empty), writes the body beside "current.shtml" as it arrives
    // and puts it in that file's place, loads it and refills the table. While the get runs the
    // windows keep painting, a progress dialog with a cancel button shows after a moment, and
    // no other handler runs. A failed or cancelled get, or a page that cannot be saved, throws
    // and leaves the file, the store and the table alone. The address is kept first among the
    // typed ones, and the links of the page loaded lead to its site.
    // and leaves the file, the store and the table alone. The get asks only for a change when
    // the page's validators are known (see FetchPage); the address becomes the one checked.
    void Button2Click();
    // Starts a check of the page now, unless a download or a check runs; see CheckTick.
    void CheckNow();
    // Whether a check runs; "Чтение со страници" is disabled meanwhile.
    bool CheckRunning() const { return checkRunning; }
    // Double click on the table, or Enter on it: opens the work's page (left column of the
    // selection 0 or 1) or the author's page (4 or 5) of the selection's top row with the system's
    // ".html" opener. An opened work is opened and seen in the history. Links lead to the site
    // the page shown was fetched from; for a page read from a file, to the one last fetched
    // from, else to the site of the settings file or the built-in one.
    void Table1DblClick();
    // The work's page / the author's page of the selection's top row, as Table1DblClick opens.
    void OpenWork();
    void OpenAuthor();
    // Makes the table's view from the controls (the filter tree, UnseenCheck over the history's
    // marks, FindEdit and the sorted column) and rewrites Table1 with it.
    void Button4Click();
    // "Отметить всё просмотренным": every shown work is seen in the history.
    void MarkSeenButtonClick();
    // The work of the selection's top row is marked seen, or unseen again, in the history.
    void MarkTopRowSeen(bool seen);
    // "Скрыть" (true) and the Delete key / "Вернуть" (false): the works of the selected rows are
    // hidden, or shown again, in the history, and the table refiltered.
    void SetSelectedHidden(bool hidden);
    // Whether some work of the selected rows is not hidden (true) / is hidden (false).
    bool CanSetSelectedHidden(bool hidden) const;
    // Whether the work of the selection's top row is seen; nullopt without a history or a work.
    std::optional<bool> TopRowSeen() const;
    // A click on the header of table column: sorts the shown works by it, ascending, then
    // descending, then back to page order; the header shows the sort arrow.
    void Table1HeaderClick(int column);
    // Ctrl+F: the find line opens under the table, which gives up its room.
    void ShowFind();
    // Esc in the find line: its text is cleared and the table takes the designed room again.
    void HideFind();
    // The change handler of every filter control: refilters at once.
    void ZanrListClickCheck();

    // The author-list dialog the two "Список авторов" buttons open; not owned, must outlive the
    // window. Until one is given, those buttons do nothing.
    void SetAutorListDialog(TFormAutorList* dialog) { autorListDialog = dialog; }
    // "Список авторов" under AutorCheck / NotAutorCheck: opens the dialog on the include-list /
    // the exclude-list.
    void Button3Click();
    void Button5Click();
    // "Добавить автора" / "Исключить автора": appends the author of the top selected row, with an
    // empty comment, to the include-list / the exclude-list. A row that shows no record adds
    // nothing. Neither refilters.
    void Button6Click();
    void Button7Click();
    // "Сохранить настройки": the controls into store's settings, then store's settings into
    // "Settings.ini"; a failed save throws, saying why. Does not refilter.
    void Button8Click();
    // "Загрузить настройки": reads "Settings.ini" into store when it can, then copies store's
    // settings into the controls either way; a failed read then throws, saying why.
    void Button9Click();
    // Copies the settings of from into the filter controls through their ordinary setters, so
    // each switch and size edit that really changes refilters at once; replacing the genre items
    // and their ticks refilters nothing.
    void SettingsToForm(CFolianta& from);
    // Copies the filter controls into the settings of to; the author lists are left alone.
    void FormToSettings(CFolianta& to);
    // Whether the history's marks of the page shown have come; they follow a load in a moment.
    bool MarksShown() const { return pageMarks != nullptr; }
    // The editor the two "Список слов" buttons open: a window of its own, gone with this one.
    TFormWordList& WordListDialog() const { return *wordListDialog; }
    // The bytes "Сохранить настройки" would write now: store's author lists with the controls.
    std::string SettingsToSave();

    TStringGrid* Table1;
    QGroupBox* GroupBox1;
    THttpClient Http1;
    QGroupBox* GroupBox2;
    QCheckBox* SizeMaxCheck;
    QLineEdit* SizeMaxEdit;
    QCheckBox* SizeMinCheck;
    QLineEdit* SizeMinEdit;
    QPushButton* Button3;
    QCheckBox* AutorCheck;
    QPushButton* Button4;
    QCheckBox* NotAutorCheck;
    QPushButton* Button5;
    QPushButton* Button6;
    QPushButton* Button7;
    TCheckListBox* ZanrList;
    QCheckBox* ZanrCheck;
    QLineEdit* ProxyServer;
    QComboBox* ComboBox1;
    QCheckBox* ProxyCheck;
    QLineEdit* ProxyPort;
    QPushButton* Button2;
    QPushButton* Button1;
    QPushButton* Button8;
    QPushButton* Button9;
    QLabel* Label1;
    // "Только непросмотренные (N)", N the unseen works of the page that the reader's rules (hidden
    // works, title words) keep.
    QCheckBox* UnseenCheck;
    // "Показать скрытые (N)", N the hidden works of the page: shows them, struck out.
    QCheckBox* ShowHiddenCheck;
    // "Исключить слова в названии" / "Только со словами в названии" and their "Список слов".
    QCheckBox* ExcludeWordsCheck;
    QPushButton* ExcludeWordsButton;
    QCheckBox* WantedWordsCheck;
    QPushButton* WantedWordsButton;
    QPushButton* MarkSeenButton;
    // Keeps the shown works whose title or author name holds its text, letter case ignored.
    QLineEdit* FindEdit;
    // Ctrl+O, "Открыть страницу…".
    QAction* OpenPageAction;
    TTableMenu* Table1Menu;
    // The automatic checks: at start-up, every EveryMinutesEdit minutes, and how the last went.
    QCheckBox* StartCheckBox;
    QCheckBox* EveryCheckBox;
    QSpinBox* EveryMinutesEdit;
    QLabel* CheckStateLabel;

protected:
    // Closing with settings that differ from those last loaded or saved asks first: "Сохранить"
    // closes once the save succeeded, "Не сохранять" closes, "Отмена" keeps the window open.
    void closeEvent(QCloseEvent* event) override;
    // A page file dragged from a file manager is taken: the first local file of the drop.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void BindEvents();
    // What the last run kept in the settings file, into the window; each value that is missing
    // or damaged leaves the designed one.
    void RestoreState();
    // From here on, every kept value is written to the settings file as it changes.
    void BindStateSaving();
    // The window's geometry and the table's columns, into the settings file.
    void SaveWindowState();
    // address, used in the address box, becomes the first of the kept ones.
    void RememberAddress(const QString& address);
    void AppendShownAuthor(TAutorList& list);
    void OpenHistory(const std::string& path);
    // After a page was loaded: its works are recorded in the history, in the background; their
    // marks come to the table when ready.
    void RecordHistory();
    // The history's marks of the page shown arrived, or changed here.
    void ShowMarks(std::shared_ptr<const TPageMarks> marks);
    // The TWorkMark bits of every record of the page shown. Until its marks come: kHidden on the
    // works hidden before, when there are any; else empty.
    std::shared_ptr<const std::vector<std::uint8_t>> PageMarks() const;
    // kHidden on the records of the page shown whose links hiddenLinks holds; null when none is.
    std::shared_ptr<const std::vector<std::uint8_t>> KnownHiddenMarks() const;
    // The number in the store's records of the work table row shows, when the history has its
    // marks; nullopt otherwise.
    std::optional<std::uint32_t> RecordOfRow(int row) const;
    // The shown work of table row was opened.
    void MarkOpened(int row);
    // A history that failed for good is closed for the rest of the run, its marks dropped.
    void CloseHistory();
    // The counts of unseen and of hidden works in the captions of their check boxes.
    void ShowMarkCounts();
    // The numbers of the records of the selected rows whose marks hold kHidden, or do not
    // (hidden false); none without the history's marks.
    std::vector<std::uint32_t> SelectedRecords(bool hidden) const;
    // The mark bits the view leaves out: kHidden unless ShowHiddenCheck is on.
    std::uint8_t HiddenMarks() const;
    // The tooltip of an unseen work's title: new since when, or updated from which size.
    QString TitleTip(std::uint32_t record, std::uint8_t mark) const;
    // Shows message in the error box once the event loop runs, over the shown window.
    void TellLater(const QString& message);
    // The request fields of a get: the proxy of the controls, or none.
    void SetUpRequest(THeaderInfo& request) const;
    // Loads, records and shows a page a get brought (of address, Windows-1251) as a fetch by
    // hand does, its validators kept; the selected work and the scroll position stay. False
    // when nothing was to load.
    bool ShowFetchedPage(const std::string& address, const TFetchedPage& fetched);
    std::optional<TPageValidators> KnownValidators(const std::string& address) const;
    void KeepValidators(const std::string& address, const TPageValidators& validators);

    // The reader's title words (Unit1_rules.cpp): their switches and editor buttons, read from
    // and kept in the group [rules] of the program's settings file.
    void CreateRuleControls();
    void StartRules();
    // Opens the word editor on the excluded (true) or the wanted entries.
    void OpenWordList(bool excluded);
    // The entries of a switched-on list, in Windows-1251; none while its switch is off.
    std::vector<std::string> TitleWords(bool excluded) const;

    // The checks (Unit1_check.cpp).
    void CreateCheckControls();
    void StartChecks();
    // Starts a check when one is due and no download or check runs.
    void CheckTick();
    void StartCheck();
    void FinishCheck(const std::string& address, const TCheckResult& result);
    // The address the checks get: the one last fetched by hand, else the box's first item.
    QString CheckAddress() const;
    void CheckControlsChanged();
    void TellCheckState(const QString& text, const QString& failure);

    CFolianta& store;
    TProgramSettings programSettings;
    // What every opened link is put behind: the host, or the scheme, host and port, of the site.
    std::string linkBase;
    TRecordTableModel* table1Cells;
    TAnchors* anchors;
    TFormAutorList* autorListDialog = nullptr;
    std::unique_ptr<TFormWordList> wordListDialog;
    TRulesSettings rules;
    // What SettingsToSave gave when the settings were last loaded or saved.
    std::string savedSettings;
    // The history of works, on its own thread; null without one, or once it failed for good.
    THistoryService* history = nullptr;
    // What the history says of the works of the page shown, shared with Table1's rows; null
    // until it came. Never changed in place: a change makes a new one.
    std::shared_ptr<const TPageMarks> pageMarks;
    // The links of the works the reader hid, as the history last told them and as hidden or
    // shown again here since; a load leaves these out before its own marks come.
    struct TLinkHash {
        using is_transparent = void;
        std::size_t operator()(std::string_view link) const {
            return std::hash<std::string_view>{}(link);
        }
    };
    std::unordered_set<std::string, TLinkHash, std::equal_to<>> hiddenLinks;
    // KnownHiddenMarks of the page shown, while its marks are on their way.
    std::shared_ptr<const std::vector<std::uint8_t>> hiddenUntilMarked;
    // The table column sorted by (-1: none) and how.
    int sortColumn = -1;
    TSortOrder sortOrder = TSortOrder::page;
    // The records Table1 shows and their order.
    CRecordView view;

    // The address (Windows-1251) whose page is shown, when a get brought it; else empty.
    std::string shownAddress;
    // The validators of the addresses asked or fetched in this run, for a fetch by hand, which
    // cannot wait for the history's answer.
    std::map<std::string, TPageValidators> knownValidators;
    TCheckSettings checkSettings;
    CCheckSchedule schedule;
    TPageCheck* pageCheck = nullptr;
    QTimer* checkTimer = nullptr;
    TDesktopNotice* notice = nullptr;
    bool fetchingByHand = false;
    bool checkRunning = false;
    // Why the last check failed; empty after one that did not.
    QString checkFailure;
};

extern TForm1* Form1;
