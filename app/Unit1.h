#pragma once

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>
#include <string>

#include "app/CheckListBox.h"
#include "app/StringGrid.h"
#include "catalogue/Unitfolianta.h"
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
    // Builds the designed window and runs FormCreate. store must outlive the window.
    explicit TForm1(CFolianta& store, QWidget* parent = nullptr);

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
    // ".html" opener.
    void Table1DblClick();
    // Builds the filter tree from the filter controls, applies it and rewrites Table1.
    void Button4Click();
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

protected:
    // Closing with settings that differ from those last loaded or saved asks first: "Сохранить"
    // closes once the save succeeded, "Не сохранять" closes, "Отмена" keeps the window open.
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateControls();
    void BindEvents();
    void AppendShownAuthor(TAutorList& list);

    CFolianta& store;
    TRecordTableModel* table1Cells;
    TAnchors* anchors;
    TFormAutorList* autorListDialog = nullptr;
    // What SettingsToSave gave when the settings were last loaded or saved.
    std::string savedSettings;
};

extern TForm1* Form1;
