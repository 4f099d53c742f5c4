#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "app/CheckListBox.h"
#include "app/StringGrid.h"
#include "catalogue/Unitfolianta.h"
#include "catalogue/Unitfolianta_view.h"
#include "history/Unithistory.h"
#include "net/UnitHttp.h"

class TAnchors;
class TFormAutorList;
class TRecordTableModel;

// The one catalogue store of the program, constructed before the application object.
extern CFolianta catalogue;

// The main window: the result table, the filter controls, the page sources and the settings
// commands. Every handler works on the catalogue store given at construction and runs through
// the error guard, so an exception ends the handler and is shown in the error box.
class TForm1 : public QWidget {
public:
    // Builds the designed window, opens the history of works at historyPath (none when empty)
    // and runs FormCreate. store must outlive the window.
    explicit TForm1(CFolianta& store, const std::string& historyPath = {},
                    QWidget* parent = nullptr);

    // Start-up: the settings file "Settings.ini" of the working folder (copied into the controls
    // only when it could be read), the page "short.shtml", then the table. A settings file that
    // exists but cannot be read is reported once the event loop runs.
    void FormCreate();
    // Keeps the window from being made lower than the bottom of GroupBox1 plus a margin; the
    // window system enforces it as the minimum height.
    void FormCanResize();
    // "Чтение из файла": loads the fixed local page file and refills the table.
    void Button1Click();
    // "Чтение со страници": GETs the address of ComboBox1 (through the proxy when ProxyCheck is
    // ticked and ProxyServer is not empty), writes the body beside "current.shtml" as it arrives
    // and puts it in that file's place, loads it and refills the table. While the get runs the
    // windows keep painting, a progress dialog with a cancel button shows after a moment, and
    // no other handler runs. A failed or cancelled get, or a page that cannot be saved, throws
    // and leaves the file, the store and the table alone.
    void Button2Click();
    // Double click on the table, or Enter on it: opens the work's page (left column of the
    // selection 0 or 1) or the author's page (4 or 5) of the selection's top row with the system's
    // ".html" opener. An opened work is opened and seen in the history.
    void Table1DblClick();
    // Makes the table's view from the controls (the filter tree, UnseenCheck over the history's
    // marks, FindEdit and the sorted column) and rewrites Table1 with it.
    void Button4Click();
    // "Отметить всё просмотренным": every shown work is seen in the history.
    void MarkSeenButtonClick();
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
    // "Только непросмотренные (N)", N the unseen works of the page; off at every start.
    QCheckBox* UnseenCheck;
    QPushButton* MarkSeenButton;
    // Keeps the shown works whose title or author name holds its text, letter case ignored.
    QLineEdit* FindEdit;

protected:
    // Closing with settings that differ from those last loaded or saved asks first: "Сохранить"
    // closes once the save succeeded, "Не сохранять" closes, "Отмена" keeps the window open.
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void BindEvents();
    void AppendShownAuthor(TAutorList& list);
    void OpenHistory(const std::string& path);
    // After a page was loaded: its works recorded in the history, their marks taken.
    void RecordHistory();
    // The shown work of table row was opened.
    void MarkOpened(int row);
    // Replaces marks by a copy in which the mark of every record of numbers is change(mark);
    // numbers the marks do not reach are left out.
    void ChangeMarks(std::span<const std::uint32_t> numbers, std::uint8_t (*change)(std::uint8_t));
    // A history that failed is closed for the rest of the run, its marks dropped; says why.
    void DropHistory(const std::exception& failure);
    void ShowUnseenCount();
    // The tooltip of an unseen work's title: new since when, or updated from which size.
    QString TitleTip(const TZRecord& record, std::uint8_t mark) const;
    // Shows message in the error box once the event loop runs, over the shown window.
    void TellLater(const QString& message);

    CFolianta& store;
    TRecordTableModel* table1Cells;
    TAnchors* anchors;
    TFormAutorList* autorListDialog = nullptr;
    // What SettingsToSave gave when the settings were last loaded or saved.
    std::string savedSettings;
    // The history of works; null when it could not be opened or failed since.
    std::unique_ptr<CHistory> history;
    // The history's TWorkMark bits of every record of the page, shared with the view and Table1's
    // rows; empty without a history. Never changed in place: a change is a new vector.
    std::shared_ptr<const std::vector<std::uint8_t>> marks;
    // The table column sorted by (-1: none) and how.
    int sortColumn = -1;
    TSortOrder sortOrder = TSortOrder::page;
    // The records Table1 shows and their order.
    CRecordView view;
};

extern TForm1* Form1;
